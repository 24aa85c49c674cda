#include "ui/window.h"

Window::Window() : hwnd(nullptr), prevProc(nullptr) {}

Window::~Window() {}

int Window::Create(Window* parent, int id)
{
    // An unbound (or missing) parent has no controls: the same as a missing id.
    hwnd = parent ? GetDlgItem(parent->hwnd, id) : nullptr;
    if (!hwnd)
        return 0;
    // The slot is filled before the procedure is replaced, so the first
    // message that reaches StaticWindowProc already finds this object.
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    prevProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticWindowProc));
    return OnAttach();
}

LRESULT Window::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!prevProc)
        return 0;
    return CallWindowProcA(prevProc, hwnd, message, wParam, lParam);
}

int Window::OnAttach()
{
    return 1;
}

int Window::PreTranslateMessage(MSG*)
{
    return 0;
}

BOOL Window::Show(int showCommand)
{
    return ShowWindow(hwnd, showCommand);
}

BOOL Window::GetClientRect(RECT* rect)
{
    return ::GetClientRect(hwnd, rect);
}

int Window::ShowMessageBox(const char* text, const char* caption, UINT type)
{
    return MessageBoxA(hwnd, text, caption, type);
}

BOOL Window::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostMessageA(hwnd, message, wParam, lParam);
}

LRESULT Window::Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!window)
        return 0;
    return window->WindowProc(message, wParam, lParam);
}
