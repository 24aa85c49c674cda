// The main window, the tray, the alert, quitting, and the programs the
// window starts: the help viewer and the registry editor.
#include "tests/e2e/desktop.h"
#include "tests/e2e/e2e_fixture.h"

using kwtest::kRunKey;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const UINT kTrayIconId = 1;

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder of its own holding a copy of the program with no help file beside
// it, and a stranger's regedit.exe.
class ScratchFolder {
public:
    ScratchFolder()
    {
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        path = std::string(temp) + "keywarden-e2e-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(path.c_str(), nullptr);
        CopyFileA(ProgramPath().c_str(), (path + "keywarden.exe").c_str(), FALSE);
        CopyFileA((kwtest::ExecutableFolder() + "fake_regedit.exe").c_str(), (path + "regedit.exe").c_str(), FALSE);
    }
    ~ScratchFolder()
    {
        for (const char* name : {"keywarden.exe", "regedit.exe", "fake-regedit-ran"})
            DeleteFileA((path + name).c_str());
        RemoveDirectoryA(path.c_str());
    }
    std::string path;
};

}  // namespace

TEST_F(EndToEndTest, TrayStartHidesTheWindowUntilTheIconIsClicked)
{
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2ETray", "here"), ERROR_SUCCESS);
    Start("-tray");
    HWND main = app->MainWindow();
    HWND icon = WaitForTrayIconOf(main);
    ASSERT_NE(icon, nullptr) << "no tray icon";
    EXPECT_TRUE(TrayHasIcon(main, kTrayIconId));
    EXPECT_TRUE(app->WaitForRows([](auto& rows) { return !RowNamed(rows, "KwE2ETray")[0].empty(); }))
        << "the baseline is taken while hidden";
    Sleep(200);
    EXPECT_FALSE(IsWindowVisible(main));

    ASSERT_TRUE(ClickWithMouse(icon, 3));
    Sleep(300);
    EXPECT_FALSE(IsWindowVisible(main)) << "a right click does nothing";

    // A window that another test puts over the icon at the wrong moment
    // takes the click; the next try, a double-click time later, is single.
    auto leftClickUntil = [&](const std::function<bool()>& done) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!ClickWithMouse(icon, 1))
                return false;
            if (WaitUntil(done, 2000))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(leftClickUntil([&] { return IsWindowVisible(main) != FALSE; }));
    EXPECT_EQ(app->CurrentTab(), 0);
    EXPECT_TRUE(IsWindowVisible(app->Control(kList)));
    RECT shown{};
    GetWindowRect(main, &shown);

    PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); }));
    Sleep(GetDoubleClickTime() + 100);  // a single click again, not a double one
    EXPECT_TRUE(leftClickUntil([&] { return IsWindowVisible(main) && !IsIconic(main); }))
        << "visible " << IsWindowVisible(main) << " iconic " << IsIconic(main);

    RECT restored{};
    GetWindowRect(main, &restored);
    EXPECT_TRUE(EqualRect(&shown, &restored)) << "restored to its former size and place";

    app->Click(kOk);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(main); })) << "OK hides the window";
    EXPECT_TRUE(TrayHasIcon(main, kTrayIconId)) << "and the program stays in the tray";
}

TEST_F(EndToEndTest, OnlyTheLowerCaseTrayWordStartsHidden)
{
    const struct {
        const char* arguments;
        bool hidden;
    } kCases[] = {{"x-trayx", true}, {"-TRAY", false}, {"/tray", false}};
    for (const auto& c : kCases) {
        Start(c.arguments);
        Sleep(300);
        EXPECT_EQ(IsWindowVisible(app->MainWindow()) == FALSE, c.hidden) << c.arguments;
        EXPECT_EQ(Quit(), 0);
    }
}

TEST_F(EndToEndTest, CloseAsksAndOnlyYesQuitsTakingTheTrayIconAlong)
{
    Start();
    HWND main = app->MainWindow();
    HWND icon = WaitForTrayIconOf(main);
    ASSERT_NE(icon, nullptr);

    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND question = app->WaitForDialog("Keywarden");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(KeywardenProcess::DialogText(question), "Close Keywarden?");
    KeywardenProcess::Press(question, IDNO);
    EXPECT_EQ(app->WaitForExit(500), -1) << "No keeps the program running";
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(IsWindow(icon));

    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    question = app->WaitForDialog("Keywarden");
    ASSERT_NE(question, nullptr);
    KeywardenProcess::Press(question, IDYES);
    EXPECT_EQ(app->WaitForExit(), 0);
    EXPECT_FALSE(IsWindow(icon)) << "the tray icon outlived the program";
}

TEST_F(EndToEndTest, WmCloseFromAnotherProgramQuitsAtOnceWithExitCodeZero)
{
    Start("-tray");
    HWND icon = WaitForTrayIconOf(app->MainWindow());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(Quit(), 0);
    EXPECT_FALSE(IsWindow(icon)) << "the tray icon outlived the program";
}

TEST_F(EndToEndTest, HelpOpensTheViewer)
{
    Start();
    app->Click(kHelp);
    HWND viewer = app->WaitForWindowOfClass("HH Parent");
    ASSERT_NE(viewer, nullptr) << "no help viewer";
    EXPECT_TRUE(app->Dialogs("Disaster").empty());
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(viewer); }));
}

TEST_F(EndToEndTest, HelpWithoutTheHelpFileSaysDisasterEachTime)
{
    ScratchFolder folder;
    app.reset(new KeywardenProcess("", folder.path + "keywarden.exe", folder.path));
    ASSERT_NE(app->MainWindow(), nullptr);
    for (int press = 0; press < 2; ++press) {
        app->Click(kHelp);
        HWND box = app->WaitForDialog("Disaster");
        ASSERT_NE(box, nullptr);
        const std::string text = KeywardenProcess::DialogText(box);
        EXPECT_EQ(text.rfind("Can't open the help file ", 0), 0u) << text;
        EXPECT_NE(text.find("keywarden-e2e-"), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - 14), "\\keywarden.chm") << text;
        KeywardenProcess::Press(box, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    }
    EXPECT_EQ(Quit(), 0);
}

TEST_F(EndToEndTest, RegistryEditorIsTheSystemsOwnNeverOneInTheProgramsFolder)
{
    ScratchFolder folder;
    app.reset(new KeywardenProcess("", folder.path + "keywarden.exe", folder.path));
    ASSERT_NE(app->MainWindow(), nullptr);
    HWND before = FindWindowA("RegEdit_RegEdit", nullptr);
    app->Click(kRegistryEditor);
    HWND editor = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        editor = FindWindowA("RegEdit_RegEdit", nullptr);
        return editor && editor != before;
    })) << "the registry editor did not start";
    EXPECT_FALSE(FileExists(folder.path + "fake-regedit-ran")) << "a stranger's regedit.exe was started";
    if (editor) {
        PostMessageA(editor, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(editor); }));
    }
    EXPECT_EQ(Quit(), 0);
}
