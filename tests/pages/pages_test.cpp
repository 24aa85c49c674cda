// In process, on Wine: the Changes page's tray icon, alert and walks, and the start failure box.
#include "app/changes_page.h"
#include "app/main_dialog.h"
#include "app/program.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "tests/pages/registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "resources/resource.h"

using testing_support::DialogAnswerer;
using testing_support::PumpUntil;
using testing_support::WindowText;

namespace {

class RecordingTrayIcon : public TrayIcon {
public:
    using TrayIcon::TrayIcon;
    void StartFlashing() override { ++starts; flashingNow = true; }
    void StopFlashing() override { flashingNow = false; }
    int starts = 0;
    bool flashingNow = false;
};

// Keeps each copy of the engine's state that it releases, scribbled over, so
// that a walk still using an entry of one acts on garbage.
class PoisonedPage : public ChangesPage {
public:
    std::vector<RecordList> released;  // one a rebuild; freed when the test ends
    void ReleaseState(RecordList* old) override
    {
        for (WatchedKey* key = WatchedKey_First(old); key; key = WatchedKey_Next(key))
            for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
                std::memset(entry->current->name, '#', entry->current->nameLen);
        released.push_back(*old);
        RecordList_Init(old);
    }
};

class ChangesPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {kSettingPopUpAlert, kSettingNoTrayIconFlash, kSettingOnlyShowChanged})
            Set(name, 0);
        host.hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 800, 400, nullptr, nullptr, nullptr, nullptr);
        tray.reset(new RecordingTrayIcon(host.hwnd));
        page.Create(&host, IDD_CHANGES_PAGE);
    }
    void TearDown() override
    {
        DestroyWindow(host.hwnd);
        for (RecordList& copy : page.released)
            RegWatch_FreeState(&copy);
    }

    static void Set(const char* setting, DWORD value) { WriteSetting(setting, &value); }
    std::string Text(int row, int column)
    {
        char text[1024] = "";
        ListView_GetItemText(page.list.hwnd, row, column, text, sizeof text);
        return text;
    }
    int RowOf(const char* name)
    {
        for (int row = 0; row < ListView_GetItemCount(page.list.hwnd); ++row)
            if (Text(row, 1) == name)
                return row;
        return -1;
    }
    // Pumps messages until the value's row shows that text ("" for no row).
    bool Shows(const char* name, const char* text, int column = 0)
    {
        return PumpUntil([&] { return (RowOf(name) < 0 ? "" : Text(RowOf(name), column)) == text; }, 5000);
    }
    // Runs the walk on the values' rows, the list not told of the latest
    // change, answering Yes and OK; the rebuild that the walk posted runs
    // inside its first "Error" box. Returns the boxes' texts.
    std::vector<std::string> WalkStale(void (ChangesPage::*walk)(), std::initializer_list<const char*> names)
    {
        MSG message;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(5))
            if (PeekMessageA(&message, page.hwnd, MSG_REGISTRY_CHANGED, MSG_REGISTRY_CHANGED, PM_REMOVE))
                break;
        for (const char* name : names)
            ListView_SetItemState(page.list.hwnd, RowOf(name), LVIS_SELECTED, LVIS_SELECTED);
        const size_t before = page.released.size();
        bool rebuilt = false;
        std::vector<std::string> texts;
        DialogAnswerer answerer([&](HWND box) {
            const bool error = WindowText(box) == "Error";
            if (error && !rebuilt)
                rebuilt = PumpUntil([&] { return page.released.size() > before; }, 5000);
            texts.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
            PostMessageA(GetDlgItem(box, error ? IDOK : IDYES), BM_CLICK, 0, 0);
        });
        (page.*walk)();
        EXPECT_TRUE(rebuilt) << "no rebuild ran inside an Error box";
        return texts;
    }

    kwtest::RegistrySnapshot snapshot;
    Window host;
    std::unique_ptr<RecordingTrayIcon> tray;
    PoisonedPage page;
};

}  // namespace

