// The main window worked from the keyboard alone, the keys typed into the
// system's input for the window in front, as the user types them.
#include "tests/e2e/driver.h"

class KeyboardTest : public EndToEndTest {
protected:
    static void Type(std::initializer_list<WORD> chord)  // pressed in order, let go in reverse
    {
        std::vector<INPUT> inputs(chord.size() * 2, INPUT{INPUT_KEYBOARD, {}});
        for (size_t i = 0; i < chord.size(); ++i) {
            inputs[i].ki.wVk = inputs[inputs.size() - 1 - i].ki.wVk = chord.begin()[i];
            inputs[inputs.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
        }
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    }
    HWND Focus()
    {
        GUITHREADINFO info{sizeof info, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, {}};
        return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) ? info.hwndFocus : nullptr;
    }
    bool MovesTo(std::initializer_list<WORD> chord, int id)  // the focus, within 2 s
    {
        Type(chord);
        return WaitUntil([&] { return Focus() == Control(id); }, 2000);
    }
    bool Shown(int id) { return IsWindowVisible(Control(id)) != FALSE; }
    bool Checked() { return SendMessageA(Control(IDC_ONLY_SHOW_CHANGES), BM_GETCHECK, 0, 0) == BST_CHECKED; }
};

TEST_F(KeyboardTest, TabWalksTheWindowAndTheShownPageCtrlTabSwitchesPagesAndEnterEscAltHAct)
{
    Start();
    ASSERT_EQ(Write("HKCU", "set KwKeys one"), 0);
    SetForegroundWindow(main);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main && Focus() == Control(IDC_OK); }));
    ASSERT_TRUE(WaitUntil([&] { return RowNamed("KwKeys")[0] == "New (Added)"; }));

    for (int id : {IDC_HELP_BUTTON, IDC_VALUE_LIST, IDC_DELETE, IDC_REGEDIT, IDC_REVERT, IDC_ONLY_SHOW_CHANGES,
                   IDC_RESET_ALARM, IDC_OK})
        EXPECT_TRUE(MovesTo({VK_TAB}, id)) << "Tab to " << id;
    EXPECT_TRUE(MovesTo({VK_SHIFT, VK_TAB}, IDC_RESET_ALARM));
    // The focus goes along with Ctrl+Tab from the page that goes.
    EXPECT_TRUE(MovesTo({VK_CONTROL, VK_TAB}, IDC_POPUP_ALERT) && Tab() == 1 && !Shown(IDC_VALUE_LIST));
    EXPECT_TRUE(MovesTo({VK_CONTROL, VK_SHIFT, VK_TAB}, IDC_VALUE_LIST) && Tab() == 0 && !Shown(IDC_POPUP_ALERT));

    for (int id : {IDC_DELETE, IDC_REGEDIT, IDC_REVERT, IDC_ONLY_SHOW_CHANGES})
        ASSERT_TRUE(MovesTo({VK_TAB}, id));
    Type({VK_SPACE});
    EXPECT_TRUE(WaitUntil([&] { return Checked(); }));
    Type({VK_SPACE});
    EXPECT_TRUE(WaitUntil([&] { return !Checked(); }));
    ASSERT_TRUE(MovesTo({VK_TAB}, IDC_RESET_ALARM));
    Type({VK_RETURN});
    EXPECT_TRUE(WaitUntil([&] { return RowNamed("KwKeys")[0] == "Unchanged"; })) << "Enter on Reset Alarm";
    EXPECT_TRUE(IsWindowVisible(main)) << "Enter on a page's button hid the window";

    Type({VK_MENU, 'H'});
    const HWND help = WaitForWindow(nullptr, "HH Parent");
    EXPECT_NE(help, nullptr) << "Alt+H";
    PostMessageA(help, WM_CLOSE, 0, 0);
    SetForegroundWindow(main);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main; }));
    Type({VK_ESCAPE});
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); })) << "Esc hides as OK does";
    EXPECT_EQ(WaitForExit(300), -1) << "Esc ended the program";
}
