// The change alert, with PopUpAlert on.
#include "tests/e2e/desktop.h"
#include "tests/e2e/e2e_fixture.h"

using kwtest::kRunKey;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;

}  // namespace

TEST_F(EndToEndTest, AlertShowChangesBringsTheHiddenWindowUpOnTheMainTab)
{
    SetSetting("PopUpAlert", 1);
    Start();
    HWND main = app->MainWindow();
    app->SelectTab(2);
    ASSERT_TRUE(app->WaitForRows([&](auto&) { return app->CurrentTab() == 2; }));
    app->Click(kOk);
    ASSERT_TRUE(app->WaitForRows([&](auto&) { return !IsWindowVisible(main); }));

    WriteFromOutside(kUser, kRunKey, "set KwE2EAlert one");
    HWND alert = app->WaitForDialog(kAlertCaption);
    ASSERT_NE(alert, nullptr) << "no alert";
    KeywardenProcess::Press(alert, kShowChanges);
    EXPECT_TRUE(app->WaitForRows([&](auto& rows) {
        return IsWindowVisible(main) && RowNamed(rows, "KwE2EAlert")[0] == "New (Added)";
    }));
    EXPECT_EQ(app->CurrentTab(), 0);
    EXPECT_TRUE(IsWindowVisible(app->Control(kList)));
    EXPECT_FALSE(IsIconic(main));
    EXPECT_TRUE(app->Dialogs(kAlertCaption).empty());
}

TEST_F(EndToEndTest, AlertAllowsOneAtATimeAndItsResetAlarmTakesANewBaseline)
{
    SetSetting("PopUpAlert", 1);
    Start();
    WriteFromOutside(kUser, kRunKey, "set KwE2EFirst one");
    HWND alert = app->WaitForDialog(kAlertCaption);
    ASSERT_NE(alert, nullptr);

    // Behind the alert the list follows a second change; no second alert.
    WriteFromOutside(kUser, kRunKey, "set KwE2ESecond two");
    EXPECT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "KwE2ESecond")[0] == "New (Added)"; }));
    Sleep(200);
    EXPECT_EQ(app->Dialogs(kAlertCaption).size(), 1u);
    KeywardenProcess::Press(alert, kGoAway);
    ASSERT_TRUE(app->WaitForRows([&](auto&) { return !IsWindow(alert); }));

    // Closed, the next change may open one again.
    WriteFromOutside(kUser, kRunKey, "set KwE2EThird three");
    alert = app->WaitForDialog(kAlertCaption);
    ASSERT_NE(alert, nullptr);
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "KwE2EThird")[0] == "New (Added)"; }));
    KeywardenProcess::Press(alert, kResetAlarm);
    ASSERT_TRUE(app->WaitForRows([&](auto&) { return !IsWindow(alert); }));
    Sleep(200);
    EXPECT_EQ(RowNamed(app->Rows(), "KwE2EThird")[0], "New (Added)") << "the list waits for its next rebuild";

    WriteFromOutside(kUser, kRunKey, "set KwE2EFourth four");
    alert = app->WaitForDialog(kAlertCaption);
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(app->WaitForRows([](auto& rows) {
        return RowNamed(rows, "KwE2EFourth")[0] == "New (Added)" && RowNamed(rows, "KwE2EThird")[0] == "Unchanged" &&
               RowNamed(rows, "KwE2EFirst")[0] == "Unchanged";
    })) << kwtest::Describe(app->Rows());
    KeywardenProcess::Press(alert, kGoAway);
}
