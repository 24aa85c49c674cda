// How messages reach framework objects: dialogs, attached controls and the
// application's message loop.
#include "ui/app.h"
#include "ui/window.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using testing_support::PumpUntil;
using testing_support::ThreadTimer;

namespace {

// Records every message its object sees, and what it found at WM_INITDIALOG.
class RecordingDialog : public Dialog {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back(message);
        if (message == WM_INITDIALOG) {
            hwndAtInit = hwnd;
            slotAtInit = GetWindowLongPtrA(hwnd, GWLP_USERDATA);
            controlAtInit = GetDlgItem(hwnd, IDC_GO_AWAY);
            return 1;
        }
        if (message == WM_COMMAND)
            commands.push_back(LOWORD(wParam));
        return Dialog::WindowProc(message, wParam, lParam);
    }

    std::vector<UINT> messages;
    std::vector<int> commands;
    HWND hwndAtInit = nullptr;
    LONG_PTR slotAtInit = 0;
    HWND controlAtInit = nullptr;
};

// Messages sent to dialogs of this thread, whoever handles them.
thread_local std::vector<std::pair<HWND, UINT>>* sentToDialogs = nullptr;

LRESULT CALLBACK RecordSent(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sentToDialogs && testing_support::ClassName(call->hwnd) == "#32770")
        sentToDialogs->push_back({call->hwnd, call->message});
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct ChildState {
    HWND hwnd;
    LONG_PTR slot;
    LONG_PTR proc;
};

std::vector<ChildState> ChildStates(HWND parent)
{
    std::vector<ChildState> states;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        states.push_back({child, GetWindowLongPtrA(child, GWLP_USERDATA),
                          GetWindowLongPtrA(child, GWLP_WNDPROC)});
    return states;
}

}  // namespace

TEST(DialogRouting, MessagesBeforeInitDialogReachNoObject)
{
    std::vector<std::pair<HWND, UINT>> sent;
    sentToDialogs = &sent;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &RecordSent, nullptr, GetCurrentThreadId());
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_ALERT);
    UnhookWindowsHookEx(hook);
    sentToDialogs = nullptr;

    size_t before = 0;
    while (before < sent.size() && sent[before].second != WM_INITDIALOG) {
        EXPECT_EQ(dialog.hwnd, sent[before].first);
        ++before;
    }
    ASSERT_LT(before, sent.size()) << "WM_INITDIALOG never sent";
    EXPECT_GT(before, 0u) << "the dialog got no message before WM_INITDIALOG: nothing tested";
    ASSERT_FALSE(dialog.messages.empty());
    EXPECT_EQ(static_cast<UINT>(WM_INITDIALOG), dialog.messages.front());
    DestroyWindow(dialog.hwnd);
}

TEST(DialogRouting, StaticProceduresAnswerZeroWhileTheSlotIsEmpty)
{
    HWND plain = CreateWindowExA(0, "Static", "untouched", 0, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, plain);
    char text[32] = "";
    EXPECT_EQ(0, StaticWindowProc(plain, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)));
    EXPECT_STREQ("", text);
    EXPECT_EQ(0, StaticDialogProc(plain, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("changed")));
    EXPECT_EQ("untouched", testing_support::WindowText(plain));
    DestroyWindow(plain);
}

TEST(DialogRouting, AtInitDialogHandleAndSlotAreSet)
{
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_ALERT);
    ASSERT_NE(nullptr, dialog.hwnd);
    EXPECT_EQ(dialog.hwnd, dialog.hwndAtInit);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&dialog), dialog.slotAtInit);
    EXPECT_NE(nullptr, dialog.controlAtInit) << "controls exist when initialisation runs";
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&dialog), GetWindowLongPtrA(dialog.hwnd, GWLP_USERDATA));
    EXPECT_EQ(nullptr, dialog.prevProc);
    EXPECT_FALSE(IsWindowVisible(dialog.hwnd)) << "Create never shows the window";
    DestroyWindow(dialog.hwnd);
}

