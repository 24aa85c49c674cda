// Wrappers for the common controls the dialog templates contain. Each is a
// member (or heap object) of its dialog and is bound with Create(parent, id).
#ifndef KEYWARDEN_UI_CONTROLS_H
#define KEYWARDEN_UI_CONTROLS_H

#include "ui/window.h"
#include <commctrl.h>

class CheckBox : public Window {
public:
    LRESULT SetCheck(int checked);
    // 1 when checked; 0 when unchecked or indeterminate.
    int IsChecked();
};

class ListView : public Window {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Item text is drawn over the list's own background; always returns 1.
    int OnAttach() override;

    // Replaces every extended style bit; returns the previous styles.
    DWORD SetExtendedStyle(DWORD styles);
    int InsertColumn(int column, const char* text, int format, int width, int subItem);
    LRESULT DeleteAllItems();
    // The item's LPARAM, or null when there is no such item.
    LPARAM GetItemParam(int item);
};

class TabControl : public Window {
public:
    virtual int InsertItem(int index, TCITEMA* item);
    LRESULT AdjustRect(BOOL larger, RECT* rect);
};

#endif
