// The real keywarden.exe, started in the test prefix and worked from another process as a user would: windows
// found by caption, the list read across the process boundary, buttons clicked, boxes answered; another
// program changes the registry.
#include "resources/resource.h"
#include "tests/support/test_support.h"

#include <commctrl.h>

#include <algorithm>
#include <array>

using namespace testing_support;
using Row = std::array<std::string, 5>;  // Status, Name, Value, Old Value, Registry Path

// A top-level window of that caption and class: the main window, which has the tabs, or a visible other one.
HWND WaitForWindow(const char* caption, bool main = false, const char* className = "#32770") {
    HWND found = nullptr;
    PumpUntil([&] {
        for (found = nullptr; (found = FindWindowExA(nullptr, found, className, caption));)
            if ((GetDlgItem(found, IDC_TABS) != nullptr) == main && (main || IsWindowVisible(found))) return true;
        return false;
    });
    return found;
}

// Clicks the box's button; waits until the box has gone and the program has acted on the answer.
bool Press(HWND box, int buttonId) {
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
    // The rows of the test's values in the list's order; with names, selects those rows instead. Posted, so that
    // a rebuild already on its way, which empties the selection, comes first.
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
        item.stateMask = item.state = LVIS_SELECTED;
        WriteProcessMemory(process, remote + (1 << 15), &item, sizeof item, nullptr);
        for (size_t index = 0; index < rows.size(); ++index)
            if (std::count(names.begin(), names.end(), rows[index][1]))
                PostMessageA(list, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(remote + (1 << 15)));
            else if (!rows[index][1].rfind("Kw", 0))
                ours.push_back(rows[index]);
        return ours;
    }

    HANDLE process = nullptr;
    HWND main = nullptr;     // shown or not
    char* remote = nullptr;  // memory in the program for the list's messages
};

// Started for the tray in a current folder that holds a stranger's regedit.exe, which shows nothing.
TEST_F(EndToEndTest, WorksFromTheTrayTheAlertAndTheListAsAUserWould) {
    const std::string folder = ModulePath("e2e-current-folder\\");
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(ModulePath("stranger.exe").c_str(), (folder + "regedit.exe").c_str(), FALSE));
    Put(HKEY_CURRENT_USER, kRunKey, "KwA", "before"), Put(HKEY_CURRENT_USER, kRunKey, "KwB", "before");
    Put(HKEY_CURRENT_USER, kRunKey, "KwC", "before"), Put(HKEY_LOCAL_MACHINE, kRunKey, "KwMachine", "m");
    RunWriter("HKCU", "Software\\Velmorra\\Keywarden\\Settings", "setdword PopUpAlert 1");
    std::vector<HWND> before;  // the tray's icons before the program's
    HWND icon = nullptr, tray = FindWindowA(nullptr, "Wine System Tray");
    while (tray && (icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr))) before.push_back(icon);
    Start("-tray", folder);
    ASSERT_TRUE(!IsWindowVisible(main) && PumpUntil([&] {
        for (icon = nullptr, tray = FindWindowA(nullptr, "Wine System Tray"); tray && (icon = FindWindowExA(tray, icon, "__winex11_tray_icon", 0));)
            if (!std::count(before.begin(), before.end(), icon)) return true;
        return false;
    })) << "no icon came with the program";

    RunWriter("HKCU", kRunKey, "set KwD new set KwB after del KwC");  // the alert's Show Changes shows the list
    EXPECT_TRUE(Press(WaitForWindow("Keywarden - Change Alert"), IDC_SHOW_CHANGES));
    EXPECT_TRUE(IsWindowVisible(main) && SendMessageA(Control(IDC_TABS), TCM_GETCURSEL, 0, 0) == 0);
    const std::string user = std::string("HKEY_CURRENT_USER\\") + kRunKey;
    const std::vector<Row> expected = {  // machine values above user values, the later above the earlier
        {"Unchanged", "KwMachine", "m", "", std::string("HKEY_LOCAL_MACHINE\\") + kRunKey},
        {"New (Added)", "KwD", "new", "", user}, {"Deleted", "KwC", "before", "", user},
        {"Changed", "KwB", "after", "before", user}, {"Unchanged", "KwA", "before", "", user}};
    EXPECT_TRUE(PumpUntil([&] { return Rows() == expected; })) << Rows().size() << " rows";

    Rows({"KwD", "KwB", "KwC"});  // Revert of each kind of change puts back what the program started with
    Click(IDC_REVERT);
    const std::vector<Row> reverted = {expected[0], {"Unchanged", "KwC", "before", "", user},
        {"Unchanged", "KwB", "before", "", user}, expected[4]};  // in any order: a value put back is listed anew
    EXPECT_TRUE(PumpUntil([&] { auto rows = Rows(); return std::is_permutation(rows.begin(), rows.end(), reverted.begin(), reverted.end()); }));
    Rows({"KwMachine"});  // Delete asks first: No keeps the value, Yes deletes it
    const HWND box = (Click(IDC_DELETE), WaitForWindow("Keywarden"));
    EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)), "Are you sure you want to delete the selected items?");
    Press(box, IDNO);
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kRunKey, "KwMachine"));
    Press((Click(IDC_DELETE), WaitForWindow("Keywarden")), IDYES);
    EXPECT_TRUE(PumpUntil([&] { return Rows().size() == 3; }) && !Exists(HKEY_LOCAL_MACHINE, kRunKey, "KwMachine"));

    const HWND viewer = (Click(IDC_HELP_BUTTON), WaitForWindow(nullptr, false, "HH Parent")), editorBefore = FindWindowA("RegEdit_RegEdit", nullptr);
    EXPECT_TRUE(viewer && PostMessageA(viewer, WM_CLOSE, 0, 0)) << "no help viewer";
    Click(IDC_REGEDIT);
    HWND editor = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (editor = FindWindowA("RegEdit_RegEdit", nullptr)) && editor != editorBefore; }));
    EXPECT_TRUE(PostMessageA(editor, WM_CLOSE, 0, 0) && PumpUntil([&] { return !IsWindow(editor); }));

    // Minimising hides the window; a left click on the icon, as the tray passes it on, shows it.
    PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }));
    PostMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, 0), PostMessageA(icon, WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) && !IsIconic(main); }));
    const HWND question = (PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0), WaitForWindow("Keywarden"));
    EXPECT_EQ(WindowText(GetDlgItem(question, 0xFFFF)), "Close Keywarden?");
    Press(question, IDNO);
    EXPECT_TRUE(ExitCode(process, 500) == -1 && IsWindow(icon)) << "No keeps the program";
    PostMessageA(main, WM_CLOSE, 0, 0);  // as another program would
    EXPECT_EQ(ExitCode(process, 10000), 0);
    EXPECT_FALSE(IsWindow(icon)) << "the tray icon outlived the program";
    DeleteFileA((folder + "regedit.exe").c_str()), RemoveDirectoryA(folder.c_str());
}
