// Helpers for tests that drive real windows under the test's own thread:
// answering message boxes and modal dialogs, acting from inside a modal loop,
// pumping messages, and saving screenshots under the build tree.
#ifndef KEYWARDEN_TESTS_SUPPORT_TEST_SUPPORT_H
#define KEYWARDEN_TESTS_SUPPORT_TEST_SUPPORT_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// While it lives, answers every message box or dialog (window class #32770)
// that becomes active on the calling thread: it posts BM_CLICK to the button
// with the given id, or runs the given action from the thread's message loop
// (the dialog's own modal loop) shortly after activation. Each window is
// answered once. One answerer per thread at a time.
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
    void Answer(HWND dialog);

    int buttonId;
    std::function<void(HWND)> action;
    HHOOK hook;
};

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
    bool hasFired;
};

// Dispatches the thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);
// Dispatches messages until done() holds or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// The build tree: the folder above the one holding the test executable.
std::string BuildTreePath(const std::string& relative);

// Saves what the window shows (frame included) as <build>/screenshots/<name>.png.
// Returns the file's path, or an empty string on failure.
std::string SaveScreenshot(HWND window, const std::string& name);

// Writes 8-bit RGB pixels (rows top-down, 3 bytes a pixel) as a PNG file.
bool WritePng(const std::string& path, int width, int height, const std::vector<unsigned char>& rgb);

// The window's text, and its class name.
std::string WindowText(HWND window);
std::string ClassName(HWND window);

}  // namespace testing_support

#endif
