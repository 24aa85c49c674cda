// The main window worked from the keyboard alone, with keys typed as the user
// types them: into the system's input, for the window in front.
#include "tests/e2e/driver.h"

#include <initializer_list>
#include <vector>

namespace {

// Presses the keys in order and lets them go in reverse, as a chord.
void Type(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs(keys.size() * 2, INPUT{INPUT_KEYBOARD, {}});
    for (size_t i = 0; i < keys.size(); ++i) {
        inputs[i].ki.wVk = inputs[inputs.size() - 1 - i].ki.wVk = keys.begin()[i];
        inputs[inputs.size() - 1 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

}  // namespace

class KeyboardTest : public EndToEndTest {
protected:
    HWND Focus()
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info);
        return info.hwndFocus;
    }
    // Types the keys and waits until the control with that id has the focus.
    bool MovesTo(std::initializer_list<WORD> keys, int id)
    {
        Type(keys);
        return WaitUntil([&] { return Focus() == Control(id); }, 2000);
    }
    bool PageShown(int id) { return IsWindowVisible(GetParent(Control(id))) != FALSE; }
};

TEST_F(KeyboardTest, TabWalksTheWindowAndTheShownPageCtrlTabSwitchesPagesAndEnterEscAltHAct)
{
    Start();
    ASSERT_EQ(Write("HKCU", "set KwKeys one"), 0);
    SetForegroundWindow(main);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main && Focus() == Control(IDC_OK); }));
    ASSERT_TRUE(WaitUntil([&] { return RowNamed("KwKeys")[0] == "New (Added)"; }));

    const int order[] = {IDC_HELP_BUTTON, IDC_VALUE_LIST, IDC_DELETE,      IDC_REGEDIT,
                         IDC_REVERT,      IDC_ONLY_SHOW_CHANGES, IDC_RESET_ALARM, IDC_OK};
    for (int id : order)
        EXPECT_TRUE(MovesTo({VK_TAB}, id)) << "Tab to " << id;
    EXPECT_TRUE(MovesTo({VK_SHIFT, VK_TAB}, IDC_RESET_ALARM)) << "Shift+Tab";

    // Ctrl+Tab leaves the page the focus was in for the next one, with the focus.
    EXPECT_TRUE(MovesTo({VK_CONTROL, VK_TAB}, IDC_POPUP_ALERT));
    EXPECT_TRUE(Tab() == 1 && PageShown(IDC_POPUP_ALERT) && !PageShown(IDC_VALUE_LIST));
    EXPECT_TRUE(MovesTo({VK_CONTROL, VK_SHIFT, VK_TAB}, IDC_VALUE_LIST));
    EXPECT_TRUE(Tab() == 0 && PageShown(IDC_VALUE_LIST) && !PageShown(IDC_POPUP_ALERT));

    // Space toggles the focused box; Enter presses the focused button of a page.
    for (int id : {IDC_DELETE, IDC_REGEDIT, IDC_REVERT, IDC_ONLY_SHOW_CHANGES})
        ASSERT_TRUE(MovesTo({VK_TAB}, id));
    Type({VK_SPACE});
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(Control(IDC_ONLY_SHOW_CHANGES), BM_GETCHECK, 0, 0) == 1; }));
    Type({VK_SPACE});
    EXPECT_TRUE(WaitUntil([&] { return SendMessageA(Control(IDC_ONLY_SHOW_CHANGES), BM_GETCHECK, 0, 0) == 0; }));
    ASSERT_TRUE(MovesTo({VK_TAB}, IDC_RESET_ALARM));
    Type({VK_RETURN});
    EXPECT_TRUE(WaitUntil([&] { return RowNamed("KwKeys")[0] == "Unchanged"; })) << "Enter on Reset Alarm";
    EXPECT_TRUE(IsWindowVisible(main)) << "Enter on a page's button hid the window";

    // Alt+H opens the help; Esc hides the window as OK does.
    Type({VK_MENU, 'H'});
    const HWND help = WaitForWindow(nullptr, "HH Parent");
    EXPECT_NE(help, nullptr) << "Alt+H";
    PostMessageA(help, WM_CLOSE, 0, 0);
    SetForegroundWindow(main);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main; }));
    Type({VK_ESCAPE});
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); })) << "Esc";
    EXPECT_EQ(WaitForExit(300), -1) << "Esc ended the program";
}
