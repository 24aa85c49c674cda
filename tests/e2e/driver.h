// The end-to-end driver: each test starts the real keywarden.exe in the test prefix and works it
// from outside as a user would: it finds windows by caption, reads the list across the process
// boundary, clicks buttons and answers boxes; regwriter changes the registry from a process of its own.
#ifndef KEYWARDEN_TESTS_E2E_DRIVER_H
#define KEYWARDEN_TESTS_E2E_DRIVER_H

#include "tests/pages/registry.h"
#include "tests/support/test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

#include "resources/resource.h"

using Row = std::array<std::string, 5>;  // Status, Name, Value, Old Value, Registry Path

// Polls every 20 ms; false when done() has not held within the time.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
    for (DWORD start = GetTickCount(); !done(); Sleep(20))
        if (GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

// A top-level window of that class and caption (any when null): the main
// window, which has the tabs, or, waited for up to 5 s, a visible other one.
inline HWND WaitForWindow(const char* caption, const char* className = "#32770", bool main = false)
{
    HWND found = nullptr;
    WaitUntil([&] {
        while ((found = FindWindowExA(nullptr, found, className, caption)))
            if ((GetDlgItem(found, IDC_TABS) != nullptr) == main && (main || IsWindowVisible(found)))
                return true;
        return false;
    });
    return found;
}

// Clicks the dialog's button; waits until the dialog has gone and the program has acted on the answer.
inline bool Press(HWND dialog, int buttonId)
{
    const HWND owner = GetWindow(dialog, GW_OWNER);
    PostMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
    const bool gone = WaitUntil([&] { return !IsWindow(dialog); });
    SendMessageTimeoutA(owner, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr);
    return gone;
}

inline std::string BoxText(HWND box) { return testing_support::WindowText(GetDlgItem(box, 0xFFFF)); }

inline std::string Folder()  // the driver's, and the program's, ending in a backslash
{
    char path[MAX_PATH] = "";
    const std::string program(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return program.substr(0, program.find_last_of('\\') + 1);
}

// Starts the command in the folder with no standard handles, so that
// nothing it starts holds the test's output open.
inline HANDLE Launch(std::string command, const std::string& folder)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    PROCESS_INFORMATION created{};
    CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup, &created);
    CloseHandle(startup.hStdInput);
    CloseHandle(created.hThread);
    return created.hProcess;
}

// Runs regwriter on the Run key of root ("HKCU" or "HKLM"); its exit code.
inline int Write(const char* root, const std::string& commands)
{
    HANDLE writer = Launch("\"" + Folder() + "regwriter.exe\" " + root + " \"" + kwtest::kRunKey + "\" " + commands,
                           Folder());
    DWORD code = WaitForSingleObject(writer, 30000);
    GetExitCodeProcess(writer, &code);
    return CloseHandle(writer) ? static_cast<int>(code) : -1;
}

class EndToEndTest : public ::testing::Test {
protected:
    // Ends the program, with WM_CLOSE or failing that a kill, before the snapshot puts the registry back.
    void TearDown() override
    {
        PostMessageA(main, WM_CLOSE, 0, 0);
        if (process && WaitForSingleObject(process, 5000) == WAIT_TIMEOUT)
            TerminateProcess(process, 99);
        CloseHandle(process);
    }
    // Starts <folder>keywarden.exe in that folder.
    void Start(const std::string& arguments = "", const std::string& folder = Folder())
    {
        ASSERT_NE(process = Launch("\"" + folder + "keywarden.exe\" " + arguments, folder), nullptr);
        WaitForInputIdle(process, 10000);  // the window is built and the baseline taken
        remote = static_cast<char*>(VirtualAllocEx(process, nullptr, 1 << 16, MEM_COMMIT | MEM_RESERVE,
                                                   PAGE_READWRITE));
        ASSERT_NE(main = WaitForWindow("Keywarden", "#32770", true), nullptr);
    }
    long WaitForExit(DWORD timeoutMs = 10000)  // the exit code; -1 while it runs
    {
        DWORD code = 0;
        const bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
        return ended && GetExitCodeProcess(process, &code) ? static_cast<long>(code) : -1;
    }
    HWND Control(int id)  // of the main window or one of its pages
    {
        HWND control = GetDlgItem(main, id);
        for (HWND page = nullptr; !control && (page = FindWindowExA(GetDlgItem(main, IDC_TABS), page, "#32770", 0));)
            control = GetDlgItem(page, id);
        return control;
    }
    void Click(int id) { PostMessageA(Control(id), BM_CLICK, 0, 0); }
    std::vector<Row> Rows()
    {
        HWND list = Control(IDC_VALUE_LIST);
        std::vector<Row> rows(static_cast<size_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
        for (size_t index = 0; index < rows.size() * 5; ++index) {
            LVITEMA item{};
            item.iSubItem = static_cast<int>(index % 5);
            item.pszText = remote + sizeof item;
            item.cchTextMax = 1 << 14;
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            std::string& text = rows[index / 5][index % 5];
            text.resize(static_cast<size_t>(SendMessageA(list, LVM_GETITEMTEXTA, index / 5,
                                                         reinterpret_cast<LPARAM>(remote))));
            ReadProcessMemory(process, item.pszText, &text[0], text.size(), nullptr);
        }
        return rows;
    }
    Row RowNamed(const std::string& name)  // empty when there is none
    {
        const std::vector<Row> rows = Rows();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& each) { return each[1] == name; });
        return row == rows.end() ? Row() : *row;
    }
    // Selects the rows of these values. Posted, so that a rebuild already on
    // its way, which empties the selection, comes first.
    void Select(const std::vector<std::string>& names)
    {
        LVITEMA state{};
        state.stateMask = state.state = LVIS_SELECTED;
        char* const remoteState = remote + (1 << 15);
        WriteProcessMemory(process, remoteState, &state, sizeof state, nullptr);
        const std::vector<Row> rows = Rows();
        for (size_t index = 0; index < rows.size(); ++index)
            if (std::count(names.begin(), names.end(), rows[index][1]))
                PostMessageA(Control(IDC_VALUE_LIST), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(remoteState));
    }
    void SelectTab(int index)  // with the arrow keys
    {
        for (int tab = Tab(); tab != index; tab += tab < index ? 1 : -1)
            PostMessageA(Control(IDC_TABS), WM_KEYDOWN, tab < index ? VK_RIGHT : VK_LEFT, 0);
    }
    int Tab() { return static_cast<int>(SendMessageA(Control(IDC_TABS), TCM_GETCURSEL, 0, 0)); }
    static void SetSetting(const char* name, DWORD value)
    {
        RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Velmorra\\Keywarden\\Settings", name, REG_DWORD, &value, 4);
    }

    kwtest::RegistrySnapshot snapshot;
    HANDLE process = nullptr;
    HWND main = nullptr;     // shown or not
    char* remote = nullptr;  // memory in the program for the list's messages
};

#endif
