// The compiled help file that the build puts beside the programs.
#include "ui/htmlhelp.h"

#include <gtest/gtest.h>

#include <htmlhelp.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ChmPath()
{
    std::string path(32768, '\0');
    path.resize(GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of('\\') + 1) + "keywarden.chm";
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(HelpFileTest, ChmLiesBesideTheProgramAndBeginsWithItsf)
{
    const std::string chm = ReadWhole(ChmPath());
    ASSERT_GE(chm.size(), 4u) << ChmPath();
    EXPECT_EQ("ITSF", chm.substr(0, 4));
}

TEST(HelpFileTest, ChmHoldsEveryPageOfTheGuideAndItsContents)
{
    // The directory of a .chm keeps the names uncompressed.
    const std::string chm = ReadWhole(ChmPath());
    for (const char* name : {"/index.html", "/window.html", "/changes.html", "/alert.html", "/options.html",
                             "/tray.html", "/keywarden.hhc"})
        EXPECT_NE(std::string::npos, chm.find(name)) << name;
}

TEST(HelpFileTest, HelpViewerOpensTheChm)
{
    const std::string path = ChmPath();
    HWND viewer = CallHtmlHelp(GetDesktopWindow(), path.c_str(), HH_DISPLAY_TOPIC, 0);
    EXPECT_NE(nullptr, viewer);
    CallHtmlHelp(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

}  // namespace
