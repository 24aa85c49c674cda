// The modal "Change Alert". Results: 0 Go Away/closed, 1 Reset Alarm,
// 2 Show Changes.
#ifndef KEYWARDEN_APP_ALERT_DIALOG_H
#define KEYWARDEN_APP_ALERT_DIALOG_H

#include "ui/controls.h"

class AlertDialog : public Dialog {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Stops the tray icon's flashing, then ends the dialog with 1.
    void ResetAlarm();

    CheckBox doNotShowBox;
};

#endif
