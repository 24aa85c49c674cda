// The end-to-end fixture: the real keywarden.exe, started in the test prefix and worked from another process as a
// user would: windows found by caption, the list read across the process boundary, buttons clicked, boxes answered.
#pragma once

#include "resources/resource.h"
#include "tests/support/test_support.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

using namespace testing_support;
using Row = std::array<std::string, 5>;  // Status, Name, Value, Old Value, Registry Path

// A top-level window of that caption and class: the main window, which has the tabs, or a visible other one.
inline HWND WaitForWindow(const char* caption, bool main = false, const char* className = "#32770") {
    HWND found = nullptr;
    PumpUntil([&] {
        for (found = nullptr; (found = FindWindowExA(nullptr, found, className, caption));)
            if ((GetDlgItem(found, IDC_TABS) != nullptr) == main && (main || IsWindowVisible(found))) return true;
        return false;
    });
    return found;
}

// Clicks the box's button; waits until the box has gone and the program has acted on the answer.
inline bool Press(HWND box, int buttonId) {
    const HWND owner = GetWindow(box, GW_OWNER);
    PostMessageA(GetDlgItem(box, buttonId), BM_CLICK, 0, 0);
    const bool gone = PumpUntil([&] { return !IsWindow(box); });
    return SendMessageTimeoutA(owner, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr), gone;
}

class EndToEndTest : public RegistryTest {
protected:
    void TearDown() override {  // before the registry is put back
        if (PostMessageA(main, WM_CLOSE, 0, 0), process && ExitCode(process, 5000) == -1) TerminateProcess(process, 99);
        CloseHandle(process);
    }
    void Start(const std::string& arguments, const std::string& folder) {  // in that current folder
        ASSERT_NE(process = Launch("\"" + ModulePath("keywarden.exe") + "\" " + arguments, folder), nullptr);
        WaitForInputIdle(process, 10000);  // the window is built and the baseline taken
        remote = static_cast<char*>(VirtualAllocEx(process, nullptr, 1 << 16, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ASSERT_NE(main = WaitForWindow("Keywarden", true), nullptr);
    }
    HWND Control(int id) {  // of the main window or one of its pages
        HWND control = GetDlgItem(main, id);
        for (HWND page = nullptr; !control && (page = FindWindowExA(GetDlgItem(main, IDC_TABS), page, "#32770", 0));)
            control = GetDlgItem(page, id);
        return control;
    }
    void Click(int id) { PostMessageA(Control(id), BM_CLICK, 0, 0); }
    std::string Status(const char* name) { for (const Row& row : Rows()) if (row[1] == name) return row[0]; return ""; }  // "": none
    // The rows of the test's values in the list's order; with names, selects those rows alone instead. Posted, so
    // that a rebuild already on its way comes first.
    std::vector<Row> Rows(const std::vector<std::string>& names = {}) {
        const HWND list = Control(IDC_VALUE_LIST);
        std::vector<Row> rows(static_cast<size_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0))), ours;
        LVITEMA item{};
        for (size_t index = 0; index < rows.size() * 5; ++index) {
            item.iSubItem = static_cast<int>(index % 5), item.pszText = remote + sizeof item, item.cchTextMax = 1 << 14;
            std::string& text = rows[index / 5][index % 5];
            WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
            text.resize(static_cast<size_t>(SendMessageA(list, LVM_GETITEMTEXTA, index / 5, reinterpret_cast<LPARAM>(remote))));
            ReadProcessMemory(process, item.pszText, &text[0], text.size(), nullptr);
        }
        LVITEMA states[2] = {};  // none selected, then each named row: a rebuild keeps the selection
        states[0].stateMask = states[1].stateMask = states[1].state = LVIS_SELECTED;
        WriteProcessMemory(process, remote + (1 << 15), states, sizeof states, nullptr);
        if (!names.empty()) PostMessageA(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(remote + (1 << 15)));
        for (size_t index = 0; index < rows.size(); ++index)
            if (std::count(names.begin(), names.end(), rows[index][1]))
                PostMessageA(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(remote + (1 << 15) + sizeof item));
            else if (!rows[index][1].rfind("Kw", 0))
                ours.push_back(rows[index]);
        return ours;
    }

    HANDLE process = nullptr;
    HWND main = nullptr;     // shown or not
    char* remote = nullptr;  // memory in the program for the list's messages
};
