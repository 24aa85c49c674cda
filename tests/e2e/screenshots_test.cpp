// Pictures of the program for the documentation, with changes listed:
// <build>/screenshots/main-tab.png, options-tab.png, about-tab.png, alert.png.
#include "tests/e2e/desktop.h"
#include "tests/e2e/e2e_fixture.h"

using kwtest::kRunKey;

TEST_F(EndToEndTest, ScreenshotsOfEachTabWithChangesListedAndOfTheAlert)
{
    const HKEY user = HKEY_CURRENT_USER;
    ASSERT_EQ(kwtest::SetText(user, kRunKey, "Updater", "C:\\Program Files\\Updater\\update.exe /quiet"),
              ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(user, kRunKey, "Tools", "C:\\Tools\\tray.exe"), ERROR_SUCCESS);
    Start();
    HWND main = app->MainWindow();
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return !RowNamed(rows, "Tools")[0].empty(); }));
    WriteFromOutside(user, kRunKey,
                     "set Updater \"C:\\Users\\Public\\upd.exe\" set Helper \"C:\\Temp\\helper.exe -hidden\" del Tools");
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "Tools")[0] == "Deleted"; }));

    const char* const kTabs[] = {"main-tab", "options-tab", "about-tab"};
    for (int tab = 0; tab < 3; ++tab) {
        app->SelectTab(tab);
        ASSERT_TRUE(app->WaitForRows([&](auto&) { return app->CurrentTab() == tab; }));
        Sleep(300);
        EXPECT_TRUE(SaveWindowScreenshot(main, kTabs[tab])) << kTabs[tab];
    }

    SetSetting("PopUpAlert", 1);
    app->SelectTab(0);
    WriteFromOutside(user, kRunKey, "set Helper \"C:\\Temp\\helper2.exe\"");
    HWND alert = app->WaitForDialog(kAlertCaption);
    ASSERT_NE(alert, nullptr);
    Sleep(300);
    EXPECT_TRUE(SaveWindowScreenshot(alert, "alert"));
    KeywardenProcess::Press(alert, kGoAway);
}
