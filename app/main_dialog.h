// The main window: the tab control with its three pages, and the tray icon.
// It hides instead of closing; only a confirmed close or WM_CLOSE ends the
// program. Hidden, it is reached only through the tray icon, so it keeps that
// icon there whenever a taskbar is.
#ifndef KEYWARDEN_APP_MAIN_DIALOG_H
#define KEYWARDEN_APP_MAIN_DIALOG_H

#include "ui/controls.h"
#include <vector>

class TrayIcon;

class MainDialog : public Dialog {
public:
    MainDialog();
    // Deletes the tab control's wrapper; the window must be destroyed first.
    ~MainDialog() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Ctrl+Tab and Ctrl+Shift+Tab switch tabs; the rest goes to the dialog
    // manager, with the pages as controls of this window.
    int PreTranslateMessage(MSG* message) override;
    // Adds the tray icon and builds the pages; returns 1.
    virtual int OnInitDialog();
    void BuildPages();
    void ShowSelectedPage();
    // 1 when it handled a change of tab, else 0.
    int OnNotify(const NMHDR* header);
    // 1 for minimise and close, which it handles; 0 lets the system act.
    int OnSysCommand(WPARAM command);
    void OnShowPage(WPARAM index);
    // Selects the next tab (step 1) or the previous one (step -1), wrapping.
    void SwitchTab(int step);
    // Adds the tray icon again; while the shell refuses it, tries again once
    // a second for five minutes.
    void RestoreTrayIcon();
    // Destroys and deletes the pages, then deletes the tray icon.
    void OnDestroy();

    // Nonzero when the initialisation failed part way (a page or the tray
    // icon could not be made): the window exists but cannot work.
    int InitFailed() const { return initFailed; }

    HICON icon;
    std::vector<Dialog*> pages;
    TabControl* tabs;
    TrayIcon* trayIcon;

private:
    void RetryTrayIcon();

    int initFailed;
    UINT taskbarCreated;   // the shell's broadcast after the taskbar is (re)created
    int trayRetriesLeft;
};

#endif
