// The tray icon, settings, Options page and alert on the real templates and registry.
#include "app/alert_dialog.h"
#include "app/options_page.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "ui/app.h"

namespace {

using namespace testing_support;

class SettingsTest : public RegistryTest {
protected:
    SettingsTest() { host.hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr); }
    ~SettingsTest() override { theApp.watch = nullptr, DestroyWindow(host.hwnd); }  // and the page, its child
    INT_PTR RunAlert(std::function<void(HWND)> act)  // modal, as the Changes page runs it; -1 after 10 s
    {
        AlertDialog alert;
        DialogAnswerer answerer(std::move(act));
        ThreadTimer limit(10000, [&] { EndDialog(alert.hwnd, -1); });
        return alert.RunModal(IDD_ALERT, &host);
    }
    Window host;
    OptionsPage page;
};
using TrayIconTest = SettingsTest;

struct RecordingTrayIcon : TrayIcon {  // records each frame; only the flashing thread writes
    using TrayIcon::TrayIcon;
    ~RecordingTrayIcon() override { EndFlashThread(); }
    BOOL SetIcon(int iconId) override { return frames[count++ % 64] = {iconId, GetTickCount()}, TrayIcon::SetIcon(iconId); }
    struct Frame { int iconId; DWORD atMs; } frames[64] = {};
    std::atomic<size_t> count{0};
};

TEST_F(TrayIconTest, FlashesWarningAndBlankEvery600MsOnOneThreadAndAStopRestoresTheRestingIconAtOnce)
{
    RecordingTrayIcon icon(host.hwnd);
    icon.StopFlashing();  // at rest: the stop left signalled must not end the next run at once
    icon.StartFlashing(), icon.StartFlashing();  // a second thread would show a second warning frame at once
    ASSERT_TRUE(PumpUntil([&] { return icon.count >= 5; }, 10000));
    Sleep(100);
    const DWORD stoppedAt = GetTickCount();
    icon.StopFlashing();
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(icon.flashThread, 10000));
    EXPECT_EQ(0, icon.flashing);
    for (size_t i = 0, n = icon.count; i < n; ++i) {
        EXPECT_EQ(i + 1 == n ? IDI_KEYWARDEN : i % 2 ? IDI_BLANK : IDI_WARNING, icon.frames[i].iconId) << i;
        const DWORD gap = i > 0 && i < 5 ? icon.frames[i].atMs - icon.frames[i - 1].atMs : 600;
        EXPECT_TRUE(gap >= 450 && gap <= 6000) << i << ": " << gap << " ms";
        EXPECT_TRUE(i + 1 < n || icon.frames[i].atMs - stoppedAt < 400) << "the frame was waited out";
    }
}

HANDLE WINAPI NoEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) { return nullptr; }
HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) { return nullptr; }

TEST_F(TrayIconTest, OneIconAtATimeWhoseDestructionWaitsForItsThreadAndWhichWithoutEventOrThreadStaysAtRest)
{
    TrayIcon* icon = new TrayIcon(host.hwnd);
    EXPECT_THROW(TrayIcon second(host.hwnd), TrayException);
    icon->StartFlashing();
    const HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, GetThreadId(icon->flashThread));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 100));
    delete icon;
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 0)) << "the thread outlived the icon";
    CloseHandle(thread);
    const TrayIconKernel real = trayIconKernel;
    for (const TrayIconKernel& failing : {TrayIconKernel{NoEvent, real.createThread}, {real.createEvent, NoThread}}) {
        trayIconKernel = failing;
        TrayIcon resting(host.hwnd);
        resting.StartFlashing(), trayIconKernel = real;
        EXPECT_EQ(0, resting.flashing) << (failing.createEvent == NoEvent ? "no event" : "no thread");
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
    RegDeleteKeyValueA(HKEY_CURRENT_USER, ::kRunKey, kAutostartValue);
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&theApp.watch));  // lives until the process ends
    page.Create(&host, IDD_OPTIONS_PAGE);
    for (Window* box : {&page.popUpAlertBox, &page.noFlashBox, &page.autostartBox})
        SendMessageA(box->hwnd, BM_CLICK, 0, 0);
    EXPECT_TRUE(ReadSetting(kSettingPopUpAlert) == 1 && ReadSetting(kSettingNoTrayIconFlash) == 1);
    std::string stored(kAutostartCommandSize, '\0');
    DWORD size = kAutostartCommandSize;
    RegGetValueA(HKEY_CURRENT_USER, ::kRunKey, kAutostartValue, RRF_RT_REG_SZ, nullptr, &stored[0], &size);
    EXPECT_EQ("\"" + ModulePath() + "\" -tray", stored.c_str());
    RecordList state;
    RegWatch_CopyState(theApp.watch, &state);
    EXPECT_EQ(Unchanged, FindEntry(&state, HKEY_CURRENT_USER, ::kRunKey, kAutostartValue)->status);
    RegWatch_FreeState(&state);
    std::string buffer(ModulePath().size() + 9, '#');  // one short of the command: nothing, not a truncated path
    EXPECT_EQ(0, BuildAutostartCommand(&buffer[0], static_cast<DWORD>(buffer.size() - 1)));
    EXPECT_TRUE(buffer[0] == 0 && buffer.back() == '#') << "written past the end, or a truncated command";
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
        EXPECT_TRUE(ReadSetting(kSettingPopUpAlert) == 0 && page.popUpAlertBox.IsChecked() == 0);
        SendDlgItemMessageA(dialog, IDC_GO_AWAY, BM_CLICK, 0, 0);
    }));
}

}  // namespace
