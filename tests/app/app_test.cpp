// The tray icon, settings, Options page, alert, Changes page and start-up on the real templates and registry.
#include "app/alert_dialog.h"
#include "app/changes_page.h"
#include "app/main_dialog.h"
#include "app/options_page.h"
#include "app/program.h"
#include "app/record_text.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "tests/support/test_support.h"
#include "ui/app.h"

#include <fstream>

using namespace testing_support;

class SettingsTest : public RegistryTest {
protected:
    SettingsTest() { host.hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 800, 400, nullptr, nullptr, nullptr, nullptr); }
    ~SettingsTest() override { theApp.watch = nullptr, DestroyWindow(host.hwnd); }  // and the pages, its children
    INT_PTR RunAlert(std::function<void(HWND)> act) {  // modal, as the Changes page runs it; -1 after 10 s
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

TEST_F(TrayIconTest, FlashesWarningAndBlankEvery600MsOnOneThreadAndAStopRestoresTheRestingIconAtOnce) {
    RecordingTrayIcon icon(host.hwnd);
    icon.StopFlashing();  // at rest: the stop left signalled must not end the next run at once
    icon.StartFlashing(), icon.StartFlashing();  // a second thread would show a second warning frame at once
    ASSERT_TRUE(PumpUntil([&] { return icon.count >= 5; }, 10000));
    const DWORD stoppedAt = (Sleep(100), GetTickCount());
    icon.StopFlashing();
    ASSERT_TRUE(WaitForSingleObject(icon.flashThread, 10000) == WAIT_OBJECT_0 && !icon.flashing);
    for (size_t i = 0, n = icon.count; i < n; ++i) {
        EXPECT_EQ(i + 1 == n ? IDI_KEYWARDEN : i % 2 ? IDI_BLANK : IDI_WARNING, icon.frames[i].iconId) << i;
        const DWORD gap = i > 0 && i < 5 ? icon.frames[i].atMs - icon.frames[i - 1].atMs : 600;
        EXPECT_TRUE(gap >= 450 && gap <= 6000) << i << ": " << gap << " ms";
        EXPECT_TRUE(i + 1 < n || icon.frames[i].atMs - stoppedAt < 400) << "the frame was waited out";
    }
}

static HANDLE WINAPI NoEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR) { return nullptr; }
static HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) { return nullptr; }

TEST_F(TrayIconTest, OneIconAtATimeWhoseDestructionWaitsForItsThreadAndWhichWithoutEventOrThreadStaysAtRest) {
    TrayIcon* icon = new TrayIcon(host.hwnd);
    EXPECT_THROW(TrayIcon second(host.hwnd), TrayException);
    icon->StartFlashing();
    const HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, GetThreadId(icon->flashThread));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 100));
    delete icon;
    EXPECT_TRUE(WaitForSingleObject(thread, 0) == WAIT_OBJECT_0 && CloseHandle(thread)) << "the thread outlived the icon";
    const TrayIconKernel real = trayIconKernel;
    for (const TrayIconKernel& failing : {TrayIconKernel{NoEvent, real.createThread}, {real.createEvent, NoThread}}) {
        trayIconKernel = failing;
        TrayIcon resting(host.hwnd);
        resting.StartFlashing(), trayIconKernel = real;
        EXPECT_EQ(0, resting.flashing) << (failing.createEvent == NoEvent ? "no event" : "no thread");
    }
}

