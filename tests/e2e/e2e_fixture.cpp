#include "tests/e2e/e2e_fixture.h"

#include <cstdio>

const char kAlertCaption[] = "Keywarden - Change Alert";

void EndToEndTest::SetUp()
{
    snapshot.reset(new kwtest::RegistrySnapshot);
    for (const char* name : {"PopUpAlert", "NoTrayIconFlash", "OnlyShowChanged"})
        SetSetting(name, 0);
}

void EndToEndTest::TearDown()
{
    app.reset();
    snapshot.reset();
}

KeywardenProcess& EndToEndTest::Start(const std::string& arguments)
{
    app.reset(new KeywardenProcess(arguments));
    EXPECT_TRUE(app->Started()) << "keywarden.exe could not be started";
    EXPECT_NE(app->MainWindow(), nullptr) << "no main window";
    return *app;
}

long EndToEndTest::Quit()
{
    PostMessageA(app->MainWindow(), WM_CLOSE, 0, 0);
    const long code = app->WaitForExit();
    if (code == -1)
        std::fprintf(stderr, "still running after WM_CLOSE, with these windows:%s\n", app->DescribeWindows().c_str());
    return code;
}

void EndToEndTest::SetSetting(const char* name, DWORD value)
{
    kwtest::SetDword(HKEY_CURRENT_USER, kwtest::kSettingsKey, name, value);
}

DWORD EndToEndTest::Setting(const char* name)
{
    kwtest::RegValue value;
    if (!kwtest::ReadValue(HKEY_CURRENT_USER, kwtest::kSettingsKey, name, &value) || value.data.size() != 4)
        return 0;
    DWORD number = 0;
    value.data.copy(reinterpret_cast<char*>(&number), 4);
    return number;
}

void EndToEndTest::WriteFromOutside(HKEY root, const char* subkey, const std::string& commands)
{
    const std::string rootName = root == HKEY_CURRENT_USER ? "HKCU" : "HKLM";
    ASSERT_EQ(kwtest::RunWriter(rootName + " \"" + subkey + "\" " + commands), 0) << commands;
}

kwtest::Row RowNamed(const std::vector<kwtest::Row>& rows, const std::string& name)
{
    for (const kwtest::Row& row : rows)
        if (row[1] == name)
            return row;
    return kwtest::Row();
}

kwtest::Row MakeRow(const char* status, const std::string& name, const std::string& value,
                    const std::string& oldValue, HKEY root, const char* subkey)
{
    return {status, name, value, oldValue, kwtest::PathText(root, subkey)};
}
