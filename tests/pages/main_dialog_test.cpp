// The program's start and end in process: what the user is told when the
// window cannot be built, and what is left once the program has quit.
#include "app/main_dialog.h"
#include "app/options_page.h"
#include "app/program.h"
#include "app/tray_icon.h"
#include "tests/pages/registry_helpers.h"
#include "tests/support/test_support.h"
#include "ui/app.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <gtest/gtest.h>

using testing_support::DialogAnswerer;
using testing_support::ThreadTimer;

namespace {

// The boxes of a run, leaving out the main window's own activation.
std::vector<DialogAnswerer::Seen> ErrorBoxes(const DialogAnswerer& answerer)
{
    std::vector<DialogAnswerer::Seen> boxes;
    for (const DialogAnswerer::Seen& seen : answerer.seen)
        if (seen.caption == "Error")
            boxes.push_back(seen);
    return boxes;
}

class ThrowingMainDialog : public MainDialog {
public:
    int OnInitDialog() override { throw 0; }
};

}  // namespace

TEST(StartsInTray, OnlyTheExactLowerCaseWordAnywhereInTheCommandLine)
{
    EXPECT_EQ(StartsInTray("-tray"), 1);
    EXPECT_EQ(StartsInTray("x-trayx --other"), 1);
    EXPECT_EQ(StartsInTray("/a -tray"), 1);
    EXPECT_EQ(StartsInTray("-TRAY"), 0);
    EXPECT_EQ(StartsInTray("/tray"), 0);
    EXPECT_EQ(StartsInTray("-tra y"), 0);
    EXPECT_EQ(StartsInTray(""), 0);
    EXPECT_EQ(StartsInTray(nullptr), 0);
}

TEST(Start, MissingWindowTemplateIsReportedInAnErrorBoxAndEndsWithOne)
{
    DialogAnswerer answerer(IDOK);
    MainDialog mainDialog;
    EXPECT_EQ(RunProgram(mainDialog, 4242, ""), 1);
    const auto boxes = ErrorBoxes(answerer);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kStartFailedText);
    EXPECT_EQ(theApp.mainWindow, nullptr);
}

TEST(Start, FailureWhileTheWindowInitialisesIsReportedAndEndsWithOne)
{
    kwtest::RegistrySnapshot snapshot;
    DialogAnswerer answerer(IDOK);
    ThrowingMainDialog mainDialog;
    EXPECT_EQ(RunProgram(mainDialog, IDD_MAIN, ""), 1);
    const auto boxes = ErrorBoxes(answerer);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kStartFailedText);
    EXPECT_FALSE(IsWindow(mainDialog.hwnd));
    EXPECT_EQ(theApp.mainWindow, nullptr);
}

TEST(Start, QuitTakesDownThePagesAndTheTrayIconAndReturnsZero)
{
    kwtest::RegistrySnapshot snapshot;
    MainDialog mainDialog;
    bool ranHidden = false;
    ThreadTimer quit(300, [&] {
        ranHidden = IsWindow(mainDialog.hwnd) && !IsWindowVisible(mainDialog.hwnd) && TrayIcon::instance &&
                    mainDialog.pages.size() == 3 && theApp.mainWindow == &mainDialog;
        PostMessageA(mainDialog.hwnd, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(RunProgram(mainDialog, IDD_MAIN, "-tray"), 0);
    EXPECT_TRUE(quit.fired());
    EXPECT_TRUE(ranHidden);
    EXPECT_FALSE(IsWindow(mainDialog.hwnd));
    EXPECT_TRUE(mainDialog.pages.empty());
    EXPECT_EQ(TrayIcon::instance, nullptr);
    EXPECT_EQ(OptionsPage::instance, nullptr);
    EXPECT_EQ(theApp.mainWindow, nullptr);
}
