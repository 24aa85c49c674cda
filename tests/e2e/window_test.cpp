// The windows around the list: the alert, the tray, quitting, and the
// programs the main window starts, the help viewer and the registry editor.
#include "tests/e2e/driver.h"

TEST_F(EndToEndTest, TrayStartHidesTheWindowTheAlertAndTheIconShowItAndWmCloseQuitsAtOnce)
{
    auto trayIcons = [] {
        std::vector<HWND> icons;
        const HWND tray = FindWindowA(nullptr, "Wine System Tray");
        for (HWND icon = nullptr; tray && (icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr));)
            icons.push_back(icon);
        return icons;
    };
    const std::vector<HWND> before = trayIcons();
    SetSetting("PopUpAlert", 1);
    Start("-tray");
    EXPECT_FALSE(IsWindowVisible(main));
    HWND icon = nullptr;  // the one that came with the program
    ASSERT_TRUE(WaitUntil([&] {
        for (HWND candidate : trayIcons())
            if (std::find(before.begin(), before.end(), candidate) == before.end())
                icon = candidate;
        return icon != nullptr;
    }));

    // A change brings up the alert, whose Show Changes shows the list.
    ASSERT_EQ(Write("HKCU", "set KwAlert one"), 0);
    EXPECT_TRUE(Press(WaitForWindow("Keywarden - Change Alert"), IDC_SHOW_CHANGES));
    EXPECT_TRUE(IsWindowVisible(main) && Tab() == 0);
    EXPECT_EQ(RowNamed("KwAlert")[0], "New (Added)");

    // Minimising hides the window; a left click on the icon, as the tray passes it on, shows it.
    PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    PostMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PostMessageA(icon, WM_LBUTTONUP, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) && !IsIconic(main); }));

    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND question = WaitForWindow("Keywarden");
    EXPECT_EQ(BoxText(question), "Close Keywarden?");
    Press(question, IDNO);
    EXPECT_TRUE(WaitForExit(500) == -1 && IsWindow(icon)) << "No keeps the program";
    PostMessageA(main, WM_CLOSE, 0, 0);  // as another program would
    EXPECT_EQ(WaitForExit(), 0);
    EXPECT_FALSE(IsWindow(icon)) << "the tray icon outlived the program";
}

// A folder of its own holds a copy of the program without its help file, and
// a stranger's regedit.exe, a copy of regwriter, which shows no window.
TEST_F(EndToEndTest, HelpWithoutItsFileSaysDisasterAndTheRegistryEditorIsTheSystemsOwn)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = temp + std::string("keywarden-e2e-") + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((Folder() + "keywarden.exe").c_str(), (folder + "keywarden.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((Folder() + "regwriter.exe").c_str(), (folder + "regedit.exe").c_str(), FALSE));
    Start("", folder);

    Click(IDC_HELP_BUTTON);
    HWND box = WaitForWindow("Disaster");
    EXPECT_EQ(BoxText(box), "Can't open the help file " + folder + "keywarden.chm");
    Press(box, IDOK);

    const HWND before = FindWindowA("RegEdit_RegEdit", nullptr);
    Click(IDC_REGEDIT);
    HWND editor = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (editor = FindWindowA("RegEdit_RegEdit", nullptr)) && editor != before; }));
    PostMessageA(editor, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(editor); }));

    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(), 0);
    for (const char* file : {"keywarden.exe", "regedit.exe"})
        DeleteFileA((folder + file).c_str());
    RemoveDirectoryA(folder.c_str());
}
