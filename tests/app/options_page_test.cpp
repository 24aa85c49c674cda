// The Options page on its real template, against the real registry.
#include "app/options_page.h"
#include "app/settings.h"
#include "engine/regwatch.h"
#include "tests/app/modal.h"
#include "tests/app/registry_guard.h"
#include "ui/app.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::string ModulePath()
{
    std::string path(32768, '\0');
    path.resize(GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return path;
}

std::string ExpectedCommand()
{
    return "\"" + ModulePath() + "\" -tray";
}

// The engine for the tests that need one: built once, as the program does,
// and never freed.
RegWatchHandle* TestWatch()
{
    static RegWatchHandle* watch = nullptr;
    static DWORD created = RegWatch_Create(&watch);
    return created == REGWATCH_OK ? watch : nullptr;
}

// The engine's entry for HKCU Run\Keywarden in a fresh copy of its state.
struct EngineEntry {
    bool found = false;
    ChangeStatus status = Unchanged;
    std::string data;
    bool hasPrevious = false;
};

EngineEntry FindAutostartEntry(RegWatchHandle* watch)
{
    EngineEntry result;
    RecordList state;
    RecordList_Init(&state);
    if (RegWatch_CopyState(watch, &state) != REGWATCH_OK)
        return result;
    for (WatchedKey* key = WatchedKey_First(&state); key; key = WatchedKey_Next(key)) {
        if (key->root != HKEY_CURRENT_USER || std::string(key->subkey) != kRunKey)
            continue;
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry)) {
            if (std::string(entry->current->name) != kAutostartValue)
                continue;
            result.found = true;
            result.status = entry->status;
            result.data.assign(reinterpret_cast<const char*>(entry->current->data));
            result.hasPrevious = entry->previous != nullptr;
        }
    }
    RegWatch_FreeState(&state);
    return result;
}

class OptionsPageTest : public ::testing::Test {
protected:
    OptionsPageTest()
    {
        hostWindow.hwnd = host.hwnd;
    }
    ~OptionsPageTest() override
    {
        ClosePage();
        theApp.watch = nullptr;
    }

    OptionsPage& OpenPage()
    {
        ClosePage();
        page = std::make_unique<OptionsPage>();
        page->Create(&hostWindow, IDD_OPTIONS_PAGE);
        return *page;
    }
    void ClosePage()
    {
        if (page && page->hwnd)
            DestroyWindow(page->hwnd);
        page.reset();
    }
    static void Click(CheckBox& box)
    {
        SendMessageA(box.hwnd, BM_CLICK, 0, 0);
    }
    static void StoreSetting(const char* name, DWORD value)
    {
        WriteRaw(kSettingsKey, name, REG_DWORD, &value, sizeof value);
    }
    static bool ReadAutostart(std::string* text, DWORD* type = nullptr, DWORD* size = nullptr)
    {
        DWORD valueType = 0;
        std::vector<BYTE> data;
        if (!ReadRaw(kRunKey, kAutostartValue, &valueType, &data))
            return false;
        if (type)
            *type = valueType;
        if (size)
            *size = static_cast<DWORD>(data.size());
        text->assign(data.begin(), data.end());
        if (!text->empty() && text->back() == '\0')
            text->pop_back();
        return true;
    }

    SavedSettings savedSettings;
    SavedValue savedAutostart{HKEY_CURRENT_USER, kRunKey, kAutostartValue};
    HostWindow host;
    Window hostWindow;
    std::unique_ptr<OptionsPage> page;
};

TEST_F(OptionsPageTest, BoxesStartFromTheStoredSettings)
{
    StoreSetting(kSettingPopUpAlert, 2);  // set by hand: any nonzero is on
    StoreSetting(kSettingNoTrayIconFlash, 0);
    OptionsPage& first = OpenPage();
    EXPECT_EQ(1, first.popUpAlertBox.IsChecked());
    EXPECT_EQ(0, first.noFlashBox.IsChecked());

    StoreSetting(kSettingPopUpAlert, 0);
    StoreSetting(kSettingNoTrayIconFlash, 1);
    OptionsPage& second = OpenPage();
    EXPECT_EQ(0, second.popUpAlertBox.IsChecked());
    EXPECT_EQ(1, second.noFlashBox.IsChecked());
}

TEST_F(OptionsPageTest, FirstStartHasBothBoxesClearAndAClickCreatesTheKey)
{
    savedSettings.DeleteKey();
    OptionsPage& opened = OpenPage();
    EXPECT_EQ(0, opened.popUpAlertBox.IsChecked());
    EXPECT_EQ(0, opened.noFlashBox.IsChecked());
    EXPECT_FALSE(KeyExists(kSettingsKey)) << "nothing is written before a click";

    Click(opened.noFlashBox);
    EXPECT_TRUE(KeyExists(kSettingsKey));
    EXPECT_EQ(1u, ReadSetting(kSettingNoTrayIconFlash));
}

TEST_F(OptionsPageTest, EachClickIsStoredAtOnce)
{
    StoreSetting(kSettingPopUpAlert, 2);
    StoreSetting(kSettingNoTrayIconFlash, 0);
    OptionsPage& opened = OpenPage();

    Click(opened.popUpAlertBox);
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
    Click(opened.popUpAlertBox);
    EXPECT_EQ(1u, ReadSetting(kSettingPopUpAlert));

    Click(opened.noFlashBox);
    EXPECT_EQ(1u, ReadSetting(kSettingNoTrayIconFlash));
    Click(opened.noFlashBox);
    EXPECT_EQ(0u, ReadSetting(kSettingNoTrayIconFlash));
}

