// Drives modal loops from inside a test: a thread timer fires inside the
// dialog's own message loop and runs the test's steps there.
#ifndef KEYWARDEN_TESTS_APP_MODAL_H
#define KEYWARDEN_TESTS_APP_MODAL_H

#include <windows.h>
#include <functional>

// Calls act(dialogWindow) once, from inside the modal loop, as soon as
// findDialog() returns a visible window. If the dialog is still open after
// timeoutMs (act left it open, or it never showed), it is ended with
// kModalTimedOut so the test fails instead of hanging. Construct before
// entering the modal loop; destruction stops the timer.
const INT_PTR kModalTimedOut = -1000;
class ModalAction {
public:
    ModalAction(std::function<HWND()> findDialog, std::function<void(HWND)> act, DWORD timeoutMs = 10000);
    ~ModalAction();
    ModalAction(const ModalAction&) = delete;
    ModalAction& operator=(const ModalAction&) = delete;
    bool Acted() const;

private:
    UINT_PTR timer;
};

// Runs queued messages of this thread for about the given time.
void PumpMessages(DWORD milliseconds);

// A hidden top-level window to own pages and the tray icon; destroyed with
// the object.
class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND hwnd;
};

#endif