TEST_F(ChangesPageTest, FlashingAndTheAlertFollowEachChangeWithTheSettingsOfThatMoment)
{
    DialogAnswerer answerer(IDC_RESET_ALARM);  // the alert's Reset Alarm
    ASSERT_EQ(kwtest::SetRunValue("KwPageA", "a"), ERROR_SUCCESS);
    ASSERT_TRUE(Shows("KwPageA", "New (Added)"));
    EXPECT_TRUE(tray->flashingNow);
    EXPECT_TRUE(answerer.seen.empty()) << "an alert with PopUpAlert off";

    PostMessageA(GetDlgItem(page.hwnd, IDC_RESET_ALARM), BM_CLICK, 0, 0);
    ASSERT_TRUE(Shows("KwPageA", "Unchanged"));
    EXPECT_FALSE(tray->flashingNow) << "the page's Reset Alarm";

    Set(kSettingNoTrayIconFlash, 1);
    ASSERT_EQ(kwtest::SetRunValue("KwPageB", "b"), ERROR_SUCCESS);
    ASSERT_TRUE(Shows("KwPageB", "New (Added)"));
    EXPECT_EQ(tray->starts, 1) << "NoTrayIconFlash";

    Set(kSettingNoTrayIconFlash, 0);
    Set(kSettingPopUpAlert, 1);
    ASSERT_EQ(kwtest::SetRunValue("KwPageC", "c"), ERROR_SUCCESS);
    ASSERT_TRUE(PumpUntil([&] { return answerer.seen.size() == 1 && !ChangesPage::alertShowing; }, 5000));
    EXPECT_EQ(tray->starts, 2);
    EXPECT_FALSE(tray->flashingNow) << "the alert's Reset Alarm";
    EXPECT_TRUE(Shows("KwPageC", "New (Added)")) << "the list waits for its next rebuild";

    tray->StartFlashing();
    page.Post(MSG_REFRESH_LIST, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !tray->flashingNow; }, 5000)) << "a rebuild with no change";
}

// A rebuild inside a message box of Delete or Revert frees the copy the walk
// started from: the walk must go on with what it copied before the box.
TEST_F(ChangesPageTest, RebuildInsideAWalksMessageBoxLeavesTheWalkActingOnTheRightValues)
{
    for (const char* name : {"KwWalkA", "KwWalkB", "KwWalkC"})
        ASSERT_EQ(kwtest::SetRunValue(name, "before"), ERROR_SUCCESS);
    page.OnResetAlarm();
    ASSERT_TRUE(Shows("KwWalkA", "Unchanged"));
    // Listed later value first, the walk deletes C, fails in a box on B, gone
    // behind the list's back, and ends as the rebuild empties the selection.
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_CURRENT_USER, kwtest::kRunKey, "KwWalkB"), ERROR_SUCCESS);
    EXPECT_EQ(WalkStale(&ChangesPage::DeleteSelected, {"KwWalkA", "KwWalkB", "KwWalkC"}),
              (std::vector<std::string>{"Are you sure you want to delete the selected items?",
                                        "Can't delete that value."}));
    EXPECT_TRUE(!kwtest::RunValueExists("KwWalkC") && kwtest::RunValueExists("KwWalkA"));
    EXPECT_TRUE(Shows("KwWalkB", "")) << "B was not re-read under its own name";

    // Revert meets the New value, listed first, then A, changed behind the list's back.
    ASSERT_EQ(kwtest::SetRunValue("KwWalkNew", "added"), ERROR_SUCCESS);
    ASSERT_TRUE(Shows("KwWalkNew", "New (Added)"));
    ASSERT_EQ(kwtest::SetRunValue("KwWalkA", "after"), ERROR_SUCCESS);
    EXPECT_EQ(WalkStale(&ChangesPage::RevertSelected, {"KwWalkNew", "KwWalkA"}),
              std::vector<std::string>{"That item hasn't chaned as far as I know - let me re-check then try again"});
    EXPECT_FALSE(kwtest::RunValueExists("KwWalkNew"));
    EXPECT_TRUE(Shows("KwWalkA", "after", 2) && Shows("KwWalkA", "Unchanged"))
        << "A was not re-read under its own name";
}

TEST(Start, WindowThatCannotBeBuiltIsToldInAnErrorBoxAndEndsTheProgramWithOne)
{
    struct ThrowingMainDialog : MainDialog {
        int OnInitDialog() override { throw 0; }
    };
    MainDialog missingTemplate;
    ThrowingMainDialog throwing;
    const std::pair<MainDialog*, int> runs[] = {{&missingTemplate, 4242}, {&throwing, IDD_MAIN}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.second);
        std::vector<std::string> texts;  // of the "Error" boxes; the main window may come first
        LRESULT icon = 0;
        DialogAnswerer answerer([&](HWND box) {
            if (WindowText(box) != "Error")
                return;
            texts.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
            icon = SendDlgItemMessageA(box, GetDlgItem(box, 0x14) ? 0x14 : 0x440, STM_GETICON, 0, 0);  // Windows, Wine
            PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(RunProgram(*run.first, run.second, ""), 1);
        EXPECT_EQ(texts, std::vector<std::string>{kStartFailedText});
        EXPECT_EQ(icon, reinterpret_cast<LRESULT>(LoadIconA(nullptr, IDI_EXCLAMATION)));
        EXPECT_FALSE(IsWindow(run.first->hwnd));
    }
}
