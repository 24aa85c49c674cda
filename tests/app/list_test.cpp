// In process, on Wine: the Changes page's list updated in place, the flood of
// notices it merges, and the texts it shows for each type of value.
#include "app/changes_page.h"
#include "app/record_text.h"
#include "app/tray_icon.h"
#include "tests/pages/registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <memory>

#include "resources/resource.h"

using testing_support::DialogAnswerer;
using testing_support::PumpUntil;

namespace {

const char kNoiseKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\KwListNoise";  // watched from above only

struct RecordingTrayIcon : TrayIcon {
    using TrayIcon::TrayIcon;
    void StartFlashing() override { flashing = true; }
    void StopFlashing() override { flashing = false; }
    bool flashing = false;
};

struct CountingPage : ChangesPage {
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        notices += message == MSG_REGISTRY_CHANGED;
        refreshes += message == MSG_REFRESH_LIST;
        return ChangesPage::WindowProc(message, wParam, lParam);
    }
    int notices = 0, refreshes = 0;
};

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.hwnd = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 800, 400, nullptr, nullptr, nullptr, nullptr);
        tray.reset(new RecordingTrayIcon(host.hwnd));
        page.Create(&host, IDD_CHANGES_PAGE);
    }
    void TearDown() override
    {
        DestroyWindow(host.hwnd);
        RegDeleteTreeA(HKEY_CURRENT_USER, kNoiseKey);
    }
    std::string Text(int row, int column)
    {
        char text[256] = "";
        ListView_GetItemText(page.list.hwnd, row, column, text, sizeof text);
        return text;
    }
    int RowOf(const char* name)  // -1 for none
    {
        int row = ListView_GetItemCount(page.list.hwnd);
        while (--row >= 0 && Text(row, 1) != name) {}
        return row;
    }
    bool Shows(const char* name, const char* status)
    {
        return PumpUntil([&] { return RowOf(name) >= 0 && Text(RowOf(name), 0) == status; }, 5000);
    }
    void Settle() { PumpUntil([] { return false; }, 300); }

    kwtest::RegistrySnapshot snapshot;
    Window host;
    std::unique_ptr<RecordingTrayIcon> tray;
    CountingPage page;
};

}  // namespace

