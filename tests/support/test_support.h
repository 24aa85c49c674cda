// Helpers for tests that drive real windows on the test's own thread:
// answering message boxes and dialogs, acting from inside a modal loop,
// pumping messages, and saving screenshots under <build>/screenshots/.
#ifndef KEYWARDEN_TESTS_SUPPORT_TEST_SUPPORT_H
#define KEYWARDEN_TESTS_SUPPORT_TEST_SUPPORT_H

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// Runs action once, delayMs after construction, from whatever message loop
// the thread runs then (a modal dialog's or a message box's included).
// Destroying it before then cancels it.
class ThreadTimer {
public:
    ThreadTimer(UINT delayMs, std::function<void()> action);
    ~ThreadTimer();
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;
    bool fired() const { return hasFired; }
private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
    std::function<void()> action;
    UINT_PTR id;
    bool hasFired = false;
};

// While it lives, answers once every message box or dialog (class #32770)
// activated on the calling thread: posts BM_CLICK to the button buttonId
// (WM_CLOSE when there is none), or runs action from the dialog's own loop.
// One answerer per thread at a time.
class DialogAnswerer {
public:
    struct Seen {
        HWND hwnd;
        std::string caption;
        std::string text;   // a message box's text; empty for other dialogs
        HWND owner;
    };
    explicit DialogAnswerer(int buttonId);
    explicit DialogAnswerer(std::function<void(HWND)> action);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    std::vector<Seen> seen;   // every window answered, in order
private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    int buttonId = 0;
    std::function<void(HWND)> action;
    std::vector<std::unique_ptr<ThreadTimer>> pending;   // actions not yet run
    HHOOK hook;
};

// Dispatches the thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);
// Dispatches messages until done() holds or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

std::string WindowText(HWND window);
std::string ClassName(HWND window);

// Saves what the window shows, frame included, as <build>/screenshots/<name>.png
// (<build>: the folder above the executable's). Returns the path, or "" on failure.
std::string SaveScreenshot(HWND window, const std::string& name);

}  // namespace testing_support

#endif
