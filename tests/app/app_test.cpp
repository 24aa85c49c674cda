// The tray icon, settings, Options page and alert on the real templates and registry.
#include "app/alert_dialog.h"
#include "app/options_page.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "engine/regwatch.h"
#include "tests/support/test_support.h"
#include "ui/app.h"

#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int EngineStatus(RegWatchHandle* watch)  // of HKCU's Keywarden value; -1 when it has no entry
{
    int status = -1;
    RecordList state;
    RegWatch_CopyState(watch, RecordList_Init(&state));
    for (WatchedKey* key = WatchedKey_First(&state); key; key = WatchedKey_Next(key))
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
            if (key->root == HKEY_CURRENT_USER && std::string(entry->current->name) == kAutostartValue)
                status = static_cast<int>(entry->status);
    RegWatch_FreeState(&state);
    return status;
}

class SettingsTest : public testing_support::RegistryTest {
protected:
    SettingsTest() { host.hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr); }
    ~SettingsTest() override
    {
        theApp.watch = nullptr;
        DestroyWindow(host.hwnd);  // and the page, its child
    }
    INT_PTR RunAlert(std::function<void(HWND)> act)  // modal, as the Changes page runs it; -1 after 10 s
    {
        AlertDialog alert;
        testing_support::DialogAnswerer answerer(std::move(act));
        testing_support::ThreadTimer limit(10000, [&] { EndDialog(alert.hwnd, -1); });
        return alert.RunModal(IDD_ALERT, &host);
    }
    Window host;
    OptionsPage page;
};

// Records each frame; only the flashing thread writes.
class RecordingTrayIcon : public TrayIcon {
public:
    using TrayIcon::TrayIcon;
    ~RecordingTrayIcon() override { EndFlashThread(); }
    BOOL SetIcon(int iconId) override
    {
        frames[count % 64] = Frame{iconId, GetTickCount()};
        ++count;
        return TrayIcon::SetIcon(iconId);
    }
    struct Frame { int iconId; DWORD atMs; } frames[64] = {};
    std::atomic<size_t> count{0};
};

HANDLE WINAPI NoEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) { return nullptr; }
HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) { return nullptr; }

using TrayIconTest = SettingsTest;

TEST_F(TrayIconTest, FlashesWarningAndBlankEvery600MsOnOneThreadAndAStopRestoresTheRestingIconAtOnce)
{
    RecordingTrayIcon icon(host.hwnd);
    icon.StopFlashing();  // at rest: the stop left signalled must not end the next run at once
    icon.StartFlashing();
    icon.StartFlashing();  // a second thread would show a second warning frame at once
    ASSERT_TRUE(testing_support::PumpUntil([&] { return icon.count >= 5; }, 10000));
    Sleep(100);
    const DWORD stoppedAt = GetTickCount();
    icon.StopFlashing();
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(icon.flashThread, 10000));
    EXPECT_EQ(0, icon.flashing);
    const size_t n = icon.count;
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(i + 1 == n ? IDI_KEYWARDEN : i % 2 ? IDI_BLANK : IDI_WARNING, icon.frames[i].iconId) << i;
        const DWORD gap = i > 0 && i < 5 ? icon.frames[i].atMs - icon.frames[i - 1].atMs : 600;
        EXPECT_TRUE(gap >= 450 && gap <= 6000) << i << ": " << gap << " ms";
    }
    EXPECT_LT(icon.frames[n - 1].atMs - stoppedAt, 400u) << "the frame was waited out";
}

TEST_F(TrayIconTest, OneIconAtATimeWhoseDestructionWaitsForItsThread)
{
    TrayIcon* icon = new TrayIcon(host.hwnd);
    EXPECT_THROW(TrayIcon second(host.hwnd), TrayException);
    icon->StartFlashing();
    const HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, GetThreadId(icon->flashThread));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 100));
    delete icon;
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 0)) << "the thread outlived the icon";
    CloseHandle(thread);
}