TEST_F(ListTest, RebuildChangesOnlyTheRowsThatDifferAndKeepsSelectionAndFocus)
{
    for (const char* name : {"KwListA", "KwListB", "KwListC"})
        ASSERT_EQ(kwtest::SetRunValue(name, "before"), ERROR_SUCCESS);
    page.OnResetAlarm();
    ASSERT_TRUE(Shows("KwListC", "Unchanged"));
    const int b = RowOf("KwListB");
    ListView_SetItemState(page.list.hwnd, b, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);

    // A new value is listed above the others and pushes B down a row.
    ASSERT_EQ(kwtest::SetRunValue("KwListC", "after"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetRunValue("KwListD", "new"), ERROR_SUCCESS);
    ASSERT_TRUE(Shows("KwListD", "New (Added)") && Shows("KwListC", "Changed"));
    EXPECT_EQ(RowOf("KwListD"), RowOf("KwListC") - 1);
    EXPECT_EQ(Text(RowOf("KwListC"), 2) + "|" + Text(RowOf("KwListC"), 3), "after|before");
    EXPECT_EQ(RowOf("KwListB"), b + 1);
    EXPECT_EQ(ListView_GetNextItem(page.list.hwnd, -1, LVNI_SELECTED), RowOf("KwListB"));
    EXPECT_EQ(ListView_GetNextItem(page.list.hwnd, RowOf("KwListB"), LVNI_SELECTED), -1) << "one row selected";
    EXPECT_EQ(ListView_GetNextItem(page.list.hwnd, -1, LVNI_FOCUSED), RowOf("KwListB"));
}

// While a value stays Deleted the engine calls back on every write below
// CurrentVersion: those notices bring nothing new, so no rebuild and no alert.
TEST_F(ListTest, NoticesWithNothingNewChangeNothingAndAFloodOfRequestsEndsInOneRefresh)
{
    const DWORD on = 1;
    RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Velmorra\\Keywarden\\Settings", "PopUpAlert", REG_DWORD, &on, 4);
    DialogAnswerer answerer(IDC_GO_AWAY);
    ASSERT_EQ(kwtest::SetRunValue("KwListGone", "x"), ERROR_SUCCESS);
    ASSERT_TRUE(Shows("KwListGone", "New (Added)"));
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_CURRENT_USER, kwtest::kRunKey, "KwListGone"), ERROR_SUCCESS);
    ASSERT_TRUE(Shows("KwListGone", "Deleted"));
    Settle();
    const size_t alerts = answerer.seen.size();
    EXPECT_GE(alerts, 1u);
    page.refreshes = page.notices = 0;
    tray->flashing = false;

    for (int write = 0; write < 5; ++write) {
        const DWORD data = static_cast<DWORD>(write);
        RegSetKeyValueA(HKEY_CURRENT_USER, kNoiseKey, "Counter", REG_DWORD, &data, sizeof data);
        PumpUntil([] { return false; }, 50);
    }
    for (int notice = 0; notice < 20; ++notice)
        page.Post(MSG_REGISTRY_CHANGED, 0, 0);
    Settle();
    EXPECT_GT(page.notices, 20) << "the engine did not call back on the unrelated writes";
    EXPECT_EQ(page.refreshes, 0);
    EXPECT_EQ(answerer.seen.size(), alerts);
    EXPECT_FALSE(tray->flashing);

    for (int request = 0; request < 50; ++request)
        page.RequestRefresh();
    Settle();
    EXPECT_EQ(page.refreshes, 1);
}

TEST(RecordText, EachTypeShowsAsTheRegistryEditorShowsItWithinItsLength)
{
    const std::string longBinary(65, '\xab');
    const struct {
        DWORD type;
        std::string data;
        const char* shown;
    } cases[] = {
        {REG_SZ, std::string("C:\\a.exe\0junk", 13), "C:\\a.exe"},
        {REG_SZ, "no end", "no end"},
        {REG_EXPAND_SZ, std::string("%X%\0", 4), "%X%"},
        {REG_DWORD, std::string("\x00\x01\x00\x00", 4), "0x00000100 (256)"},
        {REG_DWORD, "\x01\x02\x03", "01 02 03"},
        {REG_QWORD, std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8), "0x0000000100000000 (4294967296)"},
        {REG_MULTI_SZ, std::string("one\0two\0\0ignored", 16), "one two"},
        {REG_MULTI_SZ, std::string("one\0tw", 6), "one tw"},
        {REG_BINARY, std::string("\x00\xaa\xbb", 3), "00 aa bb"},
        {REG_NONE, "", ""},
    };
    for (const auto& each : cases) {
        std::string bytes = each.data;  // exactly dataLen bytes: no terminator to lean on
        ValueRecord record{};
        record.type = each.type;
        record.data = reinterpret_cast<BYTE*>(&bytes[0]);
        record.dataLen = static_cast<DWORD>(each.data.size());
        EXPECT_EQ(RecordDataText(&record), each.shown) << each.type << " " << each.shown;
    }
    std::string bytes = longBinary;
    ValueRecord binary{};
    binary.type = REG_BINARY, binary.data = reinterpret_cast<BYTE*>(&bytes[0]), binary.dataLen = 65;
    std::string expected;
    for (int i = 0; i < 64; ++i)
        expected += i ? " ab" : "ab";
    EXPECT_EQ(RecordDataText(&binary), expected + " ...");

    char none[] = "", named[] = "KwA";
    ValueRecord unnamed{}, value{};
    unnamed.name = none, value.name = named, value.nameLen = 3;
    EXPECT_EQ(RecordNameText(&unnamed) + "|" + RecordNameText(&value), "(Default)|KwA");
}
