// Thin classes over native windows. Every window the program drives is owned
// by a Window object; its messages reach the object's WindowProc through one
// static procedure that finds the object in the window's user-data slot.
//
// Ownership: whoever owns a Window object destroys its native window and
// deletes the object, and keeps the object alive as long as the window can
// receive messages. The framework never destroys windows, restores a replaced
// procedure or clears a user-data slot.
#ifndef KEYWARDEN_UI_WINDOW_H
#define KEYWARDEN_UI_WINDOW_H

#include <windows.h>

class Window {
public:
    Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Attaches to the control with that id in the parent dialog (which must be
    // bound) and subclasses it. Returns OnAttach's result, or 0 when the
    // parent has no such control; then nothing is changed and hwnd stays null.
    virtual int Create(Window* parent, int id);
    // Forwards to the replaced procedure; 0 when nothing was replaced.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called as the last step of a successful attach; returns 1.
    virtual int OnAttach();
    // Offered a message for this window or its descendants before the message
    // loop translates and dispatches it; nonzero when it took the message.
    // Returns 0.
    virtual int PreTranslateMessage(MSG* message);
    // Owners delete dialogs through Dialog*; the window itself is theirs to
    // destroy, so there is nothing to do here.
    virtual ~Window();

    BOOL Show(int showCommand);
    BOOL GetClientRect(RECT* rect);
    // A message box owned by this window; returns the button pressed.
    int ShowMessageBox(const char* text, const char* caption, UINT type);
    // May be called from any thread.
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd;          // null until bound, and after a failed bind
    WNDPROC prevProc;   // the procedure subclassing replaced; null for dialogs
};

// Window procedure of every attached control: routes to the owning object,
// or answers 0 while the user-data slot is empty.
LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#include "ui/dialog.h"

#endif
