// The window framework on the real resources; no help file lies beside this executable.
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/htmlhelp.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include <gtest/gtest.h>
#include <htmlhelp.h>
#include <algorithm>

App theApp;   // its construction (help path, library loaded at start) is under test too
using namespace testing_support;

struct RecordingDialog : Dialog {   // records what its object sees; bound: at WM_INITDIALOG
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        bound = bound || (message == WM_INITDIALOG && GetWindowLongPtrA(hwnd, GWLP_USERDATA) == LONG_PTR(this));
        return message == WM_INITDIALOG ? 1 : Dialog::WindowProc(message, wParam, lParam);
    }
    ~RecordingDialog() override { DestroyWindow(hwnd); }
    int Count(UINT message) const { return static_cast<int>(std::count(messages.begin(), messages.end(), message)); }
    std::vector<UINT> messages;   bool bound = false;
};

static int fetchFailuresLeft = 0, loadsToFail = 0;
static MSG decoy;   // left in the message by a failed fetch: not to be dispatched
static std::vector<std::string> loads;
static BOOL WINAPI FailingGetMessage(LPMSG message, HWND window, UINT first, UINT last)
{ return fetchFailuresLeft-- > 0 ? (*message = decoy, -1) : GetMessageA(message, window, first, last); }
static HMODULE WINAPI RecordingLoad(LPCSTR path) { return loads.push_back(path), loadsToFail-- > 0 ? nullptr : LoadLibraryA(path); }

static std::vector<DWORD> Draw(int width, int height, COLORREF background, const std::function<void(HDC)>& paint) {
    HDC dc = CreateCompatibleDC(nullptr);   // the pixels (BGRA, rows top-down) of what paint draws over background
    HBITMAP bitmap = CreateBitmap(width, height, 1, 32, nullptr);
    SelectObject(dc, bitmap), SelectObject(dc, GetStockObject(DC_BRUSH)), SetDCBrushColor(dc, background);
    PatBlt(dc, 0, 0, width, height, PATCOPY), paint(dc);
    std::vector<DWORD> pixels(static_cast<size_t>(width * height));
    GetBitmapBits(bitmap, static_cast<LONG>(pixels.size() * sizeof(DWORD)), pixels.data());
    return DeleteDC(dc), DeleteObject(bitmap), pixels;
}

