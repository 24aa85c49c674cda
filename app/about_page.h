// The "About" tab: the product name, its version and where it comes from.
#ifndef KEYWARDEN_APP_ABOUT_PAGE_H
#define KEYWARDEN_APP_ABOUT_PAGE_H

#include "ui/dialog.h"

class AboutPage : public Dialog {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

#endif
