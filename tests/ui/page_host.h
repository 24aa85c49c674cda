// The main window's frame as the program lays it out: template 102 with its
// tab control, and pages created as children of the tab control, moved into
// its display area.
#ifndef KEYWARDEN_TESTS_UI_PAGE_HOST_H
#define KEYWARDEN_TESTS_UI_PAGE_HOST_H

#include "ui/controls.h"

class PageHost {
public:
    // Creates the main window (hidden) with the tabs "Main", "Options", "About".
    PageHost();
    // Destroys the main window and with it every page window.
    ~PageHost();
    PageHost(const PageHost&) = delete;
    PageHost& operator=(const PageHost&) = delete;

    // Creates the page from its template inside the tab control's display area.
    void AddPage(Dialog& page, int templateId);
    // Selects the tab and shows only the given page.
    void ShowPage(int tab, Dialog& page);

    Dialog main;
    TabControl tabs;
};

#endif
