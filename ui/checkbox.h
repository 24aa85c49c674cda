#ifndef KEYWARDEN_UI_CHECKBOX_H
#define KEYWARDEN_UI_CHECKBOX_H

#include "ui/window.h"

class CheckBox : public Window {
public:
    // Checks the box for any non-zero flag, clears it for 0.
    LRESULT SetCheck(int checked);
    // 1 when checked; 0 when unchecked, indeterminate or unbound.
    int IsChecked();
};

#endif
