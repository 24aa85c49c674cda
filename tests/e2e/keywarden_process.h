// A running keywarden.exe, worked from outside as a user would: its windows
// found by caption, its list read across the process boundary, its buttons
// clicked and its message boxes answered.
#ifndef KEYWARDEN_TESTS_E2E_KEYWARDEN_PROCESS_H
#define KEYWARDEN_TESTS_E2E_KEYWARDEN_PROCESS_H

#include "tests/pages/registry_helpers.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class KeywardenProcess {
public:
    // Starts the program (by default keywarden.exe beside the driver) with
    // these arguments, in that folder (by default the program's own), with
    // no standard handles: nothing it starts can hold the test's output open.
    explicit KeywardenProcess(const std::string& arguments = "", const std::string& program = "",
                              const std::string& folder = "");
    // Ends the program if it still runs: WM_CLOSE, then, failing that, kill.
    ~KeywardenProcess();
    KeywardenProcess(const KeywardenProcess&) = delete;
    KeywardenProcess& operator=(const KeywardenProcess&) = delete;

    bool Started() const { return process != nullptr; }

    // The main window (captioned "Keywarden", with the tab control), shown or
    // not; null if it does not come within the time.
    HWND MainWindow(DWORD timeoutMs = 10000);
    // A control anywhere below the main window.
    HWND Control(int id);
    // A top-level dialog of the program with exactly this caption, visible;
    // message boxes and the alert. Null if none comes within the time.
    HWND WaitForDialog(const std::string& caption, DWORD timeoutMs = 5000);
    // Every visible top-level dialog of the program with this caption.
    std::vector<HWND> Dialogs(const std::string& caption);
    // A visible top-level window of the program of this class.
    HWND WaitForWindowOfClass(const std::string& className, DWORD timeoutMs = 5000);

    std::vector<kwtest::Row> Rows();
    bool WaitForRows(const std::function<bool(const std::vector<kwtest::Row>&)>& done, DWORD timeoutMs = 5000);
    int RowOf(const std::string& name);
    // Selects exactly these rows.
    void Select(const std::vector<int>& rows);

    // Posts BM_CLICK to a control of the main window, or of a dialog.
    void Click(int id);
    static void Press(HWND dialog, int buttonId);
    int IsChecked(int id);
    static std::string DialogText(HWND dialog);

    // Clicks the tab with the mouse, as the user would; the current tab.
    void SelectTab(int index);
    int CurrentTab();

    // Class and caption of each of the program's visible top-level windows.
    std::string DescribeWindows();

    // Waits for the process to end; its exit code, or -1 on a time-out.
    long WaitForExit(DWORD timeoutMs = 10000);

    HANDLE process = nullptr;
    DWORD processId = 0;

private:
    // Memory in the program's process for one list or tab call.
    void* remote = nullptr;
    HWND main = nullptr;
};

// keywarden.exe beside the driver.
std::string ProgramPath();

#endif