TEST(DialogRouting, CreateFromMissingTemplateThrowsZeroAndStaysUnbound)
{
    RecordingDialog dialog;
    int thrown = -1;
    try {
        dialog.Create(nullptr, 4321);
    } catch (int value) {
        thrown = value;
    }
    EXPECT_EQ(0, thrown);
    EXPECT_EQ(nullptr, dialog.hwnd);
    EXPECT_TRUE(dialog.messages.empty());
}

TEST(DialogRouting, PlainWindowOnPushButtonLeavesItsBehaviourUnchanged)
{
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_MAIN);
    HWND button = GetDlgItem(dialog.hwnd, IDC_OK);
    ASSERT_NE(nullptr, button);
    LONG_PTR original = GetWindowLongPtrA(button, GWLP_WNDPROC);

    Window okButton;
    EXPECT_EQ(1, okButton.Create(&dialog, IDC_OK));
    EXPECT_EQ(button, okButton.hwnd);
    EXPECT_EQ(original, reinterpret_cast<LONG_PTR>(okButton.prevProc));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&StaticWindowProc), GetWindowLongPtrA(button, GWLP_WNDPROC));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&okButton), GetWindowLongPtrA(button, GWLP_USERDATA));

    // Results come back unchanged from the button's own procedure.
    EXPECT_EQ(CallWindowProcA(okButton.prevProc, button, WM_GETDLGCODE, 0, 0),
              SendMessageA(button, WM_GETDLGCODE, 0, 0));
    EXPECT_TRUE(SendMessageA(button, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Fine")));
    EXPECT_EQ("Fine", testing_support::WindowText(button));
    SendMessageA(button, BM_SETSTATE, TRUE, 0);
    EXPECT_TRUE(SendMessageA(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    SendMessageA(button, BM_SETSTATE, FALSE, 0);

    // A click still tells the dialog.
    SendMessageA(button, BM_CLICK, 0, 0);
    PumpUntil([&] { return !dialog.commands.empty(); }, 2000);
    ASSERT_EQ(1u, dialog.commands.size());
    EXPECT_EQ(IDC_OK, dialog.commands[0]);
    DestroyWindow(dialog.hwnd);
}

TEST(DialogRouting, AttachingToMissingIdChangesNothingAndReturnsZero)
{
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_ALERT);
    std::vector<ChildState> before = ChildStates(dialog.hwnd);
    LONG_PTR dialogSlot = GetWindowLongPtrA(dialog.hwnd, GWLP_USERDATA);
    ASSERT_FALSE(before.empty());

    Window missing;
    EXPECT_EQ(0, missing.Create(&dialog, 4242));
    EXPECT_EQ(nullptr, missing.hwnd);
    EXPECT_EQ(nullptr, missing.prevProc);

    std::vector<ChildState> after = ChildStates(dialog.hwnd);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].hwnd, after[i].hwnd);
        EXPECT_EQ(before[i].slot, after[i].slot);
        EXPECT_EQ(before[i].proc, after[i].proc);
    }
    EXPECT_EQ(dialogSlot, GetWindowLongPtrA(dialog.hwnd, GWLP_USERDATA));
    // Calls through an unbound wrapper fail without effect.
    EXPECT_FALSE(missing.Show(SW_SHOW));
    EXPECT_EQ(0, missing.Send(WM_GETTEXTLENGTH, 0, 0));
    DestroyWindow(dialog.hwnd);
}

TEST(DialogRouting, AttachingWithoutABoundParentChangesNothingAndReturnsZero)
{
    Window unbound;
    Window control;
    EXPECT_EQ(0, control.Create(&unbound, IDC_OK));
    EXPECT_EQ(0, control.Create(nullptr, IDC_OK));
    EXPECT_EQ(nullptr, control.hwnd);
    EXPECT_EQ(nullptr, control.prevProc);
}

TEST(DialogRouting, DialogWithoutCreationParameterStaysUnbound)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ALERT), nullptr,
                                     &StaticDialogProc, 0);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(0, GetWindowLongPtrA(dialog, GWLP_USERDATA));
    DestroyWindow(dialog);
}

TEST(DialogRouting, UnhandledCloseEndsModalDialogWithZero)
{
    RecordingDialog dialog;
    ThreadTimer close(50, [&] { PostMessageA(dialog.hwnd, WM_CLOSE, 0, 0); });
    EXPECT_EQ(0, dialog.RunModal(IDD_ALERT, nullptr));
    EXPECT_TRUE(close.fired());
    EXPECT_FALSE(IsWindow(dialog.hwnd));
}