TEST(Framework, RoutingFromInitDialogRunSkippingFailedFetchesTheWrappersAndHelp) {
    RecordingDialog dialog, modal;
    dialog.Create(nullptr, IDD_MAIN);   // DS_SETFONT: its dialog gets WM_SETFONT, among others, before WM_INITDIALOG
    EXPECT_TRUE(dialog.bound && dialog.messages.at(0) == WM_INITDIALOG) << "first seen: " << dialog.messages.at(0);
    HWND bare = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_ALERT), nullptr, &StaticDialogProc, 0);
    EXPECT_TRUE(bare && !GetWindowLongPtrA(bare, GWLP_USERDATA)) << "not made, or bound with no object";
    DestroyWindow(bare);
    HWND button = GetDlgItem(dialog.hwnd, IDC_OK);
    WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(button, GWLP_WNDPROC));
    Window okButton, unbound, missing;
    ASSERT_EQ(1, okButton.Create(&dialog, IDC_OK));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&StaticWindowProc), GetWindowLongPtrA(button, GWLP_WNDPROC));
    EXPECT_EQ(CallWindowProcA(own, button, WM_GETDLGCODE, 0, 0), SendMessageA(button, WM_GETDLGCODE, 0, 0));
    SendMessageA(button, BM_CLICK, 0, 0);   // reaches the dialog
    EXPECT_TRUE(PumpUntil([&] { return dialog.Count(WM_COMMAND) > 0; }, 2000));
    EXPECT_EQ(0, missing.Create(&dialog, 4242) + missing.Create(&unbound, IDC_OK) + missing.Create(nullptr, IDC_OK));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&okButton), GetWindowLongPtrA(button, GWLP_USERDATA));
    ThreadTimer close(50, [&] { modal.Post(WM_CLOSE, 0, 0); }), rescue(5000, [&] { modal.End(-1); });
    EXPECT_EQ(0, modal.RunModal(IDD_ALERT, nullptr)) << "after an unhandled WM_CLOSE";
    Dialog changes;
    CheckBox box;   ListView list;
    changes.Create(&dialog, IDD_CHANGES_PAGE);
    ASSERT_EQ(2, box.Create(&changes, IDC_ONLY_SHOW_CHANGES) + list.Create(&changes, IDC_VALUE_LIST));
    box.Send(BM_SETSTYLE, BS_AUTO3STATE, FALSE), box.Send(BM_SETCHECK, BST_INDETERMINATE, 0);   // kept by 3-state boxes
    ASSERT_EQ(BST_INDETERMINATE, box.Send(BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, box.IsChecked()) << "indeterminate";
    EXPECT_EQ(LVS_EX_GRIDLINES, (list.SetExtendedStyle(LVS_EX_GRIDLINES), list.SetExtendedStyle(LVS_EX_HEADERDRAGDROP)));
    EXPECT_EQ(LVS_EX_HEADERDRAGDROP, list.Send(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    LVITEMA item = {LVIF_PARAM, 0, 0, 0, 0, nullptr, 0, 0, 0x5A5A, 0, 0, 0, nullptr, nullptr, 0};
    ASSERT_EQ(0, list.Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(std::make_pair(LPARAM{0x5A5A}, LPARAM{0}), std::make_pair(list.GetItemParam(0), list.GetItemParam(1)));
    decoy = {dialog.hwnd, WM_APP + 1, 0, 0, 0, {0, 0}}, dialog.Post(WM_APP, 0, 0);
    ThreadTimer quit(100, [] { PostQuitMessage(0); });
    fetchFailuresLeft = 2, appGetMessage = &FailingGetMessage;
    theApp.Run(), appGetMessage = nullptr;
    EXPECT_EQ(std::make_tuple(true, 1, 0), std::make_tuple(fetchFailuresLeft < 0, dialog.Count(WM_APP), dialog.Count(WM_APP + 1)));
    const struct { const char* module; DWORD size; const char* want; } cases[] = {   // want "": does not fit
        {"C:\\my.tools\\v1.3\\keywarden", 260, "C:\\my.tools\\v1.3\\keywarden.chm"},
        {"C:\\my.tools\\keywarden.v2.exe", 260, "C:\\my.tools\\keywarden.v2.chm"},
        {"C:\\Tools\\keywarden", 23, "C:\\Tools\\keywarden.chm"}, {"C:\\Tools\\keywarden.exe", 22, ""}};
    for (const auto& c : cases) {   // '#' after the buffer: nothing written past it
        std::vector<char> buffer(c.size + 1, '#');
        EXPECT_EQ(*c.want ? 1 : 0, BuildHelpPath(c.module, buffer.data(), c.size)) << c.module;
        EXPECT_EQ(std::string(c.want) + "#", buffer.data() + std::string(1, buffer[c.size])) << c.size;
    }
    auto loader = [] { return std::tie(htmlHelpModule, htmlHelpEntry, htmlHelpFailed, htmlHelpLoadLibrary); };
    const std::tuple<HMODULE, HtmlHelpEntry, int, HMODULE(WINAPI*)(LPCSTR)> program = loader();
    char system[MAX_PATH] = "", path[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    for (int failing : {1, 1000}) {   // the registered file will not load; then no file will
        loads.clear(), loadsToFail = failing, loader() = std::make_tuple(nullptr, nullptr, 0, &RecordingLoad);
        CallHtmlHelp(nullptr, nullptr, HH_INITIALIZE, 0), CallHtmlHelp(GetDesktopWindow(), theApp.helpPath, HH_DISPLAY_TOPIC, 0);
        EXPECT_EQ("2 " + std::string(system) + "\\hhctrl.ocx",   // the registered file, the system folder's, no more
                  std::to_string(loads.size()) + " " + (loads.empty() ? "" : loads.back())) << failing;
    }
    loader() = program;
    GetModuleFileNameA(nullptr, path, sizeof path);
    strcpy(strrchr(path, '.'), ".chm");
    DialogAnswerer answer(IDOK);
    theApp.ShowHelp(), theApp.ShowHelp();
    ASSERT_EQ(2u, answer.seen.size());
    for (const auto& seen : answer.seen)
        EXPECT_EQ("Disaster|Can't open the help file " + std::string(path), seen.caption + "|" + seen.text);
}

const DWORD kChild = WS_CHILD | WS_VISIBLE, kText = kChild | SS_LEFT, kIcon = kChild | SS_ICON, kTab = kChild | WS_TABSTOP;
const DWORD kButton = kTab | BS_PUSHBUTTON, kCheck = kTab | BS_AUTOCHECKBOX, kList = kTab | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT;
const char *kB = "Button", *kS = "Static";
struct ControlSpec { int id; const char *className, *text; int x, y, w, h; DWORD style; };   // text null: an icon

const struct { const char *name, *caption; int templateId; bool page; std::vector<ControlSpec> controls; } kDialogs[] = {
    {"main", "Keywarden", IDD_MAIN, false, {{IDC_OK, kB, "OK", 108, 220, 50, 16, kButton},   // in tab order, in DUs
     {IDC_HELP_BUTTON, kB, "&Help", 324, 220, 50, 16, kButton}, {IDC_TABS, "SysTabControl32", "", 7, 7, 501, 203, kChild}}},
    {"main-changes", "", IDD_CHANGES_PAGE, true, {{IDC_VALUE_LIST, "SysListView32", "", 32, 31, 440, 120, kList},
      {IDC_DELETE, kB, "Delete", 169, 159, 50, 16, kButton}, {IDC_REGEDIT, kB, "Registry editor", 226, 159, 60, 16, kButton | BS_CENTER},
      {IDC_REVERT, kB, "Revert", 113, 159, 50, 16, kButton},
      {IDC_ONLY_SHOW_CHANGES, kB, "Only show changes", 33, 15, 78, 10, kCheck},
      {IDC_RESET_ALARM, kB, "Reset Alarm", 31, 159, 75, 16, kButton},   // the notice: hidden until needed
      {IDC_WATCH_NOTICE, kS, "Keywarden cannot watch the registry for changes right now; it keeps trying.", 120, 16, 352, 8, WS_CHILD}}},
    {"main-options", "", IDD_OPTIONS_PAGE, true, {{IDC_POPUP_ALERT, kB, "Pop-up alert dialog", 20, 15, 76, 10, kCheck},
     {IDC_AUTOSTART, kB, "Autostart Keywarden when the computer starts", 20, 29, 167, 10, kCheck},
     {IDC_NO_FLASH, kB, "Do not flash the tray icon", 20, 43, 97, 10, kCheck},
     {IDC_KEEP_JOURNAL, kB, "Keep a journal of changes", 20, 57, 100, 10, kCheck},
     {IDC_OPEN_JOURNAL, kB, "Open journal folder", 20, 71, 80, 14, kButton},
     {IDC_JOURNAL_PROBLEM, kS, "", 20, 91, 210, 40, kText}}},
    {"main-about", "", IDD_ABOUT_PAGE, true, {{IDC_STATIC, kS, nullptr, 23, 18, 20, 20, kIcon},
     {IDC_PRODUCT_NAME, kS, "Keywarden", 47, 18, 35, 8, kText}, {IDC_STATIC, kS, "Version 1. 3", 47, 28, 42, 8, kText},
     {IDC_STATIC, kS, "Copyright (C) 2026 Keywarden", 23, 63, 116, 8, kText},
     {IDC_STATIC, kS, "keywarden.example.org", 23, 90, 80, 8, kText}}},   // version widened from 39 to show whole
    {"alert", "Keywarden - Change Alert", IDD_ALERT, false,
     {{IDC_SHOW_CHANGES, kB, "Show Changes", 40, 146, 56, 14, kTab | BS_DEFPUSHBUTTON},
      {IDC_RESET_ALARM, kB, "Reset Alarm", 236, 146, 58, 14, kButton},
      {IDC_STATIC, kS, "Changes to the registry!", 123, 78, 86, 8, kText},   // widened from 80
      {IDC_STATIC, kS, nullptr, 150, 42, 20, 20, kIcon}, {IDC_GO_AWAY, kB, "Go Away", 137, 146, 58, 14, kButton},
      {IDC_DO_NOT_SHOW, kB, "Do not show this dialog again", 39, 115, 109, 10, kCheck}}},
};

TEST(Resources, DialogsShowTheDesignWithEveryTextWholeAndTheBlankIconLetsEveryPixelThrough) {
    for (const auto& spec : kDialogs) {
        Dialog frame, dialog;
        TabControl tabs;
        RECT area;
        if (spec.page) {   // as the main window shows a page: in its tab control, under its tab
            TCITEMA item = {TCIF_TEXT, 0, 0, const_cast<char*>(spec.name), 0, 0, 0};
            frame.Create(nullptr, IDD_MAIN), tabs.Create(&frame, IDC_TABS), tabs.InsertItem(0, &item);
            tabs.GetClientRect(&area), tabs.AdjustRect(FALSE, &area), dialog.Create(&tabs, spec.templateId);
            MoveWindow(dialog.hwnd, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
        }
        spec.page ? dialog.Show(SW_SHOW) : dialog.Create(nullptr, spec.templateId);
        HWND top = frame.hwnd ? frame.hwnd : dialog.hwnd, control = GetWindow(dialog.hwnd, GW_CHILD);
        ShowWindow(top, SW_SHOWNOACTIVATE);
        EXPECT_EQ(spec.caption, WindowText(dialog.hwnd));
        for (const ControlSpec& want : spec.controls) {
            SCOPED_TRACE(std::string(spec.name) + ": " + (want.text ? want.text : "icon"));
            ASSERT_NE(nullptr, control) << "too few controls";
            DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE) & ~WS_CLIPSIBLINGS) |   // tabs clip
                          (GetWindowLongA(control, GWL_EXSTYLE) & WS_EX_CLIENTEDGE ? WS_BORDER : 0);   // a border
            RECT du = {want.x, want.y, want.w, want.h}, got;   // mapped field by field, as the dialogs are
            MapDialogRect(dialog.hwnd, &du), GetWindowRect(control, &got);
            MapWindowPoints(nullptr, dialog.hwnd, reinterpret_cast<POINT*>(&got), 2);
            EXPECT_EQ(std::make_tuple(want.id, want.style, du.left, du.top, want.className), std::make_tuple(GetDlgCtrlID(
                control), style, got.left, got.top, lstrcmpiA(want.className, ClassName(control).c_str()) ? ClassName(control) : want.className));
            if (!want.text)   // an icon takes the size of its image
                EXPECT_NE(0, SendMessageA(control, STM_GETICON, 0, 0)) << "an icon shows none";
            else
                EXPECT_EQ(std::make_tuple(std::string(want.text), du.right, du.bottom),
                          std::make_tuple(WindowText(control), got.right - got.left, got.bottom - got.top));
            auto ink = [&](int width, const char* text) {   // dark pixels in the control's drawing
                SetWindowPos(control, nullptr, 0, 0, width, du.bottom, SWP_NOMOVE | SWP_NOZORDER), SetWindowTextA(control, text);
                auto pixels = Draw(width, du.bottom, GetSysColor(COLOR_BTNFACE), [&](HDC dc) {
                    SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
                return std::count_if(pixels.begin(), pixels.end(), [](DWORD p) { return !(p & 0x808080); });
            };
            if (want.text && *want.text) {   // shown whole: nearly as much ink as in the control made wide; last, as designed
                const std::ptrdiff_t v[] = {ink(1000, ""), ink(1000, want.text), ink(du.right, ""), ink(du.right, want.text)};
                EXPECT_TRUE(v[1] > v[0] && v[3] - v[2] >= (v[1] - v[0]) * 97 / 100) << v[3] - v[2] << " of " << v[1] - v[0];
            }
            control = GetWindow(control, GW_HWNDNEXT);
        }
        EXPECT_EQ(nullptr, control) << spec.name << ": too many controls";
        EXPECT_NE("", SaveScreenshot(top, spec.name));
        DestroyWindow(top);
    }
    for (int size : {16, 32}) {   // not shared: a shared icon keeps its first size
        HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_BLANK), IMAGE_ICON, size, size, 0));
        const std::vector<DWORD> white(static_cast<size_t>(size * size), 0xFFFFFF), black(white.size(), 0);
        auto draw = [&](HDC dc) { DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL); };
        EXPECT_TRUE(icon && Draw(size, size, 0xFFFFFF, draw) == white && Draw(size, size, 0, draw) == black) << size;
        DestroyIcon(icon);
    }
}
