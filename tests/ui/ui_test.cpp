// The window framework on the real templates; no help file lies beside this executable.
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/htmlhelp.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
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

TEST(Framework, RoutingFromInitDialogRunSkippingFailedFetchesTheWrappersAndHelp) {
    RecordingDialog dialog, modal;
    dialog.Create(nullptr, IDD_MAIN);   // DS_SETFONT: its dialog gets WM_SETFONT, among others, before WM_INITDIALOG
    EXPECT_TRUE(dialog.bound && dialog.messages.at(0) == WM_INITDIALOG) << "first seen: " << dialog.messages.at(0);
    HWND bare = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_ALERT), nullptr, &StaticDialogProc, 0);
    EXPECT_TRUE(bare && !GetWindowLongPtrA(bare, GWLP_USERDATA) && DestroyWindow(bare)) << "not made, or bound with no object";
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
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    for (int failing : {1, 1000}) {   // the registered file will not load; then no file will
        loads.clear(), loadsToFail = failing, loader() = std::make_tuple(nullptr, nullptr, 0, &RecordingLoad);
        CallHtmlHelp(nullptr, nullptr, HH_INITIALIZE, 0), CallHtmlHelp(GetDesktopWindow(), theApp.helpPath, HH_DISPLAY_TOPIC, 0);
        EXPECT_EQ("2 " + std::string(system) + "\\hhctrl.ocx",   // the registered file, the system folder's, no more
                  std::to_string(loads.size()) + " " + (loads.empty() ? "" : loads.back())) << failing;
    }
    loader() = program;
    const std::string exe = ModulePath(), help = exe.substr(0, exe.rfind('.')) + ".chm";
    std::vector<std::string> boxes;
    DialogAnswerer answer([&](HWND box) {
        boxes.push_back(WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF))), PostMessageA(box, WM_CLOSE, 0, 0);
    });
    theApp.ShowHelp(), theApp.ShowHelp();
    EXPECT_EQ(boxes, std::vector<std::string>(2, "Disaster|Can't open the help file " + help));
}
