#include "tests/ui/template_specs.h"
#include "resources/resource.h"

#include <commctrl.h>

namespace {

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
const DWORD kCheckBox = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
const DWORD kText = kChild | SS_LEFT;
const DWORD kIcon = kChild | SS_ICON;

}  // namespace

const std::vector<DialogSpec>& DialogSpecs()
{
    static const std::vector<DialogSpec> specs = {
        {"main", IDD_MAIN, false, "Keywarden",
         WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER | DS_SETFONT |
             DS_FIXEDSYS,
         WS_EX_APPWINDOW, 515, 249,
         {
             {IDC_OK, "Button", "OK", 0, 108, 220, 50, 16, kButton},
             {IDC_HELP_BUTTON, "Button", "&Help", 0, 324, 220, 50, 16, kButton},
             {IDC_TABS, "SysTabControl32", "", 0, 7, 7, 501, 203, kChild},
         }},
        {"about", IDD_ABOUT_PAGE, true, "", WS_CHILD | DS_SETFONT | DS_FIXEDSYS, 0, 368, 194,
         {
             {IDC_STATIC, "Static", nullptr, IDI_KEYWARDEN, 23, 18, 20, 20, kIcon},
             {IDC_PRODUCT_NAME, "Static", "Keywarden", 0, 47, 18, 35, 8, kText},
             // Widened from 39 so that the text shows whole.
             {IDC_STATIC, "Static", "Version 1. 3", 0, 47, 28, 42, 8, kText},
             {IDC_STATIC, "Static", "Copyright (C) 2026 Keywarden", 0, 23, 63, 116, 8, kText},
             {IDC_STATIC, "Static", "keywarden.example.org", 0, 23, 90, 80, 8, kText},
         }},
        {"changes", IDD_CHANGES_PAGE, true, "", WS_CHILD | DS_SETFONT | DS_FIXEDSYS, 0, 517, 194,
         {
             {IDC_VALUE_LIST, "SysListView32", "", 0, 32, 31, 440, 120,
              kChild | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT},
             {IDC_DELETE, "Button", "Delete", 0, 169, 159, 50, 16, kButton},
             {IDC_REGEDIT, "Button", "Registry editor", 0, 226, 159, 60, 16, kButton | BS_CENTER},
             {IDC_REVERT, "Button", "Revert", 0, 113, 159, 50, 16, kButton},
             {IDC_ONLY_SHOW_CHANGES, "Button", "Only show changes", 0, 33, 15, 78, 10, kCheckBox},
             {IDC_RESET_ALARM, "Button", "Reset Alarm", 0, 31, 159, 75, 16, kButton},
         }},
        {"options", IDD_OPTIONS_PAGE, true, "", WS_CHILD | DS_SETFONT, 0, 240, 140,
         {
             {IDC_POPUP_ALERT, "Button", "Pop-up alert dialog", 0, 20, 15, 76, 10, kCheckBox},
             {IDC_AUTOSTART, "Button", "Autostart Keywarden when the computer starts", 0, 20, 29, 167, 10,
              kCheckBox},
             {IDC_NO_FLASH, "Button", "Do not flash the tray icon", 0, 20, 43, 97, 10, kCheckBox},
         }},
        {"alert", IDD_ALERT, false, "Keywarden - Change Alert",
         WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_SYSMODAL, WS_EX_CONTEXTHELP,
         341, 190,
         {
             {IDC_SHOW_CHANGES, "Button", "Show Changes", 0, 40, 146, 56, 14,
              kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
             {IDC_RESET_ALARM, "Button", "Reset Alarm", 0, 236, 146, 58, 14, kButton},
             // Widened from 80 so that the text shows whole.
             {IDC_STATIC, "Static", "Changes to the registry!", 0, 123, 78, 86, 8, kText},
             {IDC_STATIC, "Static", nullptr, IDI_WARNING, 150, 42, 20, 20, kIcon},
             {IDC_GO_AWAY, "Button", "Go Away", 0, 137, 146, 58, 14, kButton},
             {IDC_DO_NOT_SHOW, "Button", "Do not show this dialog again", 0, 39, 115, 109, 10, kCheckBox},
         }},
    };
    return specs;
}
