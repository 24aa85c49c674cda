#include "app/main_dialog.h"

#include "app/about_page.h"
#include "app/changes_page.h"
#include "app/options_page.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "ui/app.h"

#include <cstring>

namespace {

const UINT_PTR kTrayRetryTimer = 1;
const UINT kTrayRetryMs = 1000;
const int kTrayRetries = 300;  // five minutes: long enough for a slow logon

}  // namespace

MainDialog::MainDialog()
    : icon(nullptr), tabs(nullptr), trayIcon(nullptr), initFailed(0), taskbarCreated(0), trayRetriesLeft(0)
{
    icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KEYWARDEN));
    taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
}

MainDialog::~MainDialog()
{
    delete tabs;
}

LRESULT MainDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Explorer started anew, or started late: every icon must be added again.
    if (message == taskbarCreated && taskbarCreated != 0) {
        RestoreTrayIcon();
        return 1;
    }
    switch (message) {
    case WM_INITDIALOG:
        // An exception must not unwind through the system's dialog code: the
        // start-up reports the failure once the creation has returned.
        try {
            return OnInitDialog();
        } catch (...) {
            initFailed = 1;
            return 1;
        }
    case WM_COMMAND:
        // Enter on a page's focused button reaches this window, the dialog
        // manager's destination: the command belongs to the page.
        for (Dialog* page : pages)
            if (lParam && page->hwnd == GetParent(reinterpret_cast<HWND>(lParam)))
                return page->Send(WM_COMMAND, wParam, lParam);
        if (LOWORD(wParam) == IDC_OK || LOWORD(wParam) == IDCANCEL)
            Show(SW_HIDE);  // the program stays in the tray; Esc does as OK
        else if (LOWORD(wParam) == IDC_HELP_BUTTON)
            theApp.ShowHelp();
        return 1;
    case WM_NOTIFY:
        if (lParam)
            OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        return 1;
    case WM_SYSCOMMAND:
        return OnSysCommand(wParam);
    case WM_CLOSE:
        PostQuitMessage(0);
        return 1;
    case WM_DESTROY:
        OnDestroy();
        return 1;
    case MSG_TRAY_CALLBACK:
        if (lParam == WM_LBUTTONDOWN) {
            Show(SW_RESTORE);
            SetForegroundWindow(hwnd);
        }
        return 1;
    case MSG_SHOW_PAGE:
        OnShowPage(wParam);
        return 1;
    case WM_TIMER:
        if (wParam != kTrayRetryTimer)
            return Dialog::WindowProc(message, wParam, lParam);
        RetryTrayIcon();
        return 1;
    default:
        return Dialog::WindowProc(message, wParam, lParam);
    }
}

int MainDialog::OnInitDialog()
{
    // Subclassed and passed through unchanged; one object for the program.
    static Window okButton;
    okButton.Create(this, IDC_OK);

    trayIcon = new TrayIcon(hwnd);
    trayIcon->SetCallbackMessage(MSG_TRAY_CALLBACK);
    if (!trayIcon->added)
        RestoreTrayIcon();  // at logon the taskbar may not be there yet
    // Run elevated (to revert a machine-wide value), the window would not be
    // let hear the shell's broadcast.
    if (taskbarCreated)
        ChangeWindowMessageFilterEx(hwnd, taskbarCreated, MSGFLT_ALLOW, nullptr);
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    BuildPages();
    return 1;
}

void MainDialog::BuildPages()
{
    tabs = new TabControl;
    tabs->Create(this, IDC_TABS);

    static const char* const kTabNames[] = {"Main", "Options", "About"};
    for (int index = 0; index < 3; ++index) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kTabNames[index]);
        item.cchTextMax = static_cast<int>(std::strlen(kTabNames[index]));
        tabs->InsertItem(index, &item);
    }

    RECT area{};
    tabs->GetClientRect(&area);
    tabs->AdjustRect(FALSE, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;

    struct PageSpec {
        Dialog* (*make)();
        int templateId;
    };
    static const PageSpec kPages[] = {
        {[]() -> Dialog* { return new ChangesPage; }, IDD_CHANGES_PAGE},
        {[]() -> Dialog* { return new OptionsPage; }, IDD_OPTIONS_PAGE},
        {[]() -> Dialog* { return new AboutPage; }, IDD_ABOUT_PAGE},
    };
    for (const PageSpec& spec : kPages) {
        pages.reserve(pages.size() + 1);  // so that push_back cannot lose the page
        Dialog* page = spec.make();
        pages.push_back(page);
        page->Create(tabs, spec.templateId);
        MoveWindow(page->hwnd, area.left, area.top, width, height, TRUE);
    }
    pages.front()->Show(SW_SHOW);
}

