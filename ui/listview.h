#ifndef KEYWARDEN_UI_LISTVIEW_H
#define KEYWARDEN_UI_LISTVIEW_H

#include "ui/window.h"
#include <commctrl.h>

class ListView : public Window {
public:
    // Passes every message on unchanged.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Item text is drawn over the list's own background; always returns 1,
    // also when the control rejects the colour.
    int OnAttach() override;

    // Replaces every extended style bit (no mask); returns the previous styles.
    DWORD SetExtendedStyle(DWORD styles);
    // Returns the new column's index, or -1.
    int InsertColumn(int column, const char* text, int format, int width, int subItem);
    LRESULT DeleteAllItems();
    // The item's LPARAM, or 0 when there is no such item.
    LPARAM GetItemParam(int item);
};

#endif