TEST_F(SettingsTest, DataOfUpToFourBytesReadsAsANumberAndAFailedWriteIsReported) {
    EXPECT_EQ(0u, (RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey), ReadSetting(kSettingPopUpAlert))) << "no key";
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
TEST_F(SettingsTest, OptionsBoxesStoreEachClickAndAutostartWritesTheQuotedCommandAndTheEngineFollows) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey), RegDeleteKeyValueA(HKEY_CURRENT_USER, ::kRunKey, kAutostartValue);
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&theApp.watch));  // lives until the process ends
    ASSERT_EQ(1, page.Create(&host, IDD_OPTIONS_PAGE));
    for (Window* box : {&page.popUpAlertBox, &page.noFlashBox, &page.autostartBox})
        SendMessageA(box->hwnd, BM_CLICK, 0, 0);
    EXPECT_TRUE(ReadSetting(kSettingPopUpAlert) == 1 && ReadSetting(kSettingNoTrayIconFlash) == 1);
    std::string stored(kAutostartCommandSize, '\0');
    DWORD size = kAutostartCommandSize;
    RegGetValueA(HKEY_CURRENT_USER, ::kRunKey, kAutostartValue, RRF_RT_REG_SZ, nullptr, &stored[0], &size);
    EXPECT_EQ("\"" + ModulePath() + "\" -tray", stored.c_str());
    RecordList state;
    EXPECT_TRUE(!RegWatch_CopyState(theApp.watch, &state) && FindEntry(&state, HKEY_CURRENT_USER, ::kRunKey, kAutostartValue)->status == Unchanged);
    RegWatch_FreeState(&state);
    std::string buffer(ModulePath().size() + 9, '#');  // one short of the command: nothing, not a truncated path
    EXPECT_EQ(0, BuildAutostartCommand(&buffer[0], static_cast<DWORD>(buffer.size() - 1)));
    EXPECT_TRUE(buffer[0] == 0 && buffer.back() == '#') << "written past the end, or a truncated command";
}

TEST_F(SettingsTest, AlertEndsWithItsResultAndItsBoxStoresThroughTheOptionsPage) {
    EXPECT_EQ(0, RunAlert([](HWND) { PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); })) << "Esc";
    EXPECT_EQ(2, RunAlert([](HWND dialog) { SendDlgItemMessageA(dialog, IDC_SHOW_CHANGES, BM_CLICK, 0, 0); }));
    TrayIcon icon(host.hwnd);
    EXPECT_EQ(1, (icon.StartFlashing(), RunAlert([&](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_RESET_ALARM, BM_CLICK, 0, 0);
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(icon.flashThread, 10000)) << "still open";
    })));
    const DWORD on = 1;
    WriteSetting(kSettingPopUpAlert, &on), page.Create(&host, IDD_OPTIONS_PAGE);
    EXPECT_EQ(0, RunAlert([&](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_DO_NOT_SHOW, BM_CLICK, 0, 0);
        EXPECT_TRUE(ReadSetting(kSettingPopUpAlert) == 0 && page.popUpAlertBox.IsChecked() == 0);
        SendDlgItemMessageA(dialog, IDC_GO_AWAY, BM_CLICK, 0, 0);
    }));
}

// Keeps each copy of the engine's state that it releases, scribbled over, so that a walk still using an entry of
// one acts on garbage; counts the notices and rebuilds it gets.
struct PoisonedPage : ChangesPage {
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        notices += message == MSG_REGISTRY_CHANGED, refreshes += message == MSG_REFRESH_LIST;
        return ChangesPage::WindowProc(message, wParam, lParam);
    }
    int notices = 0, refreshes = 0;
    std::vector<RecordList> released;  // one a rebuild; freed when the test ends
    void ReleaseState(RecordList* old) override {
        for (WatchedKey* key = WatchedKey_First(old); key; key = WatchedKey_Next(key))
            for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
                memset(entry->current->name, '#', entry->current->nameLen);
        released.push_back(*old), RecordList_Init(old);
    }
    ~PoisonedPage() override {
        for (RecordList& copy : released) RegWatch_FreeState(&copy);
    }
};