TEST_F(OptionsPageTest, SetPopUpAlertMovesTheBoxAndStoresWhatItShows)
{
    StoreSetting(kSettingPopUpAlert, 1);
    OptionsPage& opened = OpenPage();
    opened.SetPopUpAlert(0);
    EXPECT_EQ(0, opened.popUpAlertBox.IsChecked());
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
    opened.SetPopUpAlert(7);
    EXPECT_EQ(1, opened.popUpAlertBox.IsChecked());
    EXPECT_EQ(1u, ReadSetting(kSettingPopUpAlert)) << "the box's state is stored, not the argument";
}

// No watch engine runs here: the value is written and deleted all the same.
TEST_F(OptionsPageTest, AutostartWritesTheQuotedCommandAndDeletesIt)
{
    if (std::getenv("KEYWARDEN_BLANK_PATH_CHILD")) {
        ASSERT_NE(std::string::npos, ModulePath().find(' ')) << "the copy must lie on a path with blanks";
    }
    DeleteRaw(kRunKey, kAutostartValue);
    OptionsPage& opened = OpenPage();
    EXPECT_EQ(0, opened.autostartBox.IsChecked());

    Click(opened.autostartBox);
    std::string text;
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_TRUE(ReadAutostart(&text, &type, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(ExpectedCommand(), text);
    EXPECT_EQ(text.size() + 1, size) << "the stored length counts the terminating zero";

    Click(opened.autostartBox);
    EXPECT_FALSE(ReadAutostart(&text));
}

TEST_F(OptionsPageTest, AnyExistingAutostartValueChecksTheBox)
{
    const std::string longText(300, 'x');
    const char* texts[] = {"", "C:\\Other\\program.exe", longText.c_str()};
    for (const char* value : texts) {
        WriteRaw(kRunKey, kAutostartValue, REG_SZ, value, static_cast<DWORD>(strlen(value) + 1));
        EXPECT_EQ(1, OpenPage().autostartBox.IsChecked()) << "value \"" << value << "\"";
    }
    const DWORD number = 5;
    WriteRaw(kRunKey, kAutostartValue, REG_DWORD, &number, sizeof number);
    EXPECT_EQ(1, OpenPage().autostartBox.IsChecked()) << "a value of another type";

    DeleteRaw(kRunKey, kAutostartValue);
    EXPECT_EQ(0, OpenPage().autostartBox.IsChecked());
}

TEST_F(OptionsPageTest, AutostartReplacesAnyValueAndIsReReadByTheEngine)
{
    RegWatchHandle* watch = TestWatch();
    ASSERT_NE(nullptr, watch);
    // In the baseline with another program's text.
    WriteRaw(kRunKey, kAutostartValue, REG_SZ, "other.exe", 10);
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    theApp.watch = watch;
    OptionsPage& opened = OpenPage();

    Click(opened.autostartBox);  // off: the value goes, whoever wrote it, and so does its entry
    std::string text;
    EXPECT_FALSE(ReadAutostart(&text));
    EXPECT_FALSE(FindAutostartEntry(watch).found);

    // On: without a re-read the engine, whose thread does not run here,
    // would not know the value at all.
    Click(opened.autostartBox);
    ASSERT_TRUE(ReadAutostart(&text));
    EXPECT_EQ(ExpectedCommand(), text);
    EngineEntry entry = FindAutostartEntry(watch);
    ASSERT_TRUE(entry.found);
    EXPECT_EQ(Unchanged, entry.status);
    EXPECT_EQ(ExpectedCommand(), entry.data);
    EXPECT_FALSE(entry.hasPrevious);

    Click(opened.autostartBox);
    EXPECT_FALSE(FindAutostartEntry(watch).found);
}

TEST(AutostartCommandTest, WholePathFitsOrNothingIsGiven)
{
    const std::string expected = ExpectedCommand();
    const DWORD exact = static_cast<DWORD>(expected.size() + 1);
    std::vector<char> buffer(exact + 16, '#');

    ASSERT_EQ(1, BuildAutostartCommand(buffer.data(), exact));
    EXPECT_EQ(expected, std::string(buffer.data()));

    // One byte short: the path would have to be cut.
    for (DWORD size : {exact - 1, exact - 7, exact - 8, DWORD{10}, DWORD{2}, DWORD{1}}) {
        std::fill(buffer.begin(), buffer.end(), '#');
        EXPECT_EQ(0, BuildAutostartCommand(buffer.data(), size)) << "size " << size;
        EXPECT_EQ('\0', buffer[0]) << "size " << size;
        EXPECT_EQ('#', buffer[size]) << "wrote past size " << size;
    }
    EXPECT_EQ(0, BuildAutostartCommand(buffer.data(), 0));
}

// Runs a copy of this program from a folder and file name with blanks, where
// an unquoted command would be split at the first blank.
TEST_F(OptionsPageTest, PathWithBlanksIsStoredQuoted)
{
    if (std::getenv("KEYWARDEN_BLANK_PATH_CHILD"))
        GTEST_SKIP() << "already the copy";
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    const std::string folder = std::string(temp) + "Keywarden test folder";
    const std::string copy = folder + "\\app tests copy.exe";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(ModulePath().c_str(), copy.c_str(), FALSE));

    std::string commandLine = "\"" + copy +
                              "\" --gtest_brief=1"
                              " --gtest_filter=OptionsPageTest.AutostartWritesTheQuotedCommandAndDeletesIt";
    SetEnvironmentVariableA("KEYWARDEN_BLANK_PATH_CHILD", "1");
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(copy.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process);
    SetEnvironmentVariableA("KEYWARDEN_BLANK_PATH_CHILD", nullptr);
    DWORD exitCode = 99;
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    DeleteFileA(copy.c_str());
    RemoveDirectoryA(folder.c_str());
    ASSERT_TRUE(started);
    EXPECT_EQ(0u, exitCode) << "the copy's autostart test failed";
}

}  // namespace
