// What the Changes page does with the tray icon and the alert when the
// registry changes, none of which can be seen from outside the process.
#include "tests/pages/page_fixture.h"

#include "app/settings.h"
#include "tests/support/test_support.h"
#include "ui/app.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <string>

using testing_support::DialogAnswerer;
using testing_support::PumpMessages;
using testing_support::PumpUntil;

namespace {

const std::string kHkcuRun = std::string("HKCU \"") + kwtest::kRunKey + "\" ";

int WriteValue(const std::string& name, const std::string& text)
{
    return kwtest::RunWriter(kHkcuRun + "set " + name + " \"" + text + "\"");
}

// Stands in for the main window and counts MSG_SHOW_PAGE.
int showPageCount = 0;
WPARAM lastShowPageTab = 99;

LRESULT CALLBACK RecordShowPage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MSG_SHOW_PAGE) {
        ++showPageCount;
        lastShowPageTab = wParam;
        return 1;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

TEST_F(ChangesPageTest, ChangeStartsFlashingUnlessNoTrayIconFlashIsSetAtThatChange)
{
    OpenPage();
    EXPECT_EQ(tray->starts, 0);

    ASSERT_EQ(WriteValue("KwPageFlashA", "one"), 0);
    ASSERT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "New (Added)", "KwPageFlashA"); }));
    EXPECT_EQ(tray->starts, 1);
    EXPECT_TRUE(tray->flashingNow);

    // Read afresh at the next notification, with no restart.
    SetSetting(kSettingNoTrayIconFlash, 1);
    ASSERT_EQ(WriteValue("KwPageFlashB", "two"), 0);
    ASSERT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "New (Added)", "KwPageFlashB"); }));
    PumpMessages(100);
    EXPECT_EQ(tray->starts, 1);
}

TEST_F(ChangesPageTest, RebuildWithNothingChangedStopsFlashingEvenWithEveryRowHidden)
{
    SetSetting(kSettingOnlyShowChanged, 1);
    OpenPage();
    ASSERT_EQ(WriteValue("KwPageFlashA", "one"), 0);
    ASSERT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "New (Added)", "KwPageFlashA"); }));
    ASSERT_TRUE(tray->flashingNow);

    // Reverting the only change leaves nothing but hidden Unchanged rows.
    Select({RowOf("KwPageFlashA")});
    page->RevertSelected();
    ASSERT_TRUE(WaitForRows([](auto& rows) { return rows.empty(); }));
    PumpMessages(200);
    EXPECT_FALSE(tray->flashingNow);
    EXPECT_GE(tray->stops, 1);
}

TEST_F(ChangesPageTest, ResetAlarmStopsFlashingAndAcceptsEveryChange)
{
    OpenPage();
    ASSERT_EQ(WriteValue("KwPageFlashA", "one"), 0);
    ASSERT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "New (Added)", "KwPageFlashA"); }));
    ASSERT_TRUE(tray->flashingNow);

    PostMessageA(GetDlgItem(page->hwnd, IDC_RESET_ALARM), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "Unchanged", "KwPageFlashA"); }));
    EXPECT_FALSE(tray->flashingNow);
}

TEST_F(ChangesPageTest, AlertOpensOnlyWhenPopUpAlertIsOnAtThatChange)
{
    OpenPage();
    DialogAnswerer answerer(IDC_GO_AWAY);
    ASSERT_EQ(WriteValue("KwPageFlashA", "one"), 0);
    ASSERT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "New (Added)", "KwPageFlashA"); }));
    PumpMessages(200);
    EXPECT_TRUE(answerer.seen.empty());

    SetSetting(kSettingPopUpAlert, 1);
    ASSERT_EQ(WriteValue("KwPageFlashB", "two"), 0);
    ASSERT_TRUE(PumpUntil([&] { return answerer.seen.size() == 1 && !ChangesPage::alertShowing; }, 5000));
    EXPECT_EQ(answerer.seen[0].caption, "Keywarden - Change Alert");
    EXPECT_TRUE(tray->flashingNow) << "Go Away leaves the icon flashing";
}

