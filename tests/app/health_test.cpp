// The main window keeps its tray icon through a refused add and a new taskbar,
// and says when the engine cannot watch, on the engine's testable build.
#include "app/main_dialog.h"
#include "app/tray_icon.h"
#include "engine/regwatch_seams.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include "resources/resource.h"

using testing_support::PumpUntil;
using testing_support::WindowText;

namespace {

int addsToRefuse = 0;
std::string lastTip;  // of the latest call that set one

BOOL WINAPI RefusingNotify(DWORD action, PNOTIFYICONDATAA data)
{
    lastTip = data->uFlags & NIF_TIP ? data->szTip : lastTip;
    return action == NIM_ADD && addsToRefuse > 0 ? (addsToRefuse--, FALSE) : Shell_NotifyIconA(action, data);
}

class HealthTest : public ::testing::Test {
protected:
    HealthTest() { trayIconNotify = RefusingNotify; }
    ~HealthTest() override { DestroyWindow(main.hwnd), trayIconNotify = Shell_NotifyIconA, RegWatchSeam_ResetSys(); }
    bool IconShown()  // asked of the shell: a modify that changes nothing fails only for a missing icon
    {
        NOTIFYICONDATAA probe = main.trayIcon->iconData;
        probe.uFlags = 0;
        return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
    }
    HWND Notice() { return GetDlgItem(main.pages.at(0)->hwnd, IDC_WATCH_NOTICE); }
    bool NoticeShown() { return (GetWindowLongA(Notice(), GWL_STYLE) & WS_VISIBLE) != 0; }
    MainDialog main;
};

TEST_F(HealthTest, RefusedAddIsRetriedEverySecondAndANewTaskbarGetsTheIconBack)
{
    addsToRefuse = 2;  // the constructor's add, and the first retry at once
    const DWORD start = GetTickCount();
    main.Create(nullptr, IDD_MAIN);
    EXPECT_FALSE(IconShown());
    ASSERT_TRUE(PumpUntil([&] { return IconShown(); }, 5000)) << "not retried";
    EXPECT_GE(GetTickCount() - start, 900u) << "the retry did not wait its second";
    EXPECT_EQ("Keywarden", lastTip) << "added without its tip";

    NOTIFYICONDATAA gone = main.trayIcon->iconData;  // as Explorer's end takes every icon
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &gone) && !IconShown());
    PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return IconShown(); }, 5000)) << "not added after TaskbarCreated";
    // A broadcast while the icon is there (Windows sends one on a DPI change) keeps it.
    SendMessageA(main.hwnd, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(IconShown() && main.trayIcon->added);
}

TEST_F(HealthTest, WhileNoNotificationCanBeArmedThePageAndTheTipSaySoAndStopOnceWatchingAgain)
{
    RegWatchSeam_Sys()->regNotifyChangeKeyValue = [](HKEY, BOOL, DWORD, HANDLE, BOOL) -> LONG { return 5; };
    main.Create(nullptr, IDD_MAIN);
    EXPECT_FALSE(NoticeShown()) << "shown before the engine said anything";
    ASSERT_TRUE(PumpUntil([&] { return NoticeShown(); }, 5000)) << "no notice while blind";
    EXPECT_EQ("Keywarden cannot watch the registry for changes right now; it keeps trying.", WindowText(Notice()));
    EXPECT_EQ("Keywarden - not watching", lastTip);
    RegWatchSeam_ResetSys();  // the engine tries again every second
    EXPECT_TRUE(PumpUntil([&] { return !NoticeShown(); }, 5000)) << "the notice stayed";
    EXPECT_EQ("Keywarden", lastTip);
}

TEST_F(HealthTest, WatchThreadThatCannotStartIsReportedAsAFailedCreate)
{
    RegWatchSeam_Sys()->createThread = [](LPTHREAD_START_ROUTINE, void*) -> HANDLE { return nullptr; };
    std::string boxes;  // the main window itself may be seen too
    testing_support::DialogAnswerer answer([&](HWND box) {
        if (box != main.hwnd)
            boxes += WindowText(box) + "|" + WindowText(GetDlgItem(box, 0xFFFF)) + "\n", PostMessageA(box, WM_CLOSE, 0, 0);
    });
    main.Create(nullptr, IDD_MAIN);
    EXPECT_EQ("Error|Can't watch the registry because RegWatch_Create() error code\n", boxes);
    EXPECT_TRUE(NoticeShown() && lastTip == "Keywarden - not watching");
    EXPECT_EQ("Keywarden cannot watch the registry for changes.", WindowText(Notice()));
}

}  // namespace
