// The settings store, the Options page and the change alert on the real templates and
// registry; the alert runs modally, as the Changes page runs it, acted on from its loop.
#include "app/alert_dialog.h"
#include "app/options_page.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "engine/regwatch.h"
#include "tests/support/test_support.h"
#include "ui/app.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

// Puts one value of HKEY_CURRENT_USER back with its type and data, or deletes it.
struct SavedValue {
    SavedValue(const char* subkeyText, const char* valueName) : subkey(subkeyText), name(valueName) {}
    ~SavedValue()
    {
        if (existed)
            RegSetKeyValueA(HKEY_CURRENT_USER, subkey, name, type, data, size);
        else
            RegDeleteKeyValueA(HKEY_CURRENT_USER, subkey, name);
    }
    const char* subkey;
    const char* name;
    DWORD type = 0, size = kAutostartCommandSize;
    BYTE data[kAutostartCommandSize];
    const bool existed = !RegGetValueA(HKEY_CURRENT_USER, subkey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data,
                                       &size);
};

std::string ExpectedCommand()
{
    std::string path(32768, '\0');
    path.resize(GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return "\"" + path + "\" -tray";
}

// The engine's status of HKCU Run\Keywarden; -1 when it has no entry.
int EngineStatus(RegWatchHandle* watch)
{
    int status = -1;
    RecordList state;
    RegWatch_CopyState(watch, RecordList_Init(&state));
    for (WatchedKey* key = WatchedKey_First(&state); key; key = WatchedKey_Next(key))
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
            if (key->root == HKEY_CURRENT_USER && std::string(key->subkey) == kRunKey &&
                std::string(entry->current->name) == kAutostartValue)
                status = static_cast<int>(entry->status);
    RegWatch_FreeState(&state);
    return status;
}

class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() { host.hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr); }
    ~SettingsTest() override
    {
        theApp.watch = nullptr;
        DestroyWindow(host.hwnd);  // and the page, its child
        if (!keysExisted)
            RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Velmorra");
    }
    OptionsPage& OpenPage()
    {
        if (page)
            DestroyWindow(page->hwnd);
        page = std::make_unique<OptionsPage>();
        page->Create(&host, IDD_OPTIONS_PAGE);
        return *page;
    }
    // The alert's result; -1 when act left it open for 10 s.
    INT_PTR RunAlert(std::function<void(HWND)> act)
    {
        AlertDialog alert;
        testing_support::DialogAnswerer answerer(std::move(act));
        testing_support::ThreadTimer limit(10000, [&] { EndDialog(alert.hwnd, -1); });
        return alert.RunModal(IDD_ALERT, &host);
    }

    // The program's keys go again after the test if the test made them.
    HKEY velmorra = nullptr;
    const bool keysExisted = !RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Velmorra", &velmorra) && !RegCloseKey(velmorra);
    SavedValue saved[4] = {{kSettingsKey, kSettingPopUpAlert}, {kSettingsKey, kSettingNoTrayIconFlash},
                           {kSettingsKey, kSettingOnlyShowChanged}, {kRunKey, kAutostartValue}};
    Window host;
    std::unique_ptr<OptionsPage> page;
};
using OptionsPageTest = SettingsTest;
using AlertDialogTest = SettingsTest;

TEST_F(SettingsTest, AnyDataOfUpToFourBytesReadsAsANumberAndAWriteCreatesTheKeyOrReportsItsFailure)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert)) << "no key";
    const DWORD two = 2, ones = 0xFFFFFFFFu;
    const BYTE bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const struct { DWORD type; const void* data; DWORD size; DWORD read; } cases[] = {
        {REG_DWORD, &two, 4, 2}, {REG_BINARY, bytes, 4, 0x04030201u}, {REG_SZ, "abc", 4, 0x00636261u},
        {REG_BINARY, bytes, 8, 0}, {REG_BINARY, bytes, 2, 0x0201u}, {REG_BINARY, bytes, 0, 0}};
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettingOnlyShowChanged, REG_DWORD, &ones, 4);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.size << " bytes");
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettingPopUpAlert, c.type, c.data, c.size);
        ReadSetting(kSettingOnlyShowChanged);  // leaves all ones where an unfilled buffer would pick them up
        EXPECT_EQ(c.read, ReadSetting(kSettingPopUpAlert));
    }

    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    const DWORD one = 1;
    EXPECT_EQ(ERROR_SUCCESS, WriteSetting(kSettingNoTrayIconFlash, &one));
    EXPECT_EQ(1u, ReadSetting(kSettingNoTrayIconFlash));
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, kSettingNoTrayIconFlash, RRF_RT_REG_DWORD,
                                          nullptr, nullptr, nullptr)) << "stored as a DWORD";
    // No value name is that long: the set fails while the close succeeds.
    EXPECT_NE(ERROR_SUCCESS, WriteSetting(std::string(20000, 'x').c_str(), &one));
}

