#include "app/about_page.h"

LRESULT AboutPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return 1;  // the system sets the focus
    return Dialog::WindowProc(message, wParam, lParam);
}
