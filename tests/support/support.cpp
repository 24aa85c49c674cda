#include "tests/support/test_support.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>
#include <algorithm>

namespace testing_support {

std::map<UINT_PTR, std::function<void()>>& ThreadTimer::Timers() { static thread_local std::map<UINT_PTR, std::function<void()>> timers; return timers; }

void CALLBACK ThreadTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (std::function<void()> action = Timers()[id]; Timers().erase(id) && action)
        action();
}

LRESULT CALLBACK DialogAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    HWND dialog = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && current && ClassName(dialog) == "#32770" &&
        std::none_of(current->seen.begin(), current->seen.end(), [&](const Seen& s) { return s.hwnd == dialog; })) {
        current->seen.push_back({dialog, WindowText(dialog), WindowText(GetDlgItem(dialog, 0xFFFF))});
        if (HWND button = GetDlgItem(dialog, current->buttonId); !current->action)
            PostMessageA(button ? button : dialog, button ? BM_CLICK : WM_CLOSE, 0, 0);
        else   // not while it activates: from its own loop
            current->pending.emplace_back(10, [act = current->action, dialog] { act(dialog); });
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); !done() && GetTickCount() - start < timeoutMs;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&message))
            TranslateMessage(&message);
    }
    return done();
}

std::string WindowText(HWND w) { char text[1024] = ""; return w && GetWindowTextA(w, text, sizeof text) ? text : ""; }
std::string ClassName(HWND w) { char name[256] = ""; return GetClassNameA(w, name, sizeof name) ? name : ""; }

std::string SaveScreenshot(HWND window, const std::string& name)
{
    char folder[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, folder, sizeof folder);
    PathRemoveFileSpecA(folder);
    std::string path = std::string(folder) + "\\..\\screenshots";
    CreateDirectoryA(path.c_str(), nullptr);
    path += "\\" + name + ".png";
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpUntil([] { return false; }, 100);
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC source = GetWindowDC(window), memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    SelectObject(memory, bitmap);
    bool saved = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    DeleteDC(memory);   // GDI+ must not find the bitmap selected into a DC
    ReleaseDC(window, source);
    const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};   // its encoder
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (saved && Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        const std::wstring widePath(path.begin(), path.end());   // the build's path is plain ASCII
        saved = Gdiplus::Bitmap(bitmap, nullptr).Save(widePath.c_str(), &png, nullptr) == Gdiplus::Ok;
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(bitmap);
    return saved ? path : std::string();
}

}  // namespace testing_support
