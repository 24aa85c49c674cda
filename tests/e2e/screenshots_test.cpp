// Pictures of the program for the documentation, with changes listed:
// <build>/screenshots/main-tab.png, options-tab.png, about-tab.png, alert.png.
#include "tests/e2e/driver.h"

TEST_F(EndToEndTest, ScreenshotsOfEachTabWithChangesListedAndOfTheAlert)
{
    ASSERT_EQ(Write("HKCU", "set Updater \"C:\\Program Files\\Updater\\update.exe\" set Tools C:\\Tools\\tray.exe"), 0);
    Start();
    ASSERT_EQ(Write("HKCU", "set Updater C:\\Users\\Public\\upd.exe set Helper C:\\Temp\\helper.exe del Tools"), 0);
    ASSERT_TRUE(WaitUntil([&] { return RowNamed("Tools")[0] == "Deleted"; }));
    const char* const tabs[] = {"main-tab", "options-tab", "about-tab"};
    for (int tab = 0; tab < 3; ++tab) {
        SelectTab(tab);
        ASSERT_TRUE(WaitUntil([&] { return Tab() == tab; }));
        EXPECT_NE(testing_support::SaveScreenshot(main, tabs[tab]), "") << tabs[tab];
    }

    SetSetting("PopUpAlert", 1);
    SelectTab(0);
    ASSERT_EQ(Write("HKCU", "set Helper C:\\Temp\\helper2.exe"), 0);
    HWND alert = WaitForWindow("Keywarden - Change Alert");
    EXPECT_NE(testing_support::SaveScreenshot(alert, "alert"), "");
    Press(alert, IDC_GO_AWAY);
}
