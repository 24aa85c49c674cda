// The dialog templates and icons in the resources, as the system builds and draws them,
// against the design; and a picture of each dialog in <build>/screenshots/ to look over.
#include "ui/controls.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

const DWORD kChild = WS_CHILD | WS_VISIBLE, kText = kChild | SS_LEFT, kIcon = kChild | SS_ICON;
const DWORD kTab = kChild | WS_TABSTOP, kButton = kTab | BS_PUSHBUTTON, kCheckBox = kTab | BS_AUTOCHECKBOX;

struct ControlSpec { int id; const char* className; const char* text; int x, y, w, h; DWORD style; };

// The design in tab order: text null for an icon, x to h in dialog units, tab the page's tab (-1: none).
const struct { const char *name, *caption; int templateId, tab; std::vector<ControlSpec> controls; } kDialogs[] = {
    {"main", "Keywarden", IDD_MAIN, -1,
     {{IDC_OK, "Button", "OK", 108, 220, 50, 16, kButton},
      {IDC_HELP_BUTTON, "Button", "&Help", 324, 220, 50, 16, kButton},
      {IDC_TABS, "SysTabControl32", "", 7, 7, 501, 203, kChild}}},
    {"main-changes", "", IDD_CHANGES_PAGE, 0,
     {{IDC_VALUE_LIST, "SysListView32", "", 32, 31, 440, 120,
       kTab | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT},
      {IDC_DELETE, "Button", "Delete", 169, 159, 50, 16, kButton},
      {IDC_REGEDIT, "Button", "Registry editor", 226, 159, 60, 16, kButton | BS_CENTER},
      {IDC_REVERT, "Button", "Revert", 113, 159, 50, 16, kButton},
      {IDC_ONLY_SHOW_CHANGES, "Button", "Only show changes", 33, 15, 78, 10, kCheckBox},
      {IDC_RESET_ALARM, "Button", "Reset Alarm", 31, 159, 75, 16, kButton}}},
    {"main-options", "", IDD_OPTIONS_PAGE, 1,
     {{IDC_POPUP_ALERT, "Button", "Pop-up alert dialog", 20, 15, 76, 10, kCheckBox},
      {IDC_AUTOSTART, "Button", "Autostart Keywarden when the computer starts", 20, 29, 167, 10, kCheckBox},
      {IDC_NO_FLASH, "Button", "Do not flash the tray icon", 20, 43, 97, 10, kCheckBox}}},
    {"main-about", "", IDD_ABOUT_PAGE, 2,
     {{IDC_STATIC, "Static", nullptr, 23, 18, 20, 20, kIcon},
      {IDC_PRODUCT_NAME, "Static", "Keywarden", 47, 18, 35, 8, kText},
      {IDC_STATIC, "Static", "Version 1. 3", 47, 28, 42, 8, kText},   // widened from 39 to show whole
      {IDC_STATIC, "Static", "Copyright (C) 2026 Keywarden", 23, 63, 116, 8, kText},
      {IDC_STATIC, "Static", "keywarden.example.org", 23, 90, 80, 8, kText}}},
    {"alert", "Keywarden - Change Alert", IDD_ALERT, -1,
     {{IDC_SHOW_CHANGES, "Button", "Show Changes", 40, 146, 56, 14, kTab | BS_DEFPUSHBUTTON},
      {IDC_RESET_ALARM, "Button", "Reset Alarm", 236, 146, 58, 14, kButton},
      {IDC_STATIC, "Static", "Changes to the registry!", 123, 78, 86, 8, kText},   // widened from 80
      {IDC_STATIC, "Static", nullptr, 150, 42, 20, 20, kIcon},
      {IDC_GO_AWAY, "Button", "Go Away", 137, 146, 58, 14, kButton},
      {IDC_DO_NOT_SHOW, "Button", "Do not show this dialog again", 39, 115, 109, 10, kCheckBox}}},
};

// The pixels (BGRA, rows top-down) of what paint draws over background.
static std::vector<DWORD> Draw(int width, int height, COLORREF background, const std::function<void(HDC)>& paint)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateBitmap(width, height, 1, 32, nullptr);
    SelectObject(dc, bitmap);
    SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCBrushColor(dc, background);
    PatBlt(dc, 0, 0, width, height, PATCOPY);
    paint(dc);
    std::vector<DWORD> pixels(static_cast<size_t>(width * height));
    GetBitmapBits(bitmap, static_cast<LONG>(pixels.size() * sizeof(DWORD)), pixels.data());
    DeleteDC(dc);
    DeleteObject(bitmap);
    return pixels;
}

