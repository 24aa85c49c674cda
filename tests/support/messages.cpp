#include "tests/support/test_support.h"

#include <algorithm>
#include <map>

namespace testing_support {

// Thread timers carry no pointer of their own: they are found by id.
static thread_local std::map<UINT_PTR, ThreadTimer*> liveTimers;
static thread_local DialogAnswerer* currentAnswerer = nullptr;

ThreadTimer::ThreadTimer(UINT delayMs, std::function<void()> act) : action(std::move(act))
{
    id = SetTimer(nullptr, 0, delayMs, &TimerProc);
    liveTimers[id] = this;
}

ThreadTimer::~ThreadTimer()
{
    if (liveTimers.erase(id))
        KillTimer(nullptr, id);
}

void CALLBACK ThreadTimer::TimerProc(HWND, UINT, UINT_PTR timerId, DWORD)
{
    KillTimer(nullptr, timerId);
    auto found = liveTimers.find(timerId);
    if (found != liveTimers.end()) {
        found->second->hasFired = true;
        std::function<void()> action = found->second->action;
        liveTimers.erase(found);
        action();
    }
}

DialogAnswerer::DialogAnswerer(int button) : buttonId(button)
{
    currentAnswerer = this;
    hook = SetWindowsHookExA(WH_CBT, &HookProc, nullptr, GetCurrentThreadId());
}

DialogAnswerer::DialogAnswerer(std::function<void(HWND)> act) : DialogAnswerer(0) { action = std::move(act); }

DialogAnswerer::~DialogAnswerer()
{
    UnhookWindowsHookEx(hook);
    currentAnswerer = nullptr;
}

LRESULT CALLBACK DialogAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    HWND dialog = reinterpret_cast<HWND>(wParam);
    DialogAnswerer* self = currentAnswerer;
    if (code == HCBT_ACTIVATE && self && ClassName(dialog) == "#32770" &&
        std::none_of(self->seen.begin(), self->seen.end(), [&](const Seen& s) { return s.hwnd == dialog; })) {
        HWND textControl = GetDlgItem(dialog, 0xFFFF);   // a message box's text
        self->seen.push_back({dialog, WindowText(dialog), textControl ? WindowText(textControl) : "",
                              GetWindow(dialog, GW_OWNER)});
        // Activation is no time to drive the box: act from its own loop.
        if (self->action) {
            std::function<void(HWND)> act = self->action;
            self->pending.push_back(std::make_unique<ThreadTimer>(10, [act, dialog] { act(dialog); }));
        } else if (HWND button = GetDlgItem(dialog, self->buttonId)) {
            PostMessageA(button, BM_CLICK, 0, 0);
        } else {
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void PumpMessages(DWORD ms) { PumpUntil([] { return false; }, ms); }

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount();; MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done() || GetTickCount() - start >= timeoutMs)
            return done();
    }
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    return GetWindowTextA(window, text, sizeof text) ? text : "";
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    return GetClassNameA(window, name, sizeof name) ? name : "";
}

}  // namespace testing_support
