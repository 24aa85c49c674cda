// The window framework: message routing and loop, the control wrappers on the
// real templates' controls, and help (no help file lies beside this executable).
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/htmlhelp.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <htmlhelp.h>
#include <shlwapi.h>
#include <algorithm>
#include <tuple>

App theApp;   // its construction (help path, library loaded at start) is under test too

namespace {

// Records what its object sees, and whether it was bound at WM_INITDIALOG.
class RecordingDialog : public Dialog {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.push_back(message);
        if (message != WM_INITDIALOG)
            return Dialog::WindowProc(message, wParam, lParam);
        bound = hwnd && GetWindowLongPtrA(hwnd, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this);
        return 1;
    }
    ~RecordingDialog() { DestroyWindow(hwnd); }
    auto Count(UINT message) const { return std::count(messages.begin(), messages.end(), message); }
    std::vector<UINT> messages;
    bool bound = false;
};

// Fails the first fetches, leaving in the message one that must not be dispatched.
int fetchFailuresLeft = 0;
MSG decoy;

BOOL WINAPI FailingThenRealGetMessage(LPMSG message, HWND window, UINT first, UINT last)
{
    if (fetchFailuresLeft-- <= 0)
        return GetMessageA(message, window, first, last);
    *message = decoy;
    return -1;
}

std::vector<std::string> loads;
int loadsToFail = 0;

HMODULE WINAPI RecordingLoad(LPCSTR path)
{
    loads.push_back(path);
    return loadsToFail-- > 0 ? nullptr : LoadLibraryA(path);
}

}  // namespace

// A DS_SETFONT template has its dialog get WM_SETFONT, among others, before WM_INITDIALOG.
TEST(DialogRouting, DialogObjectSeesNothingBeforeInitDialogAndIsBoundOnlyWhenGiven)
{
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_ALERT);
    EXPECT_EQ(static_cast<UINT>(WM_INITDIALOG), dialog.messages.at(0));
    EXPECT_TRUE(dialog.bound);
    HWND bare = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ALERT), nullptr,
                                   &StaticDialogProc, 0);   // no object to bind
    ASSERT_NE(nullptr, bare);
    EXPECT_EQ(0, GetWindowLongPtrA(bare, GWLP_USERDATA));
    DestroyWindow(bare);
}

TEST(DialogRouting, AttachedWindowLeavesAButtonAsItWasAndAttachingToNothingChangesNothing)
{
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_MAIN);
    HWND button = GetDlgItem(dialog.hwnd, IDC_OK);
    WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(button, GWLP_WNDPROC));
    Window okButton, unbound, missing;
    ASSERT_EQ(1, okButton.Create(&dialog, IDC_OK));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&StaticWindowProc), GetWindowLongPtrA(button, GWLP_WNDPROC));
    EXPECT_EQ(CallWindowProcA(own, button, WM_GETDLGCODE, 0, 0), SendMessageA(button, WM_GETDLGCODE, 0, 0));
    SendMessageA(button, BM_CLICK, 0, 0);
    EXPECT_TRUE(testing_support::PumpUntil([&] { return dialog.Count(WM_COMMAND) > 0; }, 2000));
    EXPECT_EQ(0, missing.Create(&dialog, 4242));
    EXPECT_EQ(0, missing.Create(&unbound, IDC_OK));
    EXPECT_EQ(0, missing.Create(nullptr, IDC_OK));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&okButton), GetWindowLongPtrA(button, GWLP_USERDATA));
}

TEST(DialogRouting, UnhandledCloseEndsAModalDialogWithZero)
{
    RecordingDialog dialog;
    testing_support::ThreadTimer close(50, [&] { dialog.Post(WM_CLOSE, 0, 0); });
    testing_support::ThreadTimer rescue(5000, [&] { dialog.End(-1); });
    EXPECT_EQ(0, dialog.RunModal(IDD_ALERT, nullptr));
}

TEST(MessageLoop, RunSkipsFailedFetchesAndReturnsOnQuit)
{
    RecordingDialog dialog;
    dialog.Create(nullptr, IDD_ALERT);
    decoy = {dialog.hwnd, WM_APP + 1, 0, 0, 0, {0, 0}};
    dialog.Post(WM_APP, 0, 0);
    testing_support::ThreadTimer quit(100, [] { PostQuitMessage(0); });
    fetchFailuresLeft = 2;
    appGetMessage = &FailingThenRealGetMessage;
    theApp.Run();
    appGetMessage = nullptr;
    EXPECT_LT(fetchFailuresLeft, 0);
    EXPECT_EQ(1, dialog.Count(WM_APP));
    EXPECT_EQ(0, dialog.Count(WM_APP + 1));
}

