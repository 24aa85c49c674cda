// The main window: the tab control with its three pages, and the tray icon.
#ifndef KEYWARDEN_APP_MAIN_DIALOG_H
#define KEYWARDEN_APP_MAIN_DIALOG_H

#include "ui/controls.h"
#include <vector>

class TrayIcon;

class MainDialog : public Dialog {
public:
    MainDialog();
    ~MainDialog() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual int OnInitDialog();
    void BuildPages();
    void ShowSelectedPage();
    int OnNotify(const NMHDR* header);
    int OnSysCommand(WPARAM command);
    void OnShowPage(WPARAM index);
    void OnDestroy();

    HICON icon;
    std::vector<Dialog*> pages;
    TabControl* tabs;
    TrayIcon* trayIcon;
};

class AboutPage : public Dialog {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

#endif