class ChangesPageTest : public SettingsTest {
protected:
    ChangesPageTest() { tray.reset(new TrayIcon(host.hwnd)), changes.Create(&host, IDD_CHANGES_PAGE); }
    std::string Text(int row, int column) { char t[1024] = ""; ListView_GetItemText(changes.list.hwnd, row, column, t, 1024); return t; }
    int RowOf(const char* name) { int row = ListView_GetItemCount(changes.list.hwnd); while (--row >= 0 && Text(row, 1) != name) {} return row; }
    bool Shows(const char* name, const char* status) {  // pumps until the value's row shows that ("": no row)
        return PumpUntil([&] { return (RowOf(name) < 0 ? "" : Text(RowOf(name), 0)) == status; });
    }

    std::unique_ptr<TrayIcon> tray;
    PoisonedPage changes;
};

TEST_F(ChangesPageTest, FlashingStartsOnAChangeAndStopsOnResetAlarmOrARebuildWithNoChange) {
    Put(HKEY_CURRENT_USER, ::kRunKey, "KwPageA", "a");
    ASSERT_TRUE(Shows("KwPageA", "New (Added)"));
    EXPECT_TRUE(tray->flashing && PostMessageA(GetDlgItem(changes.hwnd, IDC_RESET_ALARM), BM_CLICK, 0, 0));
    ASSERT_TRUE(Shows("KwPageA", "Unchanged"));
    EXPECT_TRUE(PumpUntil([&] { return !tray->flashing; })) << "Reset Alarm";
    tray->StartFlashing(), changes.Post(MSG_REFRESH_LIST, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !tray->flashing; })) << "a rebuild with no change";
}

// A rebuild inside a message box of Delete frees the copy the walk started from and empties the selection: the
// walk must go on with the rows selected when the user pressed Delete.
TEST_F(ChangesPageTest, DeleteActsOnEveryRowSelectedAtThePressThoughARebuildRunsInsideItsErrorBox) {
    for (const char* name : {"KwWalkA", "KwWalkB", "KwWalkC"}) Put(HKEY_CURRENT_USER, ::kRunKey, name, "before");
    changes.OnResetAlarm();
    ASSERT_TRUE(Shows("KwWalkA", "Unchanged"));
    // B goes behind the list's back; the list is not told before the walk.
    Put(HKEY_CURRENT_USER, ::kRunKey, "KwWalkB", nullptr);
    MSG message;  // the page's notice of it, taken off the queue unseen
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000 &&
         !PeekMessageA(&message, changes.hwnd, MSG_REGISTRY_CHANGED, MSG_REGISTRY_CHANGED, PM_REMOVE);)
        Sleep(5);
    for (const char* name : {"KwWalkA", "KwWalkB", "KwWalkC"})
        ListView_SetItemState(changes.list.hwnd, RowOf(name), LVIS_SELECTED, LVIS_SELECTED);
    // Listed later value first, the walk deletes C, fails in a box on B, in which the rebuild the walk posted
    // runs, and goes on to A.
    bool rebuilt = false;
    std::vector<std::string> texts;
    DialogAnswerer answerer([&](HWND box) {
        const bool error = WindowText(box) == "Error";
        rebuilt = rebuilt || (error && PumpUntil([&] { return !changes.released.empty(); }));
        texts.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
        PostMessageA(GetDlgItem(box, error ? IDOK : IDYES), BM_CLICK, 0, 0);
    });
    changes.DeleteSelected();
    EXPECT_TRUE(rebuilt) << "no rebuild ran inside the Error box";
    EXPECT_EQ(texts, (std::vector<std::string>{"Are you sure you want to delete the selected items?",
                                               "Can't delete that value."}));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, ::kRunKey, "KwWalkC") || Exists(HKEY_CURRENT_USER, ::kRunKey, "KwWalkA"));
    EXPECT_TRUE(Shows("KwWalkB", "")) << "B was not re-read under its own name";
}