TEST(Controls, CheckBoxAndListViewOnTheChangesPage)
{
    RecordingDialog main;
    Dialog changes;
    main.Create(nullptr, IDD_MAIN);
    changes.Create(&main, IDD_CHANGES_PAGE);
    CheckBox box;
    ASSERT_EQ(1, box.Create(&changes, IDC_ONLY_SHOW_CHANGES));
    for (int flag : {2, 0, -1, 0}) {
        box.SetCheck(flag);
        EXPECT_EQ(flag ? 1 : 0, box.IsChecked()) << flag;
    }
    box.Send(BM_SETSTYLE, BS_AUTO3STATE, FALSE);   // only a three-state box keeps the third state
    box.Send(BM_SETCHECK, BST_INDETERMINATE, 0);
    ASSERT_EQ(BST_INDETERMINATE, box.Send(BM_GETCHECK, 0, 0));
    EXPECT_EQ(0, box.IsChecked());
    ListView list, notAList;
    ASSERT_EQ(1, list.Create(&changes, IDC_VALUE_LIST));
    EXPECT_EQ(CLR_NONE, static_cast<COLORREF>(list.Send(LVM_GETTEXTBKCOLOR, 0, 0)));
    EXPECT_EQ(1, notAList.Create(&changes, IDC_DELETE)) << "a button rejects the colour";
    list.SetExtendedStyle(LVS_EX_GRIDLINES);
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_GRIDLINES), list.SetExtendedStyle(LVS_EX_HEADERDRAGDROP));
    EXPECT_EQ(LVS_EX_HEADERDRAGDROP, list.Send(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    LVITEMA item = {LVIF_PARAM, 0, 0, 0, 0, nullptr, 0, 0, 0x5A5A, 0, 0, 0, nullptr, nullptr, 0};
    ASSERT_EQ(0, list.Send(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(0x5A5A, list.GetItemParam(0));
    EXPECT_EQ(0, list.GetItemParam(1));
}

TEST(HelpPath, ReplacesOnlyTheLastExtensionAndNeverWritesPastTheBuffer)
{
    const struct { const char* module; DWORD size; const char* want; } cases[] = {   // want "": does not fit
        {"C:\\my.tools\\v1.3\\keywarden", 260, "C:\\my.tools\\v1.3\\keywarden.chm"},
        {"C:\\my.tools\\keywarden.v2.exe", 260, "C:\\my.tools\\keywarden.v2.chm"},
        {"C:\\Tools\\keywarden", 23, "C:\\Tools\\keywarden.chm"},
        {"C:\\Tools\\keywarden", 22, ""},
        {"C:\\Tools\\keywarden.exe", 22, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.module) + " into " + std::to_string(c.size));
        std::vector<char> buffer(c.size + 1, '#');
        EXPECT_EQ(*c.want ? 1 : 0, BuildHelpPath(c.module, buffer.data(), c.size));
        EXPECT_STREQ(c.want, buffer.data());
        EXPECT_EQ('#', buffer[c.size]) << "wrote past the buffer";
    }
}

TEST(HelpLoader, FallsBackToTheSystemFoldersLibraryAndNeverLoadsTwice)
{
    auto loader = [] { return std::tie(htmlHelpModule, htmlHelpEntry, htmlHelpFailed, htmlHelpLoadLibrary); };
    const std::tuple<HMODULE, HtmlHelpEntry, int, HMODULE(WINAPI*)(LPCSTR)> program = loader();
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    for (int failing : {1, 1000}) {   // the registered file will not load; then no file will
        SCOPED_TRACE(failing);
        loads.clear();
        loadsToFail = failing;
        loader() = std::make_tuple(nullptr, nullptr, 0, &RecordingLoad);
        CallHtmlHelp(nullptr, nullptr, HH_INITIALIZE, 0);
        CallHtmlHelp(GetDesktopWindow(), theApp.helpPath, HH_DISPLAY_TOPIC, 0);
        EXPECT_EQ(2u, loads.size()) << "the registered file, then the system folder's; no more";
        EXPECT_EQ(std::string(system) + "\\hhctrl.ocx", loads.empty() ? "" : loads.back());
    }
    loader() = program;
}

TEST(ShowHelp, MissingFileSaysDisasterWithTheFullPathEveryTime)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    strcpy(PathFindExtensionA(path), ".chm");
    testing_support::DialogAnswerer answer(IDOK);
    theApp.ShowHelp();
    theApp.ShowHelp();
    ASSERT_EQ(2u, answer.seen.size());
    for (const auto& box : answer.seen) {
        EXPECT_EQ("Disaster", box.caption);
        EXPECT_EQ(std::string("Can't open the help file ") + path, box.text);
    }
}