void MainDialog::ShowSelectedPage()
{
    const LRESULT selected = tabs ? SendMessageA(tabs->hwnd, TCM_GETCURSEL, 0, 0) : -1;
    // Focus in a page that goes would be left in a hidden window.
    const HWND focus = GetFocus();
    const bool focusInPage = tabs && focus && IsChild(tabs->hwnd, focus);
    for (Dialog* page : pages)
        page->Show(SW_HIDE);
    if (selected >= 0 && static_cast<size_t>(selected) < pages.size()) {
        Dialog* page = pages[static_cast<size_t>(selected)];
        page->Show(SW_SHOW);
        if (focusInPage) {
            HWND first = GetNextDlgTabItem(page->hwnd, nullptr, FALSE);
            Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first ? first : GetDlgItem(hwnd, IDC_OK)), TRUE);
        }
    }
}

void MainDialog::SwitchTab(int step)
{
    const int count = tabs ? static_cast<int>(SendMessageA(tabs->hwnd, TCM_GETITEMCOUNT, 0, 0)) : 0;
    if (count <= 0)
        return;
    const int current = static_cast<int>(SendMessageA(tabs->hwnd, TCM_GETCURSEL, 0, 0));
    const int next = ((current < 0 ? 0 : current) + step + count) % count;
    SendMessageA(tabs->hwnd, TCM_SETCURSEL, static_cast<WPARAM>(next), 0);
    ShowSelectedPage();
}

int MainDialog::PreTranslateMessage(MSG* message)
{
    if (message->hwnd != hwnd && !IsChild(hwnd, message->hwnd))
        return 0;
    if (message->message == WM_KEYDOWN && message->wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
        SwitchTab(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
        return 1;
    }
    return Dialog::PreTranslateMessage(message);
}

void MainDialog::RestoreTrayIcon()
{
    trayRetriesLeft = kTrayRetries;
    RetryTrayIcon();
}

void MainDialog::RetryTrayIcon()
{
    if (!trayIcon || trayIcon->Add() || --trayRetriesLeft <= 0) {
        KillTimer(hwnd, kTrayRetryTimer);
        return;
    }
    SetTimer(hwnd, kTrayRetryTimer, kTrayRetryMs, nullptr);
}

int MainDialog::OnNotify(const NMHDR* header)
{
    if (tabs && header->hwndFrom == tabs->hwnd && header->code == TCN_SELCHANGE) {
        ShowSelectedPage();
        return 1;
    }
    return 0;
}

void MainDialog::OnShowPage(WPARAM index)
{
    if (tabs)
        SendMessageA(tabs->hwnd, TCM_SETCURSEL, index, 0);
    ShowSelectedPage();
    Show(SW_RESTORE);
    SetForegroundWindow(hwnd);
}

int MainDialog::OnSysCommand(WPARAM command)
{
    if (command == SC_MINIMIZE) {
        // Minimised, then gone, taskbar button included: the tray brings it back.
        Show(SW_MINIMIZE);
        Show(SW_HIDE);
        return 1;
    }
    if (command == SC_CLOSE) {
        if (ShowMessageBox("Close Keywarden?", "Keywarden", MB_YESNO | MB_ICONQUESTION) == IDYES)
            PostQuitMessage(0);
        return 1;
    }
    return 0;
}

void MainDialog::OnDestroy()
{
    for (Dialog* page : pages) {
        if (page->hwnd)
            DestroyWindow(page->hwnd);
        delete page;
    }
    pages.clear();
    delete trayIcon;  // removes the icon from the notification area
    trayIcon = nullptr;
}
