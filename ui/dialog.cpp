#include "ui/dialog.h"

INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Without a creation parameter there is no object to bind: the dialog
    // then keeps answering 0, as before binding.
    if (message == WM_INITDIALOG && lParam) {
        Dialog* dialog = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
        dialog->hwnd = hwnd;
    }
    return StaticWindowProc(hwnd, message, wParam, lParam);
}

int Dialog::Create(Window* parent, int templateId)
{
    hwnd = CreateDialogParamA(GetModuleHandleA(nullptr),
                              MAKEINTRESOURCEA(LOWORD(templateId)),
                              parent ? parent->hwnd : nullptr,
                              &StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd)
        throw 0;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return 1;
}

LRESULT Dialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        EndDialog(hwnd, 0);
        return 1;
    }
    return Window::WindowProc(message, wParam, lParam);
}

int Dialog::PreTranslateMessage(MSG* message)
{
    return IsDialogMessageA(hwnd, message) ? 1 : 0;
}

INT_PTR Dialog::RunModal(int templateId, Window* owner)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr),
                           MAKEINTRESOURCEA(LOWORD(templateId)),
                           owner ? owner->hwnd : nullptr,
                           &StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL Dialog::End(INT_PTR result)
{
    return EndDialog(hwnd, result);
}
