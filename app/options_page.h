// The "Options" tab: pop-up alert, autostart and flashing.
#ifndef KEYWARDEN_APP_OPTIONS_PAGE_H
#define KEYWARDEN_APP_OPTIONS_PAGE_H

#include "ui/controls.h"

class OptionsPage : public Dialog {
public:
    OptionsPage();
    ~OptionsPage() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual int OnInitDialog();
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam);
    void ToggleAutostart();
    // Sets the pop-up box and stores the box's state as read back.
    void SetPopUpAlert(int on);

    static OptionsPage* instance;

    CheckBox autostartBox;
    CheckBox popUpAlertBox;
    CheckBox noFlashBox;
};

#endif
