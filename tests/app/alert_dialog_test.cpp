// The change alert on its real template, run modally as the Changes page
// runs it; each test acts from inside the dialog's own message loop.
#include "app/alert_dialog.h"
#include "app/options_page.h"
#include "app/settings.h"
#include "tests/app/modal.h"
#include "tests/app/recording_tray_icon.h"
#include "tests/app/registry_guard.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Notes whether the alert was still on screen when the flashing was stopped.
class StopWatchingTrayIcon : public RecordingTrayIcon {
public:
    StopWatchingTrayIcon(HWND owner, std::shared_ptr<FrameLog> frameLog, const HWND* alert)
        : RecordingTrayIcon(owner, std::move(frameLog)), alertWindow(alert)
    {
    }
    void StopFlashing() override
    {
        ++stops;
        alertUpAtStop = *alertWindow && IsWindowVisible(*alertWindow);
        RecordingTrayIcon::StopFlashing();
    }
    const HWND* alertWindow;
    int stops = 0;
    bool alertUpAtStop = false;
};

void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class AlertDialogTest : public ::testing::Test {
protected:
    AlertDialogTest()
    {
        ownerWindow.hwnd = owner.hwnd;
    }
    ~AlertDialogTest() override
    {
        if (optionsPage && optionsPage->hwnd)
            DestroyWindow(optionsPage->hwnd);
    }

    // Runs a fresh alert as the Changes page does and acts on it once it is up.
    INT_PTR RunAlert(std::function<void(HWND)> act)
    {
        AlertDialog alert;
        alertWindow = nullptr;
        ModalAction action([&] { return alertWindow = alert.hwnd; }, std::move(act));
        INT_PTR result = alert.RunModal(IDD_ALERT, &ownerWindow);
        EXPECT_TRUE(action.Acted()) << "the alert never showed";
        alertWindow = nullptr;
        return result;
    }
    OptionsPage& OpenOptionsPage()
    {
        optionsPage = std::make_unique<OptionsPage>();
        optionsPage->Create(&ownerWindow, IDD_OPTIONS_PAGE);
        return *optionsPage;
    }

    SavedSettings savedSettings;
    HostWindow owner;
    Window ownerWindow;
    HWND alertWindow = nullptr;
    std::unique_ptr<OptionsPage> optionsPage;
};

TEST_F(AlertDialogTest, EscapeEnterAndShowChangesEndWithTheirResults)
{
    EXPECT_EQ(0, RunAlert([](HWND dialog) {
        HWND focus = GetFocus();
        PostMessageA(focus ? focus : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    }));
    EXPECT_EQ(2, RunAlert([](HWND dialog) {
        HWND showChanges = GetDlgItem(dialog, IDC_SHOW_CHANGES);
        EXPECT_EQ(showChanges, GetFocus()) << "the default button has the focus when the alert opens";
        PostMessageA(showChanges, WM_KEYDOWN, VK_RETURN, 0);
    }));
    EXPECT_EQ(2, RunAlert([](HWND dialog) { Click(dialog, IDC_SHOW_CHANGES); }));
}

TEST_F(AlertDialogTest, GoAwayAndCloseEndWithZeroAndLeaveTheFlashing)
{
    auto log = std::make_shared<FrameLog>();
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StartFlashing();

    EXPECT_EQ(0, RunAlert([](HWND dialog) { Click(dialog, IDC_GO_AWAY); }));
    EXPECT_EQ(0, RunAlert([](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }));
    EXPECT_EQ(0, RunAlert([](HWND dialog) { SendMessageA(dialog, WM_CLOSE, 0, 0); }));

    EXPECT_EQ(1, icon.flashing);
    EXPECT_TRUE(log->WaitForCount(2, 10000)) << "the icon goes on flashing";
}

TEST_F(AlertDialogTest, ResetAlarmStopsTheFlashingBeforeItCloses)
{
    auto log = std::make_shared<FrameLog>();
    StopWatchingTrayIcon icon(owner.hwnd, log, &alertWindow);
    icon.StartFlashing();
    ASSERT_TRUE(log->WaitForCount(1, 10000));

    EXPECT_EQ(1, RunAlert([](HWND dialog) { Click(dialog, IDC_RESET_ALARM); }));
    EXPECT_EQ(1, icon.stops);
    EXPECT_TRUE(icon.alertUpAtStop) << "the flashing was stopped only after the alert had gone";
    EXPECT_TRUE(log->WaitForLast(IDI_KEYWARDEN, 5000));
}

TEST_F(AlertDialogTest, ResetAlarmWithoutATrayIconStillEndsWithOne)
{
    ASSERT_EQ(nullptr, TrayIcon::instance);
    EXPECT_EQ(1, RunAlert([](HWND dialog) { Click(dialog, IDC_RESET_ALARM); }));
}

TEST_F(AlertDialogTest, DoNotShowBoxActsAtOnceThroughTheOptionsPage)
{
    const DWORD on = 1;
    WriteSetting(kSettingPopUpAlert, &on);
    OptionsPage& options = OpenOptionsPage();
    ASSERT_EQ(1, options.popUpAlertBox.IsChecked());

    EXPECT_EQ(0, RunAlert([&](HWND dialog) {
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, IDC_DO_NOT_SHOW));
        Click(dialog, IDC_DO_NOT_SHOW);
        EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
        EXPECT_EQ(0, options.popUpAlertBox.IsChecked());
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the alert stays open";

        Click(dialog, IDC_DO_NOT_SHOW);
        EXPECT_EQ(1u, ReadSetting(kSettingPopUpAlert));
        EXPECT_EQ(1, options.popUpAlertBox.IsChecked());
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, IDC_GO_AWAY);
    }));
    EXPECT_EQ(1u, ReadSetting(kSettingPopUpAlert));

    // A fresh alert starts clear; checked, then Show Changes: the choice stands.
    EXPECT_EQ(2, RunAlert([](HWND dialog) {
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, IDC_DO_NOT_SHOW));
        Click(dialog, IDC_DO_NOT_SHOW);
        Click(dialog, IDC_SHOW_CHANGES);
    }));
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
    EXPECT_EQ(0, options.popUpAlertBox.IsChecked());
}

TEST_F(AlertDialogTest, DoNotShowBoxWithoutAnOptionsPageStillStoresTheChoice)
{
    ASSERT_EQ(nullptr, OptionsPage::instance);
    const DWORD on = 1;
    WriteSetting(kSettingPopUpAlert, &on);
    EXPECT_EQ(0, RunAlert([](HWND dialog) {
        Click(dialog, IDC_DO_NOT_SHOW);
        EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
        Click(dialog, IDC_DO_NOT_SHOW);
        EXPECT_EQ(1u, ReadSetting(kSettingPopUpAlert));
        Click(dialog, IDC_GO_AWAY);
    }));
}

}  // namespace
