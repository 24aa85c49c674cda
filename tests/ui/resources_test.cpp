// Icons, manifest and version information in the executable's resources.
#include <windows.h>

#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Pixels {
    int width = 0, height = 0;
    std::vector<DWORD> bgra;   // top-down
    DWORD At(int x, int y) const { return bgra[static_cast<size_t>(y * width + x)] & 0xFFFFFF; }
};

// The icon drawn at its own size over a plain background.
Pixels DrawOver(HICON icon, int size, COLORREF background)
{
    Pixels pixels;
    pixels.width = pixels.height = size;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, size, size};
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    const DWORD* data = static_cast<const DWORD*>(bits);
    pixels.bgra.assign(data, data + size * size);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Not shared: a shared icon keeps the size it was first loaded at.
class LoadedIcon {
public:
    LoadedIcon(int id, int size)
        : icon(static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                             size, size, 0))) {}
    ~LoadedIcon()
    {
        if (icon)
            DestroyIcon(icon);
    }
    LoadedIcon(const LoadedIcon&) = delete;
    LoadedIcon& operator=(const LoadedIcon&) = delete;
    operator HICON() const { return icon; }

private:
    HICON icon;
};

int IconWidth(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return 0;
    BITMAP bitmap = {};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

int CountDiffering(const Pixels& a, const Pixels& b)
{
    int count = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            count += a.At(x, y) != b.At(x, y);
    return count;
}

// 0xRRGGBB from a BGRA pixel.
int Red(DWORD p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(DWORD p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(DWORD p) { return static_cast<int>(p & 0xFF); }

std::string ResourceText(const char* name, const char* type)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, name, type);
    if (!resource)
        return std::string();
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return data ? std::string(data, SizeofResource(module, resource)) : std::string();
}

}  // namespace

TEST(Icons, EveryIconLoadsAtBothSizes)
{
    for (int id : {IDI_KEYWARDEN, IDI_WARNING, IDI_BLANK}) {
        for (int size : {16, 32}) {
            LoadedIcon icon(id, size);
            ASSERT_NE(nullptr, icon) << id << " at " << size;
            EXPECT_EQ(size, IconWidth(icon)) << id << " at " << size;
        }
    }
}

TEST(Icons, ProgramIconIsOpaqueInTheMiddleAndClearAtTheCorners)
{
    for (int size : {16, 32}) {
        LoadedIcon icon(IDI_KEYWARDEN, size);
        Pixels onWhite = DrawOver(icon, size, RGB(255, 255, 255));
        Pixels onBlack = DrawOver(icon, size, RGB(0, 0, 0));
        EXPECT_EQ(0xFFFFFFu, onWhite.At(0, size - 1)) << size;
        EXPECT_EQ(0u, onBlack.At(0, size - 1)) << size;
        EXPECT_EQ(onWhite.At(size / 2, size / 2), onBlack.At(size / 2, size / 2)) << size;
        EXPECT_GT(CountDiffering(onWhite, onBlack), 0) << size;
        EXPECT_LT(CountDiffering(onWhite, onBlack), size * size / 3) << size;
    }
}

TEST(Icons, WarningIsAYellowTriangleClearAroundIt)
{
    LoadedIcon icon(IDI_WARNING, 32);
    Pixels onWhite = DrawOver(icon, 32, RGB(255, 255, 255));
    Pixels onBlack = DrawOver(icon, 32, RGB(0, 0, 0));
    // Top corners lie outside the triangle.
    for (int x : {0, 31}) {
        EXPECT_EQ(0xFFFFFFu, onWhite.At(x, 0));
        EXPECT_EQ(0u, onBlack.At(x, 0));
    }
    // The field left of the exclamation mark is yellow.
    DWORD field = onWhite.At(12, 22);
    EXPECT_GT(Red(field), 200);
    EXPECT_GT(Green(field), 200);
    EXPECT_LT(Blue(field), 80);
    EXPECT_EQ(field, onBlack.At(12, 22));
    // The mark in the middle is dark.
    DWORD mark = onWhite.At(16, 16);
    EXPECT_LT(Red(mark) + Green(mark) + Blue(mark), 150);
}

TEST(Icons, BlankIconIsTransparentEverywhere)
{
    for (int size : {16, 32}) {
        LoadedIcon icon(IDI_BLANK, size);
        Pixels onWhite = DrawOver(icon, size, RGB(255, 255, 255));
        Pixels onBlack = DrawOver(icon, size, RGB(0, 0, 0));
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                ASSERT_EQ(0xFFFFFFu, onWhite.At(x, y)) << x << "," << y;
                ASSERT_EQ(0u, onBlack.At(x, y)) << x << "," << y;
            }
    }
}

TEST(Manifest, AsksForCommonControlsSix)
{
    std::string manifest = ResourceText(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_FALSE(manifest.empty());
    size_t dependency = manifest.find("Microsoft.Windows.Common-Controls");
    ASSERT_NE(std::string::npos, dependency);
    EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\"", dependency));
}

TEST(Manifest, LoadsTheSideBySideCommonControls)
{
    HMODULE comctl = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(nullptr, comctl);
    char path[MAX_PATH] = "";
    GetModuleFileNameA(comctl, path, sizeof path);
    EXPECT_NE(nullptr, strstr(CharLowerA(path), "winsxs")) << path;
}

TEST(VersionInfo, NamesTheProductAndVersion)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    DWORD size = GetFileVersionInfoSizeA(path, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(0x00010003u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00010003u, fixed->dwProductVersionMS);

    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductName", &value, &length));
    EXPECT_STREQ("Keywarden", static_cast<const char*>(value));
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion", &value, &length));
    EXPECT_STREQ("1.3", static_cast<const char*>(value));
}