TEST_F(ChangesPageTest, RebuildKeepsSelectionAndFocusOnTheirValueWhenANewRowPushesItDown) {
    for (const char* name : {"KwListA", "KwListB", "KwListC"}) Put(HKEY_CURRENT_USER, ::kRunKey, name, "before");
    changes.OnResetAlarm();
    ASSERT_TRUE(Shows("KwListC", "Unchanged"));
    const HWND list = changes.list.hwnd;
    const int b = RowOf("KwListB") + 1;  // once the new value is listed above the others
    ListView_SetItemState(list, b - 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Put(HKEY_CURRENT_USER, ::kRunKey, "KwListC", "after"), Put(HKEY_CURRENT_USER, ::kRunKey, "KwListD", "new");
    ASSERT_TRUE(Shows("KwListD", "New (Added)") && Shows("KwListC", "Changed"));
    EXPECT_EQ(RowOf("KwListB"), b);
    EXPECT_TRUE(ListView_GetNextItem(list, -1, LVNI_SELECTED) == b && ListView_GetNextItem(list, b, LVNI_SELECTED) == -1);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), b);
}

// While a value stays Deleted the engine calls back at every comparison, also for a key made or removed below
// CurrentVersion: such notices bring nothing new, so no rebuild, flashing or second alert.
TEST_F(ChangesPageTest, NoticesWithNothingNewChangeNothingAndAFloodOfRequestsEndsInOneRebuild) {
    const char noise[] = "Software\\Microsoft\\Windows\\CurrentVersion\\KwListNoise";  // below no watched key
    const DWORD on = 1;
    int alerts = 0;
    WriteSetting(kSettingPopUpAlert, &on);
    DialogAnswerer answerer([&](HWND alert) { ++alerts, PostMessageA(GetDlgItem(alert, IDC_GO_AWAY), BM_CLICK, 0, 0); });
    Put(HKEY_CURRENT_USER, ::kRunKey, "KwListGone", "x");
    ASSERT_TRUE(Shows("KwListGone", "New (Added)"));
    Put(HKEY_CURRENT_USER, ::kRunKey, "KwListGone", nullptr);
    ASSERT_TRUE(Shows("KwListGone", "Deleted") && (PumpUntil([] { return false; }, 300), alerts >= 1));
    const int alerted = alerts;
    changes.refreshes = changes.notices = 0, tray->StopFlashing();
    ASSERT_TRUE(PumpUntil([&] { return !tray->flashing; }));
    for (int round = 0; round < 10; ++round)  // made, then removed
        round % 2 ? RegDeleteTreeA(HKEY_CURRENT_USER, noise) : RegSetKeyValueA(HKEY_CURRENT_USER, noise, "", REG_SZ, "", 1), PumpUntil([] { return false; }, 50);
    for (int notice = 0; notice < 20; ++notice) changes.Post(MSG_REGISTRY_CHANGED, 0, 0);
    PumpUntil([] { return false; }, 300);
    EXPECT_GT(changes.notices, 20) << "the engine did not call back on the keys made and removed";
    EXPECT_TRUE(changes.refreshes == 0 && alerts == alerted && !tray->flashing);
    for (int request = 0; request < 50; ++request) changes.RequestRefresh();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(changes.refreshes, 1);
}

// With the accepted state remembered, a saved file that cannot be used is set aside, not deleted, the start
// takes a fresh baseline and saves it, and the Main tab says so once.
TEST_F(SettingsTest, AnUnusableSavedStateIsSetAsideAndTheMainTabSaysSo) {
    const std::string folder = ModulePath("appdata-test");
    SetEnvironmentVariableA("LOCALAPPDATA", folder.c_str());
    CreateDirectoryA(folder.c_str(), nullptr), CreateDirectoryA((folder + "\\Keywarden").c_str(), nullptr);
    const std::string file = folder + "\\Keywarden\\baseline.dat";
    std::ofstream(file, std::ios::binary) << "Keywarden accepted state 1\nkey HKEY_CURRENT_USER 0 Run\n";  // cut short
    const DWORD on = 1;
    WriteSetting(kSettingRememberBaseline, &on);
    ChangesPage started;
    started.Create(&host, IDD_CHANGES_PAGE);
    char notice[256] = "";
    GetDlgItemTextA(started.hwnd, IDC_STATE_NOTICE, notice, sizeof notice);
    WIN32_FIND_DATAA found{};
    const HANDLE aside = FindFirstFileA((file + ".unusable-*").c_str(), &found);
    EXPECT_NE(INVALID_HANDLE_VALUE, aside) << "the unusable file was not kept";
    EXPECT_TRUE(strstr(notice, "could not be used") && RegWatch_LoadAccepted(started.watch, file.c_str()) == REGWATCH_OK) << notice;
    FindClose(aside), DestroyWindow(started.hwnd), SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
    DeleteFileA(file.c_str()), DeleteFileA((folder + "\\Keywarden\\" + found.cFileName).c_str());
}

