// The windows around the list: the alert, the tray, quitting, and the
// programs the main window starts, the help viewer and the registry editor.
#include "tests/e2e/driver.h"

namespace {

const char kAlert[] = "Keywarden - Change Alert";

std::vector<HWND> TrayIcons()
{
    std::vector<HWND> icons;
    const HWND tray = FindWindowA(nullptr, "Wine System Tray");
    for (HWND icon = nullptr; tray && (icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr));)
        icons.push_back(icon);
    return icons;
}

}  // namespace

TEST_F(EndToEndTest, AlertComesOneAtATimeAndEachOfItsButtonsDoesItsPart)
{
    SetSetting("PopUpAlert", 1);
    Start();
    auto status = [this](const char* name) { return RowNamed(Rows(), name)[0]; };
    SelectTab(2);
    ASSERT_TRUE(WaitUntil([&] { return Tab() == 2; }));
    Click(IDC_OK);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));

    // A second change while the alert is up reaches the list, not another alert.
    ASSERT_EQ(Write("HKCU", "set KwAlertA one"), 0);
    HWND alert = WaitForWindow(kAlert);
    ASSERT_EQ(Write("HKCU", "set KwAlertB two"), 0);
    EXPECT_TRUE(WaitUntil([&] { return status("KwAlertB") == "New (Added)"; }));
    EXPECT_TRUE(Press(alert, IDC_SHOW_CHANGES)) << "a second alert over the first";
    EXPECT_TRUE(IsWindowVisible(main) && Tab() == 0);

    // Reset Alarm takes a new baseline; Go Away accepts nothing.
    ASSERT_EQ(Write("HKCU", "set KwAlertC three"), 0);
    EXPECT_TRUE(Press(WaitForWindow(kAlert), IDC_RESET_ALARM));
    ASSERT_EQ(Write("HKCU", "set KwAlertD four"), 0);
    alert = WaitForWindow(kAlert);
    EXPECT_TRUE(WaitUntil([&] { return status("KwAlertD") == "New (Added)" && status("KwAlertC") == "Unchanged"; }));
    EXPECT_TRUE(Press(alert, IDC_GO_AWAY));
    EXPECT_EQ(status("KwAlertD"), "New (Added)");
}

TEST_F(EndToEndTest, TrayStartHidesTheWindowUntilTheIconIsClickedAndWmCloseQuitsAtOnce)
{
    const std::vector<HWND> before = TrayIcons();
    ASSERT_EQ(kwtest::SetRunValue("KwTray", "here"), ERROR_SUCCESS);
    Start("-tray");
    EXPECT_TRUE(WaitUntil([&] { return RowNamed(Rows(), "KwTray")[0] == "Unchanged"; })) << "no baseline while hidden";
    EXPECT_FALSE(IsWindowVisible(main));
    HWND icon = nullptr;  // the one that came with the program
    ASSERT_TRUE(WaitUntil([&] {
        for (HWND candidate : TrayIcons())
            if (std::find(before.begin(), before.end(), candidate) == before.end())
                icon = candidate;
        return icon != nullptr;
    }));

    // A left click on the icon, as the tray passes it on, shows the window;
    // minimising hides it again.
    for (int click = 0; click < 2; ++click) {
        PostMessageA(icon, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageA(icon, WM_LBUTTONUP, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(main) && !IsIconic(main); })) << click;
        EXPECT_EQ(Tab(), 0);
        PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); })) << click;
    }

    Click(IDC_HELP_BUTTON);
    HWND viewer = WaitForWindow(nullptr, "HH Parent");
    EXPECT_NE(viewer, nullptr) << "no help viewer";
    PostMessageA(viewer, WM_CLOSE, 0, 0);

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
    DeleteFileA((folder + "keywarden.exe").c_str());
    DeleteFileA((folder + "regedit.exe").c_str());
    RemoveDirectoryA(folder.c_str());
}
