// The list: the changes other programs make, and the user's Delete and Revert.
#include "tests/e2e/driver.h"

TEST_F(EndToEndTest, ListShowsOutsideChangesLatestFirstAndDeleteAndRevertActOnTheSelection)
{
    for (const char* name : {"KwA", "KwB", "KwC"})
        ASSERT_EQ(kwtest::SetRunValue(name, "before"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetRunValue("KwMachine", "m", HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    Start();
    ASSERT_EQ(Write("HKCU", "set KwD new set KwB after del KwC"), 0);
    // Machine values above user values, the later above the earlier.
    const std::string user = std::string("HKEY_CURRENT_USER\\") + kwtest::kRunKey;
    const std::vector<Row> expected = {
        {"Unchanged", "KwMachine", "m", "", std::string("HKEY_LOCAL_MACHINE\\") + kwtest::kRunKey},
        {"New (Added)", "KwD", "new", "", user},
        {"Deleted", "KwC", "before", "", user},
        {"Changed", "KwB", "after", "before", user},
        {"Unchanged", "KwA", "before", "", user},
    };
    std::vector<Row> listed;
    auto ours = [&] {  // the rows of the test's values, in the list's order
        listed.clear();
        for (const Row& row : Rows())
            if (row[1].compare(0, 2, "Kw") == 0)
                listed.push_back(row);
        return listed;
    };
    EXPECT_TRUE(WaitUntil([&] { return ours() == expected; }));
    EXPECT_EQ(listed, expected);

    // Revert of each kind of change puts back the values the program started with.
    Select({"KwD", "KwB", "KwC"});
    Click(IDC_REVERT);
    EXPECT_TRUE(WaitUntil([&] {
        return ours().size() == 4 && std::all_of(listed.begin(), listed.end(), [](const Row& row) {
                   return row[0] == "Unchanged" && row[3].empty() && row[1] != "KwD";
               });
    }));
    EXPECT_EQ(RowNamed("KwB")[2], "before");
    EXPECT_TRUE(!kwtest::RunValueExists("KwD") && kwtest::RunValueExists("KwC"));

    // Delete asks first: No keeps the value, Yes deletes it.
    Select({"KwMachine"});
    Click(IDC_DELETE);
    HWND box = WaitForWindow("Keywarden");
    EXPECT_EQ(BoxText(box), "Are you sure you want to delete the selected items?");
    Press(box, IDNO);
    EXPECT_TRUE(kwtest::RunValueExists("KwMachine", HKEY_LOCAL_MACHINE));
    Click(IDC_DELETE);
    Press(WaitForWindow("Keywarden"), IDYES);
    EXPECT_TRUE(WaitUntil([&] { return RowNamed("KwMachine")[0].empty(); }));
    EXPECT_FALSE(kwtest::RunValueExists("KwMachine", HKEY_LOCAL_MACHINE));
}