TEST_F(ChangesPageTest, AlertResetAlarmStopsFlashingButTheListKeepsItsStatusesUntilTheNextRebuild)
{
    SetSetting(kSettingPopUpAlert, 1);
    OpenPage();
    DialogAnswerer answerer(IDC_RESET_ALARM);
    ASSERT_EQ(WriteValue("KwPageFlashA", "one"), 0);
    ASSERT_TRUE(PumpUntil([&] { return answerer.seen.size() == 1 && !ChangesPage::alertShowing; }, 5000));
    PumpMessages(100);
    EXPECT_FALSE(tray->flashingNow);
    EXPECT_TRUE(HasRow(Rows(), "New (Added)", "KwPageFlashA"));

    page->Post(MSG_REFRESH_LIST, 0, 0);
    EXPECT_TRUE(WaitForRows([](auto& rows) { return HasRow(rows, "Unchanged", "KwPageFlashA"); }))
        << "the alert's Reset Alarm took no new baseline";
}

TEST_F(ChangesPageTest, SecondChangeWhileTheAlertIsUpRebuildsTheListButOpensNoSecondAlert)
{
    SetSetting(kSettingPopUpAlert, 1);
    OpenPage();
    bool secondListedBehindAlert = false;
    int startsDuringAlert = 0;
    DialogAnswerer answerer([&](HWND alert) {
        if (answerer.seen.size() == 1) {
            WriteValue("KwPageFlashB", "two");
            secondListedBehindAlert =
                WaitForRows([](auto& rows) { return HasRow(rows, "New (Added)", "KwPageFlashB"); });
            PumpMessages(200);  // room for a second alert, which must not come
            startsDuringAlert = tray->starts;
        }
        PostMessageA(GetDlgItem(alert, IDC_GO_AWAY), BM_CLICK, 0, 0);
    });

    ASSERT_EQ(WriteValue("KwPageFlashA", "one"), 0);
    ASSERT_TRUE(PumpUntil([&] { return !answerer.seen.empty() && !ChangesPage::alertShowing; }, 10000));
    EXPECT_TRUE(secondListedBehindAlert);
    EXPECT_EQ(startsDuringAlert, 2);
    EXPECT_EQ(answerer.seen.size(), 1u);

    // Once it has closed, the next change may open one again.
    ASSERT_EQ(WriteValue("KwPageFlashC", "three"), 0);
    EXPECT_TRUE(PumpUntil([&] { return answerer.seen.size() == 2 && !ChangesPage::alertShowing; }, 5000));
}

TEST_F(ChangesPageTest, ShowChangesAsksTheMainWindowForTheMainTabAndIsHarmlessWithoutOne)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordShowPage;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KwShowPageRecorder";
    RegisterClassA(&windowClass);
    Window mainWindow;
    mainWindow.hwnd = CreateWindowExA(0, "KwShowPageRecorder", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
    showPageCount = 0;
    theApp.mainWindow = &mainWindow;

    SetSetting(kSettingPopUpAlert, 1);
    OpenPage();
    DialogAnswerer answerer(IDC_SHOW_CHANGES);
    ASSERT_EQ(WriteValue("KwPageFlashA", "one"), 0);
    EXPECT_TRUE(PumpUntil([] { return showPageCount == 1; }, 5000));
    EXPECT_EQ(lastShowPageTab, 0u);

    theApp.mainWindow = nullptr;
    ASSERT_EQ(WriteValue("KwPageFlashB", "two"), 0);
    EXPECT_TRUE(PumpUntil([&] { return answerer.seen.size() == 2 && !ChangesPage::alertShowing; }, 5000));
    EXPECT_EQ(showPageCount, 1);
    DestroyWindow(mainWindow.hwnd);
}
