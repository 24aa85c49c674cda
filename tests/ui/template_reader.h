// Reads an extended dialog template (DLGTEMPLATEEX) from the executable's
// resources, so tests can compare it byte for byte with the design.
#ifndef KEYWARDEN_TESTS_UI_TEMPLATE_READER_H
#define KEYWARDEN_TESTS_UI_TEMPLATE_READER_H

#include <windows.h>

#include <string>
#include <vector>

struct TemplateItem {
    DWORD exStyle = 0;
    DWORD style = 0;
    int x = 0, y = 0, w = 0, h = 0;
    int id = 0;
    std::string className;   // ordinal classes by their names ("Button", ...)
    std::string text;
    int textOrdinal = 0;     // a resource number given as the text (icons)
};

struct TemplateDialog {
    DWORD exStyle = 0;
    DWORD style = 0;
    int x = 0, y = 0, w = 0, h = 0;
    std::string menu;
    std::string className;
    std::string caption;
    int pointSize = 0;
    std::string face;
    std::vector<TemplateItem> items;
};

// False when the template is missing, not extended, or malformed.
bool ReadDialogTemplate(int templateId, TemplateDialog* out);

#endif
