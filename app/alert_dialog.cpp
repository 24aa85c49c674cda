#include "app/alert_dialog.h"

#include "app/options_page.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "resources/resource.h"

LRESULT AlertDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        doNotShowBox.Create(this, IDC_DO_NOT_SHOW);
        return 1;  // the system focuses the first tab stop, "Show Changes"
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_GO_AWAY:
            End(0);
            break;
        case IDC_RESET_ALARM:
            ResetAlarm();
            break;
        case IDC_SHOW_CHANGES:
            End(2);
            break;
        case IDC_DO_NOT_SHOW: {
            const int popUp = doNotShowBox.IsChecked() ? 0 : 1;
            // Through the Options page, so that its box stays in step; with
            // no page the user's choice is still stored.
            if (OptionsPage::instance) {
                OptionsPage::instance->SetPopUpAlert(popUp);
            } else {
                const DWORD state = static_cast<DWORD>(popUp);
                WriteSetting(kSettingPopUpAlert, &state);
            }
            break;
        }
        default:
            break;
        }
        return 1;
    default:
        return Dialog::WindowProc(message, wParam, lParam);
    }
}

void AlertDialog::ResetAlarm()
{
    if (TrayIcon::instance)
        TrayIcon::instance->StopFlashing();
    End(1);
}
