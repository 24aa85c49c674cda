#include "tests/app/modal.h"

#include <map>

namespace {

struct Pending {
    std::function<HWND()> findDialog;
    std::function<void(HWND)> act;
    DWORD deadline;
    bool acted;
    HWND dialog;
};

std::map<UINT_PTR, Pending>& Actions()
{
    static std::map<UINT_PTR, Pending> actions;
    return actions;
}

void CALLBACK OnModalTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    auto found = Actions().find(id);
    if (found == Actions().end())
        return;
    Pending& action = found->second;
    if (!action.acted) {
        HWND dialog = action.findDialog();
        if (dialog && IsWindowVisible(dialog)) {
            action.acted = true;
            action.dialog = dialog;
            // Marked first: act may run nested loops in which this timer fires again.
            action.act(dialog);
            return;
        }
    }
    if (static_cast<LONG>(GetTickCount() - action.deadline) >= 0) {
        HWND dialog = action.dialog ? action.dialog : action.findDialog();
        KillTimer(nullptr, id);
        if (dialog && IsWindow(dialog))
            EndDialog(dialog, kModalTimedOut);
    }
}

}  // namespace

ModalAction::ModalAction(std::function<HWND()> findDialog, std::function<void(HWND)> act, DWORD timeoutMs)
    : timer(SetTimer(nullptr, 0, 10, OnModalTimer))
{
    Actions()[timer] = Pending{std::move(findDialog), std::move(act), GetTickCount() + timeoutMs, false, nullptr};
}

ModalAction::~ModalAction()
{
    KillTimer(nullptr, timer);
    Actions().erase(timer);
}

bool ModalAction::Acted() const
{
    auto found = Actions().find(timer);
    return found != Actions().end() && found->second.acted;
}

void PumpMessages(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    } while (GetTickCount() - start < milliseconds);
}

HostWindow::HostWindow()
    : hwnd(CreateWindowExA(0, "STATIC", "Keywarden test host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr))
{
}

HostWindow::~HostWindow()
{
    if (hwnd)
        DestroyWindow(hwnd);
}
