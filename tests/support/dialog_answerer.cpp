#include "tests/support/test_support.h"

#include <memory>

namespace testing_support {

namespace {

thread_local DialogAnswerer* currentAnswerer = nullptr;
// Deferred actions live here until the answerer goes; the timers must not
// outlive the answerer whose action they run.
thread_local std::vector<std::unique_ptr<ThreadTimer>>* pendingActions = nullptr;

// A message box shows its text in a static control with this id.
const int kMessageBoxTextId = 0xFFFF;

}  // namespace

DialogAnswerer::DialogAnswerer(int button) : buttonId(button), hook(nullptr)
{
    currentAnswerer = this;
    pendingActions = new std::vector<std::unique_ptr<ThreadTimer>>();
    hook = SetWindowsHookExA(WH_CBT, &HookProc, nullptr, GetCurrentThreadId());
}

DialogAnswerer::DialogAnswerer(std::function<void(HWND)> act) : DialogAnswerer(0)
{
    action = std::move(act);
}

DialogAnswerer::~DialogAnswerer()
{
    if (hook)
        UnhookWindowsHookEx(hook);
    delete pendingActions;
    pendingActions = nullptr;
    currentAnswerer = nullptr;
}

LRESULT CALLBACK DialogAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && currentAnswerer) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (ClassName(window) == "#32770")
            currentAnswerer->Answer(window);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogAnswerer::Answer(HWND dialog)
{
    for (const Seen& s : seen)
        if (s.hwnd == dialog)
            return;
    HWND textControl = GetDlgItem(dialog, kMessageBoxTextId);
    seen.push_back({dialog, WindowText(dialog), textControl ? WindowText(textControl) : "",
                    GetWindow(dialog, GW_OWNER)});
    if (action) {
        // Activation is no place to drive the dialog: run the action from the
        // dialog's own loop instead.
        std::function<void(HWND)> act = action;
        pendingActions->push_back(std::make_unique<ThreadTimer>(10, [act, dialog] { act(dialog); }));
        return;
    }
    HWND button = GetDlgItem(dialog, buttonId);
    // Posted, not sent: the box is not ready to act on while it is activated.
    if (button)
        PostMessageA(button, BM_CLICK, 0, 0);
    else
        PostMessageA(dialog, WM_CLOSE, 0, 0);
}

}  // namespace testing_support
