// The real keywarden.exe worked as a user would, while another program changes the registry; and the keyboard
// typed into the window in front.
#include "tests/e2e/e2e.h"

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

// The keys typed into the system's input for the window in front, as the user types them.
class KeyboardTest : public EndToEndTest {
protected:
    static void Type(std::initializer_list<WORD> chord) {  // pressed in order, let go in reverse
        std::vector<INPUT> inputs(chord.size() * 2, INPUT{INPUT_KEYBOARD, {}});
        for (size_t i = 0, last = inputs.size() - 1; i < chord.size(); ++i)
            inputs[i].ki.wVk = inputs[last - i].ki.wVk = chord.begin()[i], inputs[last - i].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    bool MovesTo(std::initializer_list<WORD> chord, int id) {  // the program's focus, within 2 s
        GUITHREADINFO info{sizeof info, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};
        return Type(chord), PumpUntil([&] { return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) && info.hwndFocus == Control(id); }, 2000);
    }
    long Tab() { return static_cast<long>(SendMessageA(Control(IDC_TABS), TCM_GETCURSEL, 0, 0)); }
    bool Checked() { return SendMessageA(Control(IDC_ONLY_SHOW_CHANGES), BM_GETCHECK, 0, 0) == BST_CHECKED; }
};

TEST_F(KeyboardTest, TabWalksTheWindowAndTheShownPageCtrlTabSwitchesPagesAndEnterEscAltHAct) {
    Start("", ModulePath(""));
    RunWriter("HKCU", kRunKey, "set KwKeys one");
    SetForegroundWindow(main);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == main; }) && MovesTo({}, IDC_OK));
    ASSERT_TRUE(PumpUntil([&] { return Status("KwKeys") == "New (Added)"; }));
    for (int id : {IDC_HELP_BUTTON, IDC_VALUE_LIST, IDC_DELETE, IDC_REGEDIT, IDC_REVERT, IDC_ONLY_SHOW_CHANGES, IDC_RESET_ALARM, IDC_OK})
        EXPECT_TRUE(MovesTo({VK_TAB}, id)) << "Tab to " << id;
    EXPECT_TRUE(MovesTo({VK_SHIFT, VK_TAB}, IDC_RESET_ALARM));
    // The focus goes along with Ctrl+Tab from the page that goes.
    EXPECT_TRUE(MovesTo({VK_CONTROL, VK_TAB}, IDC_POPUP_ALERT) && Tab() == 1 && !IsWindowVisible(Control(IDC_VALUE_LIST)));
    EXPECT_TRUE(MovesTo({VK_CONTROL, VK_SHIFT, VK_TAB}, IDC_VALUE_LIST) && Tab() == 0 && !IsWindowVisible(Control(IDC_POPUP_ALERT)));
    for (int id : {IDC_DELETE, IDC_REGEDIT, IDC_REVERT, IDC_ONLY_SHOW_CHANGES}) ASSERT_TRUE(MovesTo({VK_TAB}, id));
    EXPECT_TRUE((Type({VK_SPACE}), PumpUntil([&] { return Checked(); })) && (Type({VK_SPACE}), PumpUntil([&] { return !Checked(); })));
    ASSERT_TRUE(MovesTo({VK_TAB}, IDC_RESET_ALARM));
    Type({VK_RETURN});
    EXPECT_TRUE(PumpUntil([&] { return Status("KwKeys") == "Unchanged"; })) << "Enter on Reset Alarm";
    EXPECT_TRUE(IsWindowVisible(main)) << "Enter on a page's button hid the window";

    const HWND help = (Type({VK_MENU, 'H'}), WaitForWindow(nullptr, false, "HH Parent"));
    EXPECT_TRUE(help && PostMessageA(help, WM_CLOSE, 0, 0)) << "Alt+H";
    SetForegroundWindow(main);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == main; }));
    Type({VK_ESCAPE});
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); })) << "Esc hides as OK does";
    EXPECT_EQ(ExitCode(process, 300), -1) << "Esc ended the program";
}
