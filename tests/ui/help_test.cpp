// The help path, the HTML Help loader and the "Disaster" box. This test
// executable has no help file beside it, which is the case under test.
#include "ui/app.h"
#include "ui/htmlhelp.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <htmlhelp.h>
#include <shlwapi.h>

#include <string>
#include <vector>

using testing_support::DialogAnswerer;

namespace {

std::string HelpPathFor(const char* modulePath, DWORD size = 260)
{
    std::vector<char> buffer(size + 1, '#');
    int ok = BuildHelpPath(modulePath, buffer.data(), size);
    EXPECT_EQ('#', buffer[size]) << "wrote past the buffer";
    std::string result(buffer.data());
    if (!ok) {
        EXPECT_EQ("", result) << "a failure leaves the buffer empty";
        return "<failed>";
    }
    return result;
}

// Puts the loader back as the program found it, whatever a test did to it.
class LoaderStateGuard {
public:
    LoaderStateGuard() : module(htmlHelpModule), entry(htmlHelpEntry), failed(htmlHelpFailed) {}
    ~LoaderStateGuard()
    {
        htmlHelpModule = module;
        htmlHelpEntry = entry;
        htmlHelpFailed = failed;
        htmlHelpLoadLibrary = nullptr;
    }

    void StartFresh()
    {
        htmlHelpModule = nullptr;
        htmlHelpEntry = nullptr;
        htmlHelpFailed = 0;
    }

private:
    HMODULE module;
    HtmlHelpEntry entry;
    int failed;
};

std::vector<std::string> loads;
int loadsToFail = 0;

HMODULE WINAPI RecordingLoad(LPCSTR path)
{
    loads.push_back(path);
    if (loadsToFail > 0) {
        --loadsToFail;
        return nullptr;
    }
    return LoadLibraryA(path);
}

void RecordLoads(int failing)
{
    loads.clear();
    loadsToFail = failing;
    htmlHelpLoadLibrary = &RecordingLoad;
}

std::string SystemHelpLibrary()
{
    char folder[MAX_PATH] = "";
    GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\hhctrl.ocx";
}

}  // namespace

TEST(HelpPath, ReplacesTheExtensionOfTheExecutable)
{
    EXPECT_EQ("C:\\Tools\\keywarden.chm", HelpPathFor("C:\\Tools\\keywarden.exe"));
    EXPECT_EQ("C:\\Tools\\keywarden.chm", HelpPathFor("C:\\Tools\\keywarden."));
}

TEST(HelpPath, AppendsToANameWithoutExtension)
{
    EXPECT_EQ("C:\\Tools\\keywarden.chm", HelpPathFor("C:\\Tools\\keywarden"));
}

TEST(HelpPath, DotsInFolderNamesAreLeftAlone)
{
    EXPECT_EQ("C:\\my.tools\\v1.3\\keywarden.chm", HelpPathFor("C:\\my.tools\\v1.3\\keywarden.exe"));
    EXPECT_EQ("C:\\my.tools\\v1.3\\keywarden.chm", HelpPathFor("C:\\my.tools\\v1.3\\keywarden"));
    EXPECT_EQ("C:\\my.tools\\keywarden.v2.chm", HelpPathFor("C:\\my.tools\\keywarden.v2.exe"));
}

TEST(HelpPath, NeverWritesPastTheBuffer)
{
    const char* path = "C:\\Tools\\keywarden";   // 18 characters, 22 with ".chm"
    EXPECT_EQ("C:\\Tools\\keywarden.chm", HelpPathFor(path, 23));
    EXPECT_EQ("<failed>", HelpPathFor(path, 22));
    EXPECT_EQ("<failed>", HelpPathFor(path, 19));
    EXPECT_EQ("<failed>", HelpPathFor(path, 5));
    EXPECT_EQ(0, BuildHelpPath(path, nullptr, 0));
}

TEST(HelpPath, HandlesPathsLongerThanMaxPath)
{
    std::string longPath = "C:";
    while (longPath.size() < 1000)
        longPath += "\\folder.with.dots";
    std::string want = longPath + "\\keywarden.chm";
    EXPECT_EQ(want, HelpPathFor((longPath + "\\keywarden.exe").c_str(), APP_HELP_PATH_SIZE));
}