// Revert writes back what was accepted, never a value seen in between, and leaves a value never accepted gone.
// Rows of both registry views, one name in each, and a name and data in other scripts: Revert and Delete act on
// the row's own view and value, byte for byte (read back through the wide API).
TEST_F(ChangesPageTest, RevertRestoresTheAcceptedValueAndDeleteActsOnTheRowsOwnViewAndNameExactly) {
    ASSERT_EQ(65001u, GetACP());
    const std::string odd = "\xd0\x96\xe4\xb8\xad\xf0\x9f\x98\x80";  // Cyrillic, Chinese, an emoji
    const bool two = RegWatch_HasTwoViews();
    ASSERT_EQ(0, RunWriter("HKCU", ::kRunKey, "set " + odd + " " + odd + ".exe"));
    ASSERT_EQ(0, RunWriter(two ? "HKLM32" : "HKLM", ::kRunKey, "set KwView wow.exe"));
    if (two) { ASSERT_EQ(0, RunWriter("HKLM64", ::kRunKey, "set KwView native.exe")); }
    ASSERT_EQ(0, RunWriter("HKCU", ::kRunKey, "set KwAba good.exe"));
    changes.OnResetAlarm();
    // Changed and changed back, and added and deleted again: Revert restores what was accepted, nothing between.
    ASSERT_EQ(0, RunWriter("HKCU", ::kRunKey, "set KwAba evil.exe set KwNever never.exe"));
    ASSERT_TRUE(Shows("KwNever", "New (Added)"));
    ASSERT_EQ(0, RunWriter("HKCU", ::kRunKey, "set KwAba good.exe del KwNever"));
    ASSERT_TRUE(Shows("KwNever", "Deleted") && Shows("KwAba", "Changed") && Text(RowOf("KwAba"), 3) == "good.exe");
    for (const char* name : {"KwAba", "KwNever"})
        ListView_SetItemState(changes.list.hwnd, RowOf(name), LVIS_SELECTED, LVIS_SELECTED);
    changes.RevertSelected();
    EXPECT_TRUE(Shows("KwAba", "Unchanged") && Shows("KwNever", ""));
    ASSERT_EQ(0, RunWriter("HKCU", ::kRunKey, "set " + odd + " evil.exe"));
    ASSERT_EQ(0, RunWriter(two ? "HKLM32" : "HKLM", ::kRunKey, "set KwView evil.exe"));
    ASSERT_TRUE(Shows(odd.c_str(), "Changed"));
    auto select = [&](const std::string& name, const char* inPath) {
        ListView_SetItemState(changes.list.hwnd, -1, 0, LVIS_SELECTED);
        for (int row = ListView_GetItemCount(changes.list.hwnd); --row >= 0;) {
            if (Text(row, 1) == name && Text(row, 4).find(inPath) != std::string::npos) {
                ListView_SetItemState(changes.list.hwnd, row, LVIS_SELECTED, LVIS_SELECTED);
                return Text(row, 0);
            }
        }
        return std::string();
    };
    auto read = [](HKEY root, REGSAM view, const wchar_t* name) {  // through the wide API; "" when missing
        wchar_t data[64] = L"";
        DWORD size = sizeof data;
        HKEY key = nullptr;
        RegOpenKeyExW(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_READ | view, &key);
        const bool found = key && !RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
        return RegCloseKey(key), found ? std::wstring(data) : std::wstring();
    };
    const wchar_t wideOdd[] = L"\u0416\u4e2d\U0001F600";
    EXPECT_TRUE(read(HKEY_CURRENT_USER, 0, L"KwAba") == L"good.exe" && read(HKEY_CURRENT_USER, 0, L"KwNever").empty());
    ASSERT_EQ("Changed", select(odd, "HKEY_CURRENT_USER"));
    changes.RevertSelected();
    EXPECT_EQ(std::wstring(wideOdd) + L".exe", read(HKEY_CURRENT_USER, 0, wideOdd));
    ASSERT_EQ("Changed", select("KwView", two ? "Wow6432Node" : "HKEY_LOCAL_MACHINE"));
    changes.RevertSelected();
    EXPECT_TRUE(read(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"KwView") == L"wow.exe" &&
                (!two || read(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"KwView") == L"native.exe"));
    DialogAnswerer yes([](HWND box) { PostMessageA(GetDlgItem(box, IDYES), BM_CLICK, 0, 0); });
    ASSERT_TRUE(Shows(odd.c_str(), "Unchanged") && select(odd, "HKEY_CURRENT_USER") == "Unchanged");
    changes.DeleteSelected();
    EXPECT_TRUE(read(HKEY_CURRENT_USER, 0, wideOdd).empty() && Shows(odd.c_str(), ""));
    if (two) {
        ASSERT_TRUE(PumpUntil([&] { return select("KwView", "Wow6432Node") == "Unchanged"; }));
        changes.DeleteSelected();
        EXPECT_TRUE(read(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"KwView").empty() && read(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, L"KwView") == L"native.exe");
        RunWriter("HKLM64", ::kRunKey, "del KwView");
    }
}

