// The compiled help file that the build puts beside the programs.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

TEST(HelpFileTest, ChmLiesBesideTheProgramAndBeginsWithItsf)
{
    std::string path(32768, '\0');
    path.resize(GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size())));
    std::ifstream file(path.substr(0, path.find_last_of('\\') + 1) + "keywarden.chm", std::ios::binary);
    EXPECT_EQ("ITSF", std::string(std::istreambuf_iterator<char>(file), {}).substr(0, 4));
}