TEST(DialogRouting, RunModalReturnsTheValueGivenToEnd)
{
    RecordingDialog dialog;
    BOOL ended = FALSE;
    ThreadTimer end(50, [&] { ended = dialog.End(7); });
    EXPECT_EQ(7, dialog.RunModal(IDD_ALERT, nullptr));
    EXPECT_TRUE(ended);
}

TEST(DialogRouting, RunModalOfMissingTemplateReturnsMinusOne)
{
    RecordingDialog dialog;
    EXPECT_EQ(-1, dialog.RunModal(4321, nullptr));
}

TEST(DialogRouting, ModalDialogIsOwnedByItsOwner)
{
    RecordingDialog owner;
    owner.Create(nullptr, IDD_MAIN);
    RecordingDialog dialog;
    HWND ownerSeen = nullptr;
    ThreadTimer end(50, [&] {
        ownerSeen = GetWindow(dialog.hwnd, GW_OWNER);
        dialog.End(0);
    });
    dialog.RunModal(IDD_ALERT, &owner);
    EXPECT_EQ(owner.hwnd, ownerSeen);
    DestroyWindow(owner.hwnd);
}

TEST(DialogRouting, PostFromAnotherThreadReachesWindowProc)
{
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_ALERT);
    const UINT message = WM_APP + 5;
    std::thread poster([&] { dialog.Post(message, 1, 2); });
    poster.join();
    auto seen = [&] {
        for (UINT m : dialog.messages)
            if (m == message)
                return true;
        return false;
    };
    EXPECT_TRUE(PumpUntil(seen, 2000));
    DestroyWindow(dialog.hwnd);
}

namespace {

int fetchFailuresLeft = 0;
int fetches = 0;

BOOL WINAPI FailingThenRealGetMessage(LPMSG message, HWND window, UINT first, UINT last)
{
    ++fetches;
    if (fetchFailuresLeft > 0) {
        --fetchFailuresLeft;
        return -1;
    }
    return GetMessageA(message, window, first, last);
}

std::vector<UINT>* sinkMessages = nullptr;

LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (sinkMessages && (message >= WM_APP || message == WM_CHAR))
        sinkMessages->push_back(message);
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND CreateSink()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = &SinkProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KeywardenTestSink";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "KeywardenTestSink", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

TEST(MessageLoop, RunSkipsFailedFetchesAndReturnsOnQuit)
{
    std::vector<UINT> received;
    sinkMessages = &received;
    HWND sink = CreateSink();
    ASSERT_NE(nullptr, sink);

    PostMessageA(sink, WM_APP + 1, 0, 0);
    PostMessageA(sink, WM_APP + 2, 0, 0);
    PostQuitMessage(0);
    fetchFailuresLeft = 2;
    fetches = 0;
    appGetMessage = &FailingThenRealGetMessage;
    theApp.Run();
    appGetMessage = nullptr;

    EXPECT_EQ(0, fetchFailuresLeft);
    EXPECT_EQ(2 + 2 + 1, fetches);
    ASSERT_EQ(2u, received.size());
    EXPECT_EQ(static_cast<UINT>(WM_APP + 1), received[0]);
    EXPECT_EQ(static_cast<UINT>(WM_APP + 2), received[1]);
    DestroyWindow(sink);
    sinkMessages = nullptr;
}

TEST(MessageLoop, RunTranslatesKeysBeforeDispatching)
{
    std::vector<UINT> received;
    sinkMessages = &received;
    HWND sink = CreateSink();
    ASSERT_NE(nullptr, sink);

    // 'A' with its scan code; the translation posts WM_CHAR behind it.
    PostMessageA(sink, WM_KEYDOWN, 'A', 0x001E0001);
    ThreadTimer quit(100, [] { PostQuitMessage(0); });
    theApp.Run();

    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(static_cast<UINT>(WM_CHAR), received[0]);
    DestroyWindow(sink);
    sinkMessages = nullptr;
}