TEST(RecordText, EachTypeShowsAsTheRegistryEditorShowsItWithinItsLength) {
    std::string longShown = "ab";
    for (int i = 1; i < 64; ++i) longShown += " ab";
    const struct { DWORD type; std::string data, shown; } cases[] = {
        {REG_SZ, std::string("C:\\a.exe\0junk", 13), "C:\\a.exe"}, {REG_SZ, "no end", "no end"},
        {REG_EXPAND_SZ, std::string("%X%\0", 4), "%X%"}, {REG_DWORD, std::string("\0\1\0\0", 4), "0x00000100 (256)"},
        {REG_DWORD, "\1\2\3", "01 02 03"}, {REG_QWORD, std::string("\0\0\0\0\1\0\0\0", 8), "0x0000000100000000 (4294967296)"},
        {REG_MULTI_SZ, std::string("one\0two\0\0ignored", 16), "one two"}, {REG_MULTI_SZ, std::string("one\0tw", 6), "one tw"},
        {REG_BINARY, std::string("\0\xaa\xbb", 3), "00 aa bb"}, {REG_NONE, "", ""},
        {REG_BINARY, std::string(65, '\xab'), longShown + " ..."}};
    for (const auto& c : cases) {
        std::vector<BYTE> bytes(c.data.begin(), c.data.end());  // exactly its length: no terminator to lean on
        ValueRecord record{};
        record.type = c.type, record.data = bytes.data(), record.dataLen = static_cast<DWORD>(bytes.size());
        EXPECT_EQ(RecordDataText(&record), c.shown) << c.type;
    }
    char none[] = "", named[] = "KwA";
    ValueRecord unnamed{}, value{};
    unnamed.name = none, value.name = named, value.nameLen = 3;
    EXPECT_EQ(RecordNameText(&unnamed) + "|" + RecordNameText(&value), "(Default)|KwA");
}

TEST(Start, WindowThatCannotBeBuiltIsToldInAnErrorBoxAndEndsTheProgramWithOne) {
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
