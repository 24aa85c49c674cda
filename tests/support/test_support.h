#pragma once

#include <windows.h>

#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// Runs action once, delayMs later, from any message loop of the thread; destroying it first cancels it.
class ThreadTimer {
public:
    ThreadTimer(UINT delayMs, std::function<void()> action)
        : id(SetTimer(nullptr, 0, delayMs, &TimerProc)) { Timers()[id] = std::move(action); }
    ~ThreadTimer() { Timers().erase(id) && KillTimer(nullptr, id); }
private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
    static std::map<UINT_PTR, std::function<void()>>& Timers();   // the thread's, by id
    UINT_PTR id;
};

// While it lives, answers once every dialog (#32770) activated on the thread: clicks buttonId (closes it
// when there is none), or runs action from the dialog's own loop. One answerer per thread at a time.
class DialogAnswerer {
public:
    struct Seen { HWND hwnd; std::string caption, text; };   // text: a message box's
    explicit DialogAnswerer(int button) : buttonId(button) {}
    explicit DialogAnswerer(std::function<void(HWND)> act) : action(std::move(act)) {}
    ~DialogAnswerer() { UnhookWindowsHookEx(hook), current = nullptr; }
    std::vector<Seen> seen;   // every dialog answered, in order
private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    static inline thread_local DialogAnswerer* current = nullptr;
    int buttonId = 0;
    std::function<void(HWND)> action;
    std::list<ThreadTimer> pending;
    HHOOK hook = (current = this, SetWindowsHookExA(WH_CBT, &HookProc, nullptr, GetCurrentThreadId()));
};

// Dispatches messages until done() holds or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
std::string WindowText(HWND window), ClassName(HWND window);
// Saves the window as <executable's folder>/../screenshots/<name>.png; returns the path, or "" on failure.
std::string SaveScreenshot(HWND window, const std::string& name);

}  // namespace testing_support
