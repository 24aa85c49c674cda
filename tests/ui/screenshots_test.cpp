// Saves a picture of each dialog template as the user sees it, under
// <build>/screenshots/, for a person to look over.
#include "ui/controls.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "tests/ui/page_host.h"

#include <gtest/gtest.h>

using testing_support::PumpMessages;
using testing_support::SaveScreenshot;

namespace {

void ExpectSaved(const std::string& path)
{
    ASSERT_FALSE(path.empty());
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    EXPECT_GT(data.nFileSizeLow, 1000u) << path;
}

}  // namespace

TEST(Screenshots, MainWindowWithEachPage)
{
    PageHost host;
    Dialog changes, options, about;
    host.AddPage(changes, IDD_CHANGES_PAGE);
    host.AddPage(options, IDD_OPTIONS_PAGE);
    host.AddPage(about, IDD_ABOUT_PAGE);
    host.main.Show(SW_SHOW);

    struct {
        int tab;
        Dialog* page;
        const char* name;
    } shots[] = {{0, &changes, "main-changes"}, {1, &options, "main-options"}, {2, &about, "main-about"}};
    for (const auto& shot : shots) {
        host.ShowPage(shot.tab, *shot.page);
        PumpMessages(100);
        ExpectSaved(SaveScreenshot(host.main.hwnd, shot.name));
    }
    host.main.Show(SW_HIDE);
}

TEST(Screenshots, ChangeAlert)
{
    Dialog alert;
    alert.Create(nullptr, IDD_ALERT);
    alert.Show(SW_SHOW);
    PumpMessages(100);
    ExpectSaved(SaveScreenshot(alert.hwnd, "alert"));
    DestroyWindow(alert.hwnd);
}
