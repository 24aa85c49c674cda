// The five dialog templates as the program's design gives them, control by
// control in tab order.
#ifndef KEYWARDEN_TESTS_UI_TEMPLATE_SPECS_H
#define KEYWARDEN_TESTS_UI_TEMPLATE_SPECS_H

#include <windows.h>

#include <vector>

struct ControlSpec {
    int id;
    const char* className;
    const char* text;   // null for a static icon
    int icon;           // the icon resource a static icon shows, else 0
    int x, y, w, h;     // dialog units
    DWORD style;        // exactly as the template holds it
};

struct DialogSpec {
    const char* name;
    int templateId;
    bool page;          // a child-window page that lives in the tab control
    const char* caption;
    DWORD style;
    DWORD exStyle;
    int w, h;           // dialog units
    std::vector<ControlSpec> controls;
};

const std::vector<DialogSpec>& DialogSpecs();

#endif
