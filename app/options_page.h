// The "Options" tab: pop-up alert, autostart, flashing and the journal. Every
// click takes effect at once; there is no Apply.
#ifndef KEYWARDEN_APP_OPTIONS_PAGE_H
#define KEYWARDEN_APP_OPTIONS_PAGE_H

#include "ui/controls.h"

extern const char kRunKey[];          // "Software\\Microsoft\\Windows\\CurrentVersion\\Run", under HKCU
extern const char kAutostartValue[];  // "Keywarden"

// Room for any path GetModuleFileNameA can give (32767 UTF-16 units, up to
// two bytes each in a multibyte code page), two quotes, " -tray" and the zero.
const DWORD kAutostartCommandSize = 2 * 32768 + 16;

// Writes "\"<this executable's path>\" -tray" into buffer (size bytes). The
// quotes keep Windows from trying "C:\Program.exe" first for a path with
// blanks. Returns 0, with buffer an empty text, when the path does not fit
// whole: a truncated path must never be started at logon.
int BuildAutostartCommand(char* buffer, DWORD size);

class OptionsPage : public Dialog {
public:
    // Becomes OptionsPage::instance.
    OptionsPage();
    ~OptionsPage() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Sets the boxes from the settings and the Run key; returns 1.
    virtual int OnInitDialog();
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam);
    // Writes or deletes the autostart value as autostartBox now shows, then
    // has the watch engine (if any) re-read it.
    void ToggleAutostart();
    // Sets the pop-up box and stores the box's state as read back.
    void SetPopUpAlert(int on);
    // Stores NoJournal as journalBox now shows, and opens or closes the journal.
    void ToggleJournal();
    // Opens the journal's folder in the shell, making it first if need be.
    void OpenJournalFolder();
    // Shows what keeps the journal from being written, if anything, under the box.
    void ShowJournalProblem();

    // The live page, or null; the alert dialog reaches the pop-up box here.
    static OptionsPage* instance;

    CheckBox autostartBox;
    CheckBox popUpAlertBox;
    CheckBox noFlashBox;
    CheckBox rememberStateBox;
    CheckBox journalBox;
};

#endif
