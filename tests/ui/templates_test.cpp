// The five dialog templates in the executable's resources against the design:
// first the template data itself, then the windows the system builds from it.
#include "ui/controls.h"
#include "tests/support/test_support.h"
#include "tests/ui/page_host.h"
#include "tests/ui/template_reader.h"
#include "tests/ui/template_specs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string.h>

using testing_support::ClassName;
using testing_support::WindowText;

namespace {

class TemplateTest : public ::testing::TestWithParam<DialogSpec> {};

std::string SpecName(const ::testing::TestParamInfo<DialogSpec>& info)
{
    return info.param.name;
}

// A dialog built from the spec's template as the program builds it: pages
// inside the main window's tab control, the others on their own.
class LiveDialog {
public:
    explicit LiveDialog(const DialogSpec& spec)
    {
        if (spec.page) {
            host = std::make_unique<PageHost>();
            host->AddPage(dialog, spec.templateId);
        } else {
            dialog.Create(nullptr, spec.templateId);
        }
    }
    ~LiveDialog()
    {
        if (!host)
            DestroyWindow(dialog.hwnd);
    }

    std::vector<HWND> Children() const
    {
        std::vector<HWND> children;
        for (HWND c = GetWindow(dialog.hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            children.push_back(c);
        return children;
    }

    RECT DialogUnits(int x, int y, int w, int h) const
    {
        RECT rect = {x, y, x + w, y + h};
        MapDialogRect(dialog.hwnd, &rect);
        return rect;
    }

    std::unique_ptr<PageHost> host;
    Dialog dialog;
};

RECT RectInParent(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool SameClass(const std::string& a, const char* b)
{
    return _stricmp(a.c_str(), b) == 0;
}

// The bits the design speaks of that a live control keeps. A push button
// with the focus becomes the default button, so the two kinds are one here.
DWORD LiveBits(const std::string& className, DWORD style)
{
    DWORD bits = style & (WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_GROUP | WS_DISABLED);
    if (SameClass(className, "Button")) {
        DWORD type = style & BS_TYPEMASK;
        bits |= type == BS_DEFPUSHBUTTON ? static_cast<DWORD>(BS_PUSHBUTTON) : type;
        bits |= style & BS_CENTER;
    } else if (SameClass(className, "Static")) {
        bits |= style & SS_TYPEMASK;
    } else if (SameClass(className, "SysListView32")) {
        bits |= style & (LVS_TYPEMASK | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SORTASCENDING |
                         LVS_SORTDESCENDING | LVS_ALIGNMASK);
    }
    return bits;
}

}  // namespace

TEST_P(TemplateTest, TemplateHoldsTheDesign)
{
    const DialogSpec& spec = GetParam();
    TemplateDialog found;
    ASSERT_TRUE(ReadDialogTemplate(spec.templateId, &found));
    EXPECT_EQ(spec.style, found.style);
    EXPECT_EQ(spec.exStyle, found.exStyle);
    EXPECT_EQ(0, found.x);
    EXPECT_EQ(0, found.y);
    EXPECT_EQ(spec.w, found.w);
    EXPECT_EQ(spec.h, found.h);
    EXPECT_EQ("", found.menu);
    EXPECT_EQ("", found.className);
    EXPECT_EQ(spec.caption, found.caption);
    EXPECT_EQ(8, found.pointSize);
    EXPECT_EQ("MS Shell Dlg", found.face);

    ASSERT_EQ(spec.controls.size(), found.items.size());
    for (size_t i = 0; i < spec.controls.size(); ++i) {
        const ControlSpec& want = spec.controls[i];
        const TemplateItem& got = found.items[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
        EXPECT_EQ(want.id, got.id);
        EXPECT_TRUE(SameClass(got.className, want.className)) << got.className;
        if (want.text) {
            EXPECT_EQ(want.text, got.text);
            EXPECT_EQ(0, got.textOrdinal);
        } else {
            EXPECT_EQ(want.icon, got.textOrdinal);
        }
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.w, got.w);
        EXPECT_EQ(want.h, got.h);
        EXPECT_EQ(want.style, got.style) << std::hex << (want.style ^ got.style);
        EXPECT_EQ(0u, got.exStyle);
    }
}

TEST_P(TemplateTest, LiveDialogMatchesTheDesign)
{
    const DialogSpec& spec = GetParam();
    LiveDialog live(spec);
    ASSERT_NE(nullptr, live.dialog.hwnd);
    HWND dialog = live.dialog.hwnd;

    EXPECT_EQ(spec.caption, WindowText(dialog));
    EXPECT_FALSE(GetWindowLongA(dialog, GWL_STYLE) & WS_VISIBLE) << "hidden when created";
    if (!spec.page) {
        RECT client, want = live.DialogUnits(0, 0, spec.w, spec.h);
        GetClientRect(dialog, &client);
        EXPECT_EQ(want.right, client.right);
        EXPECT_EQ(want.bottom, client.bottom);
        DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
        DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
        EXPECT_EQ(spec.style & frame, style & frame);
        DWORD exStyle = static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE));
        EXPECT_EQ(spec.exStyle, exStyle & spec.exStyle);
    }

