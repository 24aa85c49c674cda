#ifndef KEYWARDEN_UI_TABCONTROL_H
#define KEYWARDEN_UI_TABCONTROL_H

#include "ui/window.h"
#include <commctrl.h>

class TabControl : public Window {
public:
    // Returns the new tab's index, or -1.
    virtual int InsertItem(int index, TCITEMA* item);
    // With larger FALSE turns a window rectangle of the control into its
    // display area, in place.
    LRESULT AdjustRect(BOOL larger, RECT* rect);
};

#endif
