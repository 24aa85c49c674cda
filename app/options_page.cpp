#include "app/options_page.h"

#include "app/accepted_state.h"
#include "app/changes_page.h"
#include "app/journal.h"
#include "app/resync_probe.h"
#include "app/settings.h"
#include "engine/regwatch.h"
#include "resources/resource.h"
#include "ui/app.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <new>

// Must read exactly as the engine's table row for HKCU Run: the engine finds
// the key of a re-read by comparing this text.
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kAutostartValue[] = "Keywarden";

OptionsPage* OptionsPage::instance = nullptr;

int BuildAutostartCommand(char* buffer, DWORD size)
{
    static const char kTail[] = "\" -tray";
    const DWORD tailLength = sizeof kTail - 1;
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    // Opening quote, at least one path character, the tail and the zero.
    if (size < 1 + 1 + tailLength + 1)
        return 0;

    // The room GetModuleFileNameA may fill, its own zero included; a path it
    // had to cut comes back with a length of room or more.
    const DWORD room = size - 1 - tailLength;
    const DWORD length = GetModuleFileNameA(nullptr, buffer + 1, room);
    if (length == 0 || length >= room) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[0] = '"';
    std::memcpy(buffer + 1 + length, kTail, sizeof kTail);
    return 1;
}

OptionsPage::OptionsPage()
{
    instance = this;
}

OptionsPage::~OptionsPage()
{
    if (instance == this)
        instance = nullptr;
    theJournal.SetProblemWindow(nullptr, 0);
}

LRESULT OptionsPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return 1;
    case WM_COMMAND:
        return OnCommand(message, wParam, lParam);
    case MSG_JOURNAL_PROBLEM:
        ShowJournalProblem();
        return 1;
    default:
        return Dialog::WindowProc(message, wParam, lParam);
    }
}

int OptionsPage::OnInitDialog()
{
    autostartBox.Create(this, IDC_AUTOSTART);
    popUpAlertBox.Create(this, IDC_POPUP_ALERT);
    noFlashBox.Create(this, IDC_NO_FLASH);
    rememberStateBox.Create(this, IDC_REMEMBER_STATE);

    popUpAlertBox.SetCheck(ReadSetting(kSettingPopUpAlert) != 0);
    noFlashBox.SetCheck(ReadSetting(kSettingNoTrayIconFlash) != 0);
    rememberStateBox.SetCheck(ReadSetting(kSettingRememberBaseline) != 0);
    journalBox.Create(this, IDC_KEEP_JOURNAL);
    journalBox.SetCheck(ReadSetting(kSettingNoJournal) == 0);
    theJournal.SetProblemWindow(hwnd, MSG_JOURNAL_PROBLEM);
    ShowJournalProblem();

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    // Only the value's existence counts, whatever its text: one byte of room
    // is enough to tell.
    BYTE probe[1];
    DWORD size = sizeof probe;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, kAutostartValue, nullptr, &type, probe, &size);
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)
        autostartBox.SetCheck(1);
    else if (result == ERROR_FILE_NOT_FOUND)
        autostartBox.SetCheck(0);
    else
        ShowMessageBox("Can't Access the Keywarden run key", "Botheration", MB_OK);
    RegCloseKey(key);
    return 1;
}

LRESULT OptionsPage::OnCommand(UINT, WPARAM wParam, LPARAM)
{
    DWORD state = 0;
    switch (LOWORD(wParam)) {
    case IDC_POPUP_ALERT:
        state = static_cast<DWORD>(popUpAlertBox.IsChecked());
        WriteSetting(kSettingPopUpAlert, &state);
        return 1;
    case IDC_AUTOSTART:
        ToggleAutostart();
        return 1;
    case IDC_REMEMBER_STATE:
        state = static_cast<DWORD>(rememberStateBox.IsChecked());
        WriteSetting(kSettingRememberBaseline, &state);
        RememberAcceptedState(theApp.watch, static_cast<int>(state));
        return 1;
    case IDC_NO_FLASH:
        state = static_cast<DWORD>(noFlashBox.IsChecked());
        WriteSetting(kSettingNoTrayIconFlash, &state);
        return 1;
    case IDC_KEEP_JOURNAL:
        ToggleJournal();
        return 1;
    case IDC_OPEN_JOURNAL:
        OpenJournalFolder();
        return 1;
    default:
        return 0;
    }
}

void OptionsPage::ToggleAutostart()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS) {
        ShowMessageBox("Can't access HKLM...Run, perhaps because of current user permssions", "Error",
                       MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    if (autostartBox.IsChecked()) {
        std::unique_ptr<char[]> command(new (std::nothrow) char[kAutostartCommandSize]);
        if (command && BuildAutostartCommand(command.get(), kAutostartCommandSize)) {
            const DWORD length = static_cast<DWORD>(std::strlen(command.get())) + 1;
            RegSetValueExA(key, kAutostartValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.get()),
                           length);
        }
    } else {
        RegDeleteValueA(key, kAutostartValue);
    }

    // The value lies in a watched key: have the engine take it as the user's
    // own doing rather than report it as a change.
    ResyncProbe(HKEY_CURRENT_USER, kRunKey, 0, kAutostartValue).Resync(theApp.watch);
    if (ChangesPage::instance)
        ChangesPage::instance->RequestRefresh();
    RegCloseKey(key);
}

void OptionsPage::SetPopUpAlert(int on)
{
    popUpAlertBox.SetCheck(on);
    DWORD state = static_cast<DWORD>(popUpAlertBox.IsChecked());
    WriteSetting(kSettingPopUpAlert, &state);
}

void OptionsPage::ToggleJournal()
{
    const DWORD off = journalBox.IsChecked() ? 0 : 1;
    WriteSetting(kSettingNoJournal, &off);
    if (off)
        theJournal.Close();
    else
        theJournal.Open(Journal::DefaultFolder());
    ShowJournalProblem();
}

void OptionsPage::OpenJournalFolder()
{
    const std::string folder = Journal::DefaultFolder();
    if (folder.empty())
        return;
    // Made here too, so the button works before the first line is written.
    SHCreateDirectoryExA(hwnd, folder.c_str(), nullptr);
    ShellExecuteA(hwnd, "open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void OptionsPage::ShowJournalProblem()
{
    const std::string text = journalBox.IsChecked() ? theJournal.Problem() : std::string();
    SetDlgItemTextA(hwnd, IDC_JOURNAL_PROBLEM, text.c_str());
}