TEST_F(TrayIconTest, WithoutItsEventOrThreadTheIconStaysAtRest)
{
    const TrayIconKernel real = trayIconKernel;
    for (const TrayIconKernel& failing : {TrayIconKernel{NoEvent, real.createThread}, {real.createEvent, NoThread}}) {
        SCOPED_TRACE(failing.createEvent == NoEvent ? "no event" : "no thread");
        trayIconKernel = failing;
        TrayIcon icon(host.hwnd);
        icon.StartFlashing();
        trayIconKernel = real;
        EXPECT_EQ(0, icon.flashing);
    }
}

TEST_F(SettingsTest, DataOfUpToFourBytesReadsAsANumberAndAFailedWriteIsReported)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert)) << "no key";
    const DWORD ones = 0xFFFFFFFFu;
    const BYTE bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettingOnlyShowChanged, REG_DWORD, &ones, 4);
    for (DWORD size : {8u, 2u}) {
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, kSettingPopUpAlert, REG_BINARY, bytes, size);
        ReadSetting(kSettingOnlyShowChanged);  // leaves all ones where an unfilled buffer would pick them up
        EXPECT_EQ(size == 2 ? 0x0201u : 0u, ReadSetting(kSettingPopUpAlert)) << size << " bytes";
    }
    EXPECT_NE(ERROR_SUCCESS, WriteSetting(std::string(20000, 'x').c_str(), &ones)) << "only the close succeeds";
}

// The engine's thread does not run here: only the page's re-read can tell the engine of the write.
TEST_F(SettingsTest, OptionsBoxesStoreEachClickAndAutostartWritesTheQuotedCommandAndTheEngineFollows)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunKey, kAutostartValue);
    RegWatchHandle* watch = nullptr;  // lives until the process ends
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    theApp.watch = watch;
    page.Create(&host, IDD_OPTIONS_PAGE);
    for (Window* box : {&page.popUpAlertBox, &page.noFlashBox, &page.autostartBox})
        SendMessageA(box->hwnd, BM_CLICK, 0, 0);
    EXPECT_EQ(1u, ReadSetting(kSettingPopUpAlert));
    EXPECT_EQ(1u, ReadSetting(kSettingNoTrayIconFlash));
    char stored[kAutostartCommandSize] = {};
    DWORD size = kAutostartCommandSize;
    RegGetValueA(HKEY_CURRENT_USER, kRunKey, kAutostartValue, RRF_RT_REG_SZ, nullptr, stored, &size);
    EXPECT_EQ("\"" + testing_support::ModulePath() + "\" -tray", std::string(stored));
    EXPECT_EQ(static_cast<int>(Unchanged), EngineStatus(watch));

    std::string buffer(testing_support::ModulePath().size() + 9, '#');  // one short of the command: nothing, not a truncated path
    EXPECT_EQ(0, BuildAutostartCommand(&buffer[0], static_cast<DWORD>(buffer.size() - 1)));
    EXPECT_EQ("", std::string(buffer.c_str()));
    EXPECT_EQ('#', buffer.back()) << "written past the end";
}

TEST_F(SettingsTest, AlertEndsWithItsResultAndItsBoxStoresThroughTheOptionsPage)
{
    EXPECT_EQ(0, RunAlert([](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); })) << "Esc";
    EXPECT_EQ(2, RunAlert([](HWND dialog) { SendDlgItemMessageA(dialog, IDC_SHOW_CHANGES, BM_CLICK, 0, 0); }));
    TrayIcon icon(host.hwnd);
    icon.StartFlashing();
    EXPECT_EQ(1, RunAlert([&](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_RESET_ALARM, BM_CLICK, 0, 0);
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(icon.flashThread, 10000)) << "still open";
    }));
    const DWORD on = 1;
    WriteSetting(kSettingPopUpAlert, &on);
    page.Create(&host, IDD_OPTIONS_PAGE);
    EXPECT_EQ(0, RunAlert([&](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_DO_NOT_SHOW, BM_CLICK, 0, 0);
        EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
        EXPECT_EQ(0, page.popUpAlertBox.IsChecked());
        SendDlgItemMessageA(dialog, IDC_GO_AWAY, BM_CLICK, 0, 0);
    }));
}

}  // namespace