TEST(Templates, EachDialogShowsTheDesignWithEveryTextWhole)
{
    using namespace testing_support;
    for (const auto& spec : kDialogs) {
        SCOPED_TRACE(spec.name);
        Dialog frame, dialog;
        TabControl tabs;
        if (spec.tab < 0) {
            dialog.Create(nullptr, spec.templateId);
        } else {   // as the main window shows a page: in its tab control, on its tab
            frame.Create(nullptr, IDD_MAIN);
            tabs.Create(&frame, IDC_TABS);
            for (const char* name : {"Main", "Options", "About"}) {
                TCITEMA item = {TCIF_TEXT, 0, 0, const_cast<char*>(name), 0, 0, 0};
                tabs.InsertItem(static_cast<int>(tabs.Send(TCM_GETITEMCOUNT, 0, 0)), &item);
            }
            tabs.Send(TCM_SETCURSEL, static_cast<WPARAM>(spec.tab), 0);
            RECT area;
            tabs.GetClientRect(&area);
            tabs.AdjustRect(FALSE, &area);
            dialog.Create(&tabs, spec.templateId);
            MoveWindow(dialog.hwnd, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
            dialog.Show(SW_SHOW);
        }
        HWND top = frame.hwnd ? frame.hwnd : dialog.hwnd, control = GetWindow(dialog.hwnd, GW_CHILD);
        ShowWindow(top, SW_SHOWNOACTIVATE);
        EXPECT_EQ(spec.caption, WindowText(dialog.hwnd));
        for (const ControlSpec& want : spec.controls) {
            SCOPED_TRACE(want.text ? want.text : "icon");
            ASSERT_NE(nullptr, control) << "too few controls";
            EXPECT_EQ(want.id, GetDlgCtrlID(control));
            EXPECT_EQ(0, lstrcmpiA(want.className, ClassName(control).c_str())) << ClassName(control);
            // A border may be drawn as a client edge; the tab control clips its siblings.
            DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE) & ~WS_CLIPSIBLINGS) |
                          (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE ? WS_BORDER : 0);
            EXPECT_EQ(want.style, style) << std::hex << style;
            RECT du = {want.x, want.y, want.w, want.h}, got;   // mapped field by field, as the dialogs are
            MapDialogRect(dialog.hwnd, &du);
            GetWindowRect(control, &got);
            MapWindowPoints(nullptr, dialog.hwnd, reinterpret_cast<POINT*>(&got), 2);
            EXPECT_EQ(du.left, got.left);
            EXPECT_EQ(du.top, got.top);
            EXPECT_TRUE(want.text || SendMessageA(control, STM_GETICON, 0, 0)) << "an icon shows none";
            if (want.text) {   // an icon takes the size of its image
                EXPECT_EQ(want.text, WindowText(control));
                EXPECT_EQ(du.right, got.right - got.left);
                EXPECT_EQ(du.bottom, got.bottom - got.top);
            }
            if (want.text && *want.text) {
                // The text shows whole: it adds nearly as many dark pixels to the
                // control's drawing as to that of the control made wide.
                auto ink = [&](int width, const char* text) {
                    SetWindowPos(control, nullptr, 0, 0, width, du.bottom, SWP_NOMOVE | SWP_NOZORDER);
                    SetWindowTextA(control, text);
                    auto pixels = Draw(width, du.bottom, GetSysColor(COLOR_BTNFACE), [&](HDC dc) {
                        SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
                    });
                    return std::count_if(pixels.begin(), pixels.end(), [](DWORD p) { return !(p & 0x808080); });
                };
                auto whole = ink(1000, ""), shown = ink(du.right, "");
                whole = ink(1000, want.text) - whole;
                shown = ink(du.right, want.text) - shown;
                EXPECT_TRUE(whole > 0 && shown >= whole * 97 / 100) << "shown " << shown << " of " << whole;
            }
            control = GetWindow(control, GW_HWNDNEXT);
        }
        EXPECT_EQ(nullptr, control) << "too many controls";
        EXPECT_NE("", SaveScreenshot(top, spec.name));
        DestroyWindow(top);
    }
}

TEST(Icons, EachLoadsAtSixteenAndThirtyTwoAndOnlyTheBlankOneLetsEveryPixelThrough)
{
    for (int id : {IDI_KEYWARDEN, IDI_WARNING, IDI_BLANK}) {
        for (int size : {16, 32}) {
            SCOPED_TRACE(std::to_string(id) + " at " + std::to_string(size));
            HICON icon = static_cast<HICON>(   // not shared: a shared icon keeps its first size
                LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(nullptr, icon);
            const std::vector<DWORD> white(static_cast<size_t>(size * size), 0xFFFFFF), black(white.size(), 0);
            auto draw = [&](HDC dc) { DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL); };
            bool clear = Draw(size, size, 0xFFFFFF, draw) == white && Draw(size, size, 0, draw) == black;
            EXPECT_EQ(id == IDI_BLANK, clear) << "only the blank icon lets every pixel through";
            DestroyIcon(icon);
        }
    }
}