    std::vector<HWND> children = live.Children();
    ASSERT_EQ(spec.controls.size(), children.size());
    for (size_t i = 0; i < spec.controls.size(); ++i) {
        const ControlSpec& want = spec.controls[i];
        HWND control = children[i];
        SCOPED_TRACE("control " + std::to_string(i) + " (id " + std::to_string(want.id) + ")");
        EXPECT_EQ(want.id, GetDlgCtrlID(control));
        EXPECT_TRUE(SameClass(ClassName(control), want.className)) << ClassName(control);
        if (want.text)
            EXPECT_EQ(want.text, WindowText(control));
        else
            EXPECT_NE(0, SendMessageA(control, STM_GETICON, 0, 0)) << "icon " << want.icon;

        // The dialog manager converts position and size each on its own.
        RECT wantPlace = live.DialogUnits(want.x, want.y, 0, 0);
        RECT wantSize = live.DialogUnits(0, 0, want.w, want.h);
        RECT got = RectInParent(control);
        EXPECT_EQ(wantPlace.left, got.left);
        EXPECT_EQ(wantPlace.top, got.top);
        // A static icon takes the size of its image.
        if (want.text) {
            EXPECT_EQ(wantSize.right, got.right - got.left);
            EXPECT_EQ(wantSize.bottom, got.bottom - got.top);
        }
        DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
        // The list view draws its border as a client edge.
        if (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)
            style |= WS_BORDER;
        EXPECT_EQ(LiveBits(want.className, want.style), LiveBits(want.className, style))
            << std::hex << style;
    }
}

// Dark pixels in a bitmap of the given size drawn by paint (background
// already filled with the button face colour).
template <typename Paint>
int DarkPixels(HDC reference, int width, int height, Paint paint)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC dc = CreateCompatibleDC(reference);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    paint(dc);
    GdiFlush();
    int dark = 0;
    const BYTE* p = static_cast<const BYTE*>(bits);
    for (int i = 0; i < width * height; ++i, p += 4)
        dark += p[0] + p[1] + p[2] < 3 * 100;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return dark;
}

// Dark pixels of the control as it shows itself on screen.
int DarkPixelsShown(HWND control)
{
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    testing_support::PumpMessages(20);
    RECT rect;
    GetWindowRect(control, &rect);
    HDC source = GetWindowDC(control);
    int dark = DarkPixels(source, rect.right - rect.left, rect.bottom - rect.top, [&](HDC dc) {
        BitBlt(dc, 0, 0, rect.right - rect.left, rect.bottom - rect.top, source, 0, 0, SRCCOPY);
    });
    ReleaseDC(control, source);
    return dark;
}

// Dark pixels of the text drawn on its own, unclipped, in the control's font.
int DarkPixelsOfText(HWND control, const std::string& text)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    HDC screen = GetDC(nullptr);
    int dark = DarkPixels(screen, 1000, 40, [&](HDC dc) {
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        RECT where = {10, 10, 990, 40};
        DrawTextA(dc, text.c_str(), -1, &where, DT_SINGLELINE);
        SelectObject(dc, old);
    });
    ReleaseDC(nullptr, screen);
    return dark;
}

// Every text must show whole: a label cut off at its control's edge, or
// wrapped onto a line the control has no room for, is a defect a user sees at
// once. The control's own drawing with and without its text tells how much of
// the text it shows.
TEST_P(TemplateTest, EveryTextShowsWhole)
{
    const DialogSpec& spec = GetParam();
    LiveDialog live(spec);
    ASSERT_NE(nullptr, live.dialog.hwnd);
    HWND top = live.host ? live.host->main.hwnd : live.dialog.hwnd;
    if (live.host)
        live.host->ShowPage(0, live.dialog);
    ShowWindow(top, SW_SHOWNOACTIVATE);
    testing_support::PumpMessages(50);

    for (size_t i = 0; i < spec.controls.size(); ++i) {
        const ControlSpec& want = spec.controls[i];
        if (!want.text || !*want.text)
            continue;
        SCOPED_TRACE(want.text);
        HWND control = live.Children()[i];
        int withText = DarkPixelsShown(control);
        SetWindowTextA(control, "");
        int without = DarkPixelsShown(control);
        SetWindowTextA(control, want.text);
        int expected = DarkPixelsOfText(control, want.text);
        ASSERT_GT(expected, 0);
        EXPECT_GE(withText - without, expected * 97 / 100)
            << "shown " << withText - without << " of " << expected << " text pixels";
    }
    ShowWindow(top, SW_HIDE);
}

TEST(MainTemplate, IsCentredOnTheScreenWhenCreated)
{
    Dialog main;
    main.Create(nullptr, 102);
    RECT window, work;
    GetWindowRect(main.hwnd, &window);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int dx = (window.left - work.left) - (work.right - window.right);
    int dy = (window.top - work.top) - (work.bottom - window.bottom);
    EXPECT_LE(abs(dx), 2);
    EXPECT_LE(abs(dy), 2);
    DestroyWindow(main.hwnd);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, TemplateTest, ::testing::ValuesIn(DialogSpecs()), SpecName);