TEST_F(OptionsPageTest, BoxesStartFromTheStoredSettingsAndEachClickIsStoredAtOnce)
{
    for (DWORD popUp : {2u, 0u}) {  // any nonzero is on
        SCOPED_TRACE(popUp);
        const DWORD noFlash = !popUp;
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettingPopUpAlert, REG_DWORD, &popUp, 4);
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettingNoTrayIconFlash, REG_DWORD, &noFlash, 4);
        OptionsPage& opened = OpenPage();
        EXPECT_EQ(popUp != 0, opened.popUpAlertBox.IsChecked() == 1);
        EXPECT_EQ(noFlash != 0, opened.noFlashBox.IsChecked() == 1);
        SendMessageA(opened.popUpAlertBox.hwnd, BM_CLICK, 0, 0);  // each click turns its box over
        SendMessageA(opened.noFlashBox.hwnd, BM_CLICK, 0, 0);
        EXPECT_EQ(noFlash, ReadSetting(kSettingPopUpAlert));
        EXPECT_EQ(popUp == 0 ? 0u : 1u, ReadSetting(kSettingNoTrayIconFlash));
    }
}

// The engine's thread does not run here: only the page's re-read can tell it.
TEST_F(OptionsPageTest, AutostartWritesTheQuotedCommandOrDeletesAnyValueAndTheEngineFollows)
{
    RegSetKeyValueA(HKEY_CURRENT_USER, kRunKey, kAutostartValue, REG_SZ, "other.exe", 10);
    RegWatchHandle* watch = nullptr;  // lives until the process ends
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    theApp.watch = watch;
    testing_support::DialogAnswerer unexpectedBoxes(IDOK);
    ASSERT_EQ(1, OpenPage().autostartBox.IsChecked()) << "another program's value";
    SendMessageA(page->autostartBox.hwnd, BM_CLICK, 0, 0);  // that value goes too, and its entry with it
    EXPECT_EQ(-1, EngineStatus(watch));

    SendMessageA(OpenPage().autostartBox.hwnd, BM_CLICK, 0, 0);  // a fresh page shows the box clear
    std::string stored(kAutostartCommandSize, '\0');
    DWORD size = kAutostartCommandSize;
    RegGetValueA(HKEY_CURRENT_USER, kRunKey, kAutostartValue, RRF_RT_REG_SZ, nullptr, &stored[0], &size);
    EXPECT_EQ(ExpectedCommand(), stored.c_str());
    EXPECT_EQ(static_cast<int>(Unchanged), EngineStatus(watch));

    RegSetKeyValueA(HKEY_CURRENT_USER, kRunKey, kAutostartValue, REG_SZ, "", 1);
    EXPECT_EQ(1, OpenPage().autostartBox.IsChecked()) << "an empty text";
}

TEST(AutostartCommandTest, PathThatDoesNotFitWholeGivesNothing)
{
    const std::string expected = ExpectedCommand();
    const DWORD exact = static_cast<DWORD>(expected.size() + 1);
    for (DWORD size : {exact, exact - 1, DWORD{10}, DWORD{2}}) {
        SCOPED_TRACE(size);
        std::string buffer(exact + 1, '#');
        EXPECT_EQ(size == exact ? 1 : 0, BuildAutostartCommand(&buffer[0], size));
        EXPECT_EQ(size == exact ? expected : "", buffer.c_str());
        EXPECT_EQ('#', buffer[size]) << "written past the end";
    }
}

TEST_F(AlertDialogTest, EachWayOutEndsWithItsResult)
{
    const struct { const char* how; int button; WPARAM key; INT_PTR result; } cases[] = {
        {"Esc", 0, VK_ESCAPE, 0},       {"Enter on Show Changes", 0, VK_RETURN, 2},
        {"Go Away", IDC_GO_AWAY, 0, 0}, {"Show Changes", IDC_SHOW_CHANGES, 0, 2},
        {"Reset Alarm with no tray icon", IDC_RESET_ALARM, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        EXPECT_EQ(c.result, RunAlert([&](HWND dialog) {
            if (c.button)
                SendDlgItemMessageA(dialog, c.button, BM_CLICK, 0, 0);
            else
                PostMessageA(GetFocus(), WM_KEYDOWN, c.key, 0);
        }));
    }
}

TEST_F(AlertDialogTest, ResetAlarmStopsTheFlashingBeforeTheAlertGoes)
{
    TrayIcon icon(host.hwnd);
    icon.StartFlashing();
    EXPECT_EQ(1, RunAlert([&](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_RESET_ALARM, BM_CLICK, 0, 0);
        // Still inside the alert's loop: the flashing has already ended.
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(icon.flashThread, 10000));
    }));
}

TEST_F(AlertDialogTest, DoNotShowBoxStoresEachClickAtOnceThroughTheOptionsPageIfAny)
{
    for (bool withPage : {false, true}) {
        SCOPED_TRACE(withPage ? "with the Options page" : "without it");
        if (withPage)
            OpenPage();
        const DWORD on = 1;
        WriteSetting(kSettingPopUpAlert, &on);
        EXPECT_EQ(0, RunAlert([&](HWND dialog) {
            for (DWORD popUp : {0u, 1u}) {
                SendDlgItemMessageA(dialog, IDC_DO_NOT_SHOW, BM_CLICK, 0, 0);
                EXPECT_EQ(popUp, ReadSetting(kSettingPopUpAlert));
                EXPECT_EQ(page ? static_cast<int>(popUp) : 0, page ? page->popUpAlertBox.IsChecked() : 0);
                EXPECT_TRUE(IsWindowVisible(dialog)) << "the alert stays open";
            }
            SendDlgItemMessageA(dialog, IDC_GO_AWAY, BM_CLICK, 0, 0);
        }));
    }
}

}  // namespace
