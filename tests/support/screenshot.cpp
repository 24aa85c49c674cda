#include "tests/support/test_support.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

namespace testing_support {

std::string SaveScreenshot(HWND window, const std::string& name)
{
    char folder[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, folder, sizeof folder);
    for (int up = 0; up < 2; ++up)
        PathRemoveFileSpecA(folder);
    std::string path = std::string(folder) + "\\screenshots";
    CreateDirectoryA(path.c_str(), nullptr);
    path += "\\" + name + ".png";
    wchar_t widePath[MAX_PATH * 2] = L"";
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH * 2);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages(100);
    RECT rect;
    GetWindowRect(window, &rect);
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, rect.right - rect.left, rect.bottom - rect.top);
    SelectObject(memory, bitmap);
    bool captured = BitBlt(memory, 0, 0, rect.right - rect.left, rect.bottom - rect.top, source, 0, 0, SRCCOPY);
    DeleteDC(memory);   // GDI+ must not find the bitmap selected into a DC
    ReleaseDC(window, source);

    // The platform's own PNG encoder, named by its class id.
    const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GpBitmap* image = nullptr;
    bool saved = false;
    if (captured && Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        saved = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok &&
                Gdiplus::DllExports::GdipSaveImageToFile(image, widePath, &png, nullptr) == Gdiplus::Ok;
        Gdiplus::DllExports::GdipDisposeImage(image);
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(bitmap);
    return saved ? path : std::string();
}

}  // namespace testing_support
