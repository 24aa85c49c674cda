// The Changes page's flashing and walks, and the start failure box.
#include "app/changes_page.h"
#include "app/main_dialog.h"
#include "app/program.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"

using namespace testing_support;

// Keeps each copy of the engine's state that it releases, scribbled over, so that a walk still using an entry of
// one acts on garbage.
struct PoisonedPage : ChangesPage {
    std::vector<RecordList> released;  // one a rebuild; freed when the test ends
    void ReleaseState(RecordList* old) override
    {
        for (WatchedKey* key = WatchedKey_First(old); key; key = WatchedKey_Next(key))
            for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
                memset(entry->current->name, '#', entry->current->nameLen);
        released.push_back(*old), RecordList_Init(old);
    }
};

class ChangesPageTest : public RegistryTest {
protected:
    ChangesPageTest()
    {
        host.hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 800, 400, nullptr, nullptr, nullptr, nullptr);
        tray.reset(new TrayIcon(host.hwnd)), page.Create(&host, IDD_CHANGES_PAGE);
    }
    ~ChangesPageTest() override
    {
        DestroyWindow(host.hwnd);
        for (RecordList& copy : page.released)
            RegWatch_FreeState(&copy);
    }
    std::string Text(int row, int column)
    {
        char text[1024] = "";
        ListView_GetItemText(page.list.hwnd, row, column, text, sizeof text);
        return text;
    }
    int RowOf(const char* name)  // -1 for none
    {
        int row = ListView_GetItemCount(page.list.hwnd);
        while (--row >= 0 && Text(row, 1) != name) {}
        return row;
    }
    bool Shows(const char* name, const char* status)  // pumps until the value's row shows that ("": no row)
    {
        return PumpUntil([&] { return (RowOf(name) < 0 ? "" : Text(RowOf(name), 0)) == status; });
    }

    Window host;
    std::unique_ptr<TrayIcon> tray;
    PoisonedPage page;
};

TEST_F(ChangesPageTest, FlashingStartsOnAChangeAndStopsOnResetAlarmOrARebuildWithNoChange)
{
    Put(HKEY_CURRENT_USER, kRunKey, "KwPageA", "a");
    ASSERT_TRUE(Shows("KwPageA", "New (Added)"));
    EXPECT_TRUE(tray->flashing);
    PostMessageA(GetDlgItem(page.hwnd, IDC_RESET_ALARM), BM_CLICK, 0, 0);
    ASSERT_TRUE(Shows("KwPageA", "Unchanged"));
    EXPECT_TRUE(PumpUntil([&] { return !tray->flashing; })) << "Reset Alarm";
    tray->StartFlashing();
    page.Post(MSG_REFRESH_LIST, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !tray->flashing; })) << "a rebuild with no change";
}

// A rebuild inside a message box of Delete frees the copy the walk started from: the walk must go on with what
// it copied before the box.
TEST_F(ChangesPageTest, RebuildInsideAWalksMessageBoxLeavesTheWalkActingOnTheRightValues)
{
    for (const char* name : {"KwWalkA", "KwWalkB", "KwWalkC"})
        Put(HKEY_CURRENT_USER, kRunKey, name, "before");
    page.OnResetAlarm();
    ASSERT_TRUE(Shows("KwWalkA", "Unchanged"));
    // B goes behind the list's back; the list is not told before the walk.
    Put(HKEY_CURRENT_USER, kRunKey, "KwWalkB", nullptr);
    MSG message;  // the page's notice of it, taken off the queue unseen
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000 &&
         !PeekMessageA(&message, page.hwnd, MSG_REGISTRY_CHANGED, MSG_REGISTRY_CHANGED, PM_REMOVE);)
        Sleep(5);
    for (const char* name : {"KwWalkA", "KwWalkB", "KwWalkC"})
        ListView_SetItemState(page.list.hwnd, RowOf(name), LVIS_SELECTED, LVIS_SELECTED);
    // Listed later value first, the walk deletes C, fails in a box on B, in which the rebuild the walk posted
    // runs, and ends as the selection empties.
    bool rebuilt = false;
    std::vector<std::string> texts;
    DialogAnswerer answerer([&](HWND box) {
        const bool error = WindowText(box) == "Error";
        rebuilt = rebuilt || (error && PumpUntil([&] { return !page.released.empty(); }));
        texts.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
        PostMessageA(GetDlgItem(box, error ? IDOK : IDYES), BM_CLICK, 0, 0);
    });
    page.DeleteSelected();
    EXPECT_TRUE(rebuilt) << "no rebuild ran inside the Error box";
    EXPECT_EQ(texts, (std::vector<std::string>{"Are you sure you want to delete the selected items?",
                                               "Can't delete that value."}));
    EXPECT_TRUE(!Exists(HKEY_CURRENT_USER, kRunKey, "KwWalkC") && Exists(HKEY_CURRENT_USER, kRunKey, "KwWalkA"));
    EXPECT_TRUE(Shows("KwWalkB", "")) << "B was not re-read under its own name";
}

TEST(Start, WindowThatCannotBeBuiltIsToldInAnErrorBoxAndEndsTheProgramWithOne)
{
    struct ThrowingMainDialog : MainDialog { int OnInitDialog() override { throw 0; } };
    MainDialog missingTemplate;
    ThrowingMainDialog throwing;
    for (const auto& run : {std::make_pair<MainDialog*, int>(&missingTemplate, 4242), {&throwing, IDD_MAIN}}) {
        SCOPED_TRACE(run.second);
        std::vector<std::string> texts;  // of the "Error" boxes; the main window may come first
        DialogAnswerer answerer([&](HWND box) {
            if (WindowText(box) == "Error")
                texts.push_back(WindowText(GetDlgItem(box, 0xFFFF))), PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(RunProgram(*run.first, run.second, ""), 1);
        EXPECT_TRUE(texts == std::vector<std::string>{kStartFailedText} && !IsWindow(run.first->hwnd));
    }
}