TEST(HelpPath, AppUsesTheExecutablesPath)
{
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    strcpy(PathFindExtensionA(module), ".chm");
    EXPECT_STREQ(module, theApp.helpPath);
}

TEST(HelpLoader, LibraryIsLoadedAtStartUp)
{
    EXPECT_NE(nullptr, htmlHelpModule);
    EXPECT_EQ(0, htmlHelpFailed);
}

TEST(HelpLoader, FindsTheRegisteredLibrary)
{
    char path[MAX_PATH];
    ASSERT_EQ(1, FindHtmlHelpLibrary(path, sizeof path));
    EXPECT_NE(nullptr, StrStrIA(path, "hhctrl.ocx")) << path;
    EXPECT_FALSE(PathIsRelativeA(path)) << path;
}

TEST(HelpLoader, FindWithTooSmallABufferFailsEmpty)
{
    char path[8];
    memset(path, '#', sizeof path);
    EXPECT_EQ(0, FindHtmlHelpLibrary(path, 6));
    EXPECT_EQ('\0', path[0]);
    EXPECT_EQ('#', path[6]);
    EXPECT_EQ('#', path[7]);
}

TEST(HelpLoader, LoadsTheRegisteredLibraryByItsFullPath)
{
    LoaderStateGuard guard;
    guard.StartFresh();
    RecordLoads(0);
    CallHtmlHelp(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&theApp.helpCookie));
    ASSERT_EQ(1u, loads.size());
    EXPECT_FALSE(PathIsRelativeA(loads[0].c_str())) << loads[0];
    EXPECT_NE(nullptr, htmlHelpModule);
    EXPECT_NE(nullptr, htmlHelpEntry);
}

TEST(HelpLoader, FallbackLoadsFromTheSystemFolderNotTheSearchPath)
{
    LoaderStateGuard guard;
    guard.StartFresh();
    RecordLoads(1);   // the registered file will not load
    CallHtmlHelp(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&theApp.helpCookie));
    ASSERT_EQ(2u, loads.size());
    EXPECT_EQ(SystemHelpLibrary(), loads[1]);
    EXPECT_NE(nullptr, htmlHelpModule);
    EXPECT_EQ(0, htmlHelpFailed);
}

TEST(HelpLoader, NoSecondLoadAfterAFailure)
{
    LoaderStateGuard guard;
    guard.StartFresh();
    RecordLoads(1000);
    EXPECT_EQ(nullptr, CallHtmlHelp(nullptr, nullptr, HH_INITIALIZE, 0));
    EXPECT_EQ(1, htmlHelpFailed);
    size_t tried = loads.size();
    EXPECT_EQ(2u, tried) << "the registered file, then the system folder's";
    EXPECT_EQ(nullptr, CallHtmlHelp(GetDesktopWindow(), theApp.helpPath, HH_DISPLAY_TOPIC, 0));
    EXPECT_EQ(nullptr, CallHtmlHelp(nullptr, nullptr, HH_UNINITIALIZE, 0));
    EXPECT_EQ(tried, loads.size());
}

TEST(ShowHelp, MissingFileSaysDisasterWithThePathEveryTime)
{
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(theApp.helpPath)) << "a help file is present";
    DialogAnswerer answer(IDOK);
    theApp.ShowHelp();
    theApp.ShowHelp();
    ASSERT_EQ(2u, answer.seen.size());
    for (const DialogAnswerer::Seen& box : answer.seen) {
        EXPECT_EQ("Disaster", box.caption);
        EXPECT_EQ(std::string("Can't open the help file ") + theApp.helpPath, box.text);
        EXPECT_EQ(nullptr, box.owner);
    }
}

TEST(ShowHelp, UnloadableLibrarySaysDisaster)
{
    LoaderStateGuard guard;
    guard.StartFresh();
    RecordLoads(1000);
    DialogAnswerer answer(IDOK);
    theApp.ShowHelp();
    ASSERT_EQ(1u, answer.seen.size());
    EXPECT_EQ("Disaster", answer.seen[0].caption);
    EXPECT_EQ(std::string("Can't open the help file ") + theApp.helpPath, answer.seen[0].text);
}
