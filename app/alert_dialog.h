// The modal "Change Alert", run on template 136 by the Changes page.
// Results: 0 Go Away, Esc or closed; 1 Reset Alarm (flashing already
// stopped); 2 Show Changes. The caller does the rest.
#ifndef KEYWARDEN_APP_ALERT_DIALOG_H
#define KEYWARDEN_APP_ALERT_DIALOG_H

#include "ui/controls.h"

class AlertDialog : public Dialog {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Stops the tray icon's flashing, then ends the dialog with 1.
    void ResetAlarm();

    // "Do not show this dialog again": stores PopUpAlert at each click.
    CheckBox doNotShowBox;
};

#endif
