// The list: the values at start, the changes other programs make, and the
// user's Delete, Revert and Reset Alarm.
#include "tests/e2e/driver.h"

using kwtest::kWatchedKeys;
using kwtest::RunValueExists;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;

std::string PathOf(const kwtest::KeyPath& key)
{
    return (key.root == kUser ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + std::string(key.subkey);
}

const std::string kUserRun = PathOf(kWatchedKeys[0]);

}  // namespace

TEST_F(EndToEndTest, ListsEveryValueFollowsOutsideChangesAndKeepsOnlyShowChangesAcrossARestart)
{
    const struct { int key; const char* name; DWORD type; std::string data; } values[] = {
        {0, "KwKeep", REG_SZ, {"same", 5}},       {0, "KwChange", REG_SZ, {"before", 7}},
        {0, "KwOne", REG_DWORD, {"\1\0\0\0", 4}}, {1, "KwOnce", REG_SZ, {"", 1}},
        {3, "KwGone", REG_SZ, {"bye", 4}},        {5, "", REG_SZ, {"default", 8}},
        {6, "KwLast", REG_BINARY, {"ab\0cd", 5}},
    };
    for (const auto& value : values) {
        const kwtest::KeyPath& key = kWatchedKeys[value.key];
        ASSERT_EQ(RegSetKeyValueA(key.root, key.subkey, value.name, value.type, value.data.data(),
                                  static_cast<DWORD>(value.data.size())), ERROR_SUCCESS);
    }
    // Every value, Unchanged, shown up to its first zero byte; the last value
    // of the last key first.
    std::vector<Row> expected;
    for (const kwtest::KeyPath& key : kWatchedKeys)
        for (const kwtest::RegValue& value : kwtest::ReadKeyValues(key))
            expected.insert(expected.begin(),
                            {"Unchanged", value.name, value.data.substr(0, value.data.find('\0')), "", PathOf(key)});
    ASSERT_EQ(RowNamed(expected, "KwLast"), (Row{"Unchanged", "KwLast", "ab", "", PathOf(kWatchedKeys[6])}));
    ASSERT_TRUE(expected.front()[4] == PathOf(kWatchedKeys[6]) && expected.back()[4] == kUserRun);
    Start();
    EXPECT_EQ(WaitForRows([&](auto& rows) { return rows == expected; }), expected);
    EXPECT_TRUE(IsWindowVisible(main));

    Click(IDC_ONLY_SHOW_CHANGES);
    EXPECT_TRUE(WaitForRows([](auto& rows) { return rows.empty(); }).empty());
    ASSERT_EQ(Write("HKCU", "set KwNew hello set KwChange after"), 0);
    ASSERT_EQ(Write("HKLM", "del KwGone"), 0);
    const std::vector<Row> changes = {
        {"Deleted", "KwGone", "bye", "", PathOf(kWatchedKeys[3])},
        {"New (Added)", "KwNew", "hello", "", kUserRun},
        {"Changed", "KwChange", "after", "before", kUserRun},
    };
    EXPECT_EQ(WaitForRows([&](auto& rows) { return rows == changes; }), changes);

    // Close asks first; a new start takes a new baseline.
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    Press(WaitForWindow("Keywarden"), IDYES);
    EXPECT_EQ(WaitForExit(), 0);
    Start();
    EXPECT_EQ(SendMessageA(Control(IDC_ONLY_SHOW_CHANGES), BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_EQ(Write("HKCU", "set KwNext again"), 0);
    const std::vector<Row> next = {{"New (Added)", "KwNext", "again", "", kUserRun}};
    EXPECT_EQ(WaitForRows([&](auto& rows) { return rows == next; }), next);
}

TEST_F(EndToEndTest, DeleteRevertAndResetAlarmActOnTheSelectedValues)
{
    for (const char* name : {"KwUserA", "KwUserB", "KwChanged", "KwDeleted", "KwQuiet"})
        ASSERT_EQ(kwtest::SetRunValue(name, "original"), ERROR_SUCCESS);
    for (const char* name : {"KwMachineA", "KwMachineB"})
        ASSERT_EQ(kwtest::SetRunValue(name, "original", kMachine), ERROR_SUCCESS);
    Start();
    ASSERT_EQ(Write("HKCU", "set KwAdded new setdword KwChanged 7 del KwDeleted del KwUserB"), 0);
    WaitForRows([](auto& rows) { return RowNamed(rows, "KwUserB")[0] == "Deleted"; });

    // Revert of each kind of change, a changed type coming back with the data.
    Select({"KwAdded", "KwChanged", "KwDeleted"});
    Click(IDC_REVERT);
    const std::vector<Row> reverted = {Row(), {"Unchanged", "KwChanged", "original", "", kUserRun},
                                       {"Unchanged", "KwDeleted", "original", "", kUserRun}};
    auto revertedRows = [](const std::vector<Row>& rows) {
        return std::vector<Row>{RowNamed(rows, "KwAdded"), RowNamed(rows, "KwChanged"), RowNamed(rows, "KwDeleted")};
    };
    EXPECT_EQ(revertedRows(WaitForRows([&](auto& rows) { return revertedRows(rows) == reverted; })), reverted);
    DWORD type = 0;
    EXPECT_TRUE(RunValueExists("KwChanged", kUser, &type) && type == REG_SZ);
    EXPECT_TRUE(!RunValueExists("KwAdded") && RunValueExists("KwDeleted"));

    // Delete asks first: No keeps the value, Yes deletes it.
    Select({"KwQuiet"});
    Click(IDC_DELETE);
    HWND box = WaitForWindow("Keywarden");
    EXPECT_EQ(BoxText(box), "Are you sure you want to delete the selected items?");
    Press(box, IDNO);
    EXPECT_FALSE(RowNamed(Rows(), "KwQuiet")[0].empty());
    EXPECT_TRUE(RunValueExists("KwQuiet"));
    Click(IDC_DELETE);
    Press(WaitForWindow("Keywarden"), IDYES);
    EXPECT_TRUE(WaitUntil([&] { return RowNamed(Rows(), "KwQuiet")[0].empty(); }));
    EXPECT_FALSE(RunValueExists("KwQuiet"));

    // Machine values are listed above user values, the later above the
    // earlier: the walk deletes both machine values and stops at the third.
    Select({"KwMachineA", "KwMachineB", "KwUserB", "KwUserA"});
    Click(IDC_DELETE);
    Press(WaitForWindow("Keywarden"), IDYES);
    box = WaitForWindow("Error");
    EXPECT_EQ(BoxText(box), "That value IS deleted already. Use revert to bring it back.");
    EXPECT_TRUE(Press(box, IDOK));
    EXPECT_FALSE(RunValueExists("KwMachineA", kMachine) || RunValueExists("KwMachineB", kMachine));
    EXPECT_TRUE(RunValueExists("KwUserA"));

    // Reset Alarm accepts what is there and drops the deleted values.
    ASSERT_EQ(Write("HKCU", "set KwUserA changed"), 0);
    WaitForRows([](auto& rows) { return RowNamed(rows, "KwUserA")[0] == "Changed"; });
    Click(IDC_RESET_ALARM);
    const std::vector<Row> rows = WaitForRows([](auto& listed) {
        return RowNamed(listed, "KwUserB")[0].empty() &&
               std::all_of(listed.begin(), listed.end(), [](const Row& row) { return row[0] == "Unchanged"; });
    });
    EXPECT_EQ(RowNamed(rows, "KwUserA"), (Row{"Unchanged", "KwUserA", "changed", "", kUserRun}));
    EXPECT_EQ(RowNamed(rows, "KwUserB"), Row());

    // Revert of an unchanged value says so.
    Select({"KwUserA"});
    Click(IDC_REVERT);
    box = WaitForWindow("Error");
    EXPECT_EQ(BoxText(box), "That item hasn't chaned as far as I know - let me re-check then try again");
    Press(box, IDOK);
}
