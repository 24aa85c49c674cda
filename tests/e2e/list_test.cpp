// What the list shows: the values at start, and changes made by other
// programs while Keywarden runs.
#include "tests/e2e/e2e_fixture.h"

using kwtest::kRunKey;
using kwtest::kRunOnceExKey;
using kwtest::kRunOnceKey;
using kwtest::kRunServicesKey;
using kwtest::Row;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;

}  // namespace

TEST_F(EndToEndTest, StartListsEveryWatchedValueLastKeyFirstWithItsFullPath)
{
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EFirst", "alpha"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetDword(kUser, kRunKey, "KwE2EOne", 1), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetDword(kUser, kRunKey, "KwE2EZero", 0), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kUser, kRunOnceKey, "KwE2EOnce", ""), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kMachine, kRunKey, "KwE2EMachine", "delta"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kMachine, kRunOnceExKey, "", "default value"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetBytes(kMachine, kRunServicesKey, "KwE2ELast", REG_BINARY, std::string("ab\0cd", 5)),
              ERROR_SUCCESS);
    const std::vector<Row> expected = kwtest::UnchangedRows();
    ASSERT_EQ(expected.back()[4], kwtest::PathText(kUser, kRunKey)) << "first key's values at the bottom";
    ASSERT_EQ(expected.front()[4], kwtest::PathText(kMachine, kRunServicesKey)) << "last key's values at the top";
    ASSERT_EQ(RowNamed(expected, "KwE2ELast"), (Row{"Unchanged", "KwE2ELast", "ab", "", expected.front()[4]}));

    Start();
    EXPECT_TRUE(app->WaitForRows([&](auto& rows) { return rows == expected; }))
        << "listed:" << kwtest::Describe(app->Rows()) << "\nexpected:" << kwtest::Describe(expected);
    EXPECT_EQ(RowNamed(app->Rows(), "KwE2EOne")[2], std::string(1, '\x01'));
    EXPECT_EQ(RowNamed(app->Rows(), "KwE2EZero")[2], "");
    EXPECT_TRUE(IsWindowVisible(app->MainWindow()));
    EXPECT_EQ(app->CurrentTab(), 0);
    EXPECT_EQ(app->IsChecked(kOnlyShowChanges), 0);
}

TEST_F(EndToEndTest, OutsideChangesShowTheirStatusAndOnlyShowChangesHidesTheRestAcrossARestart)
{
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EKeep", "same"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EChange", "before"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kMachine, kRunOnceKey, "KwE2EGone", "bye"), ERROR_SUCCESS);
    Start();
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return !RowNamed(rows, "KwE2EGone")[0].empty(); }));

    WriteFromOutside(kUser, kRunKey, "set KwE2ENew hello set KwE2EChange after");
    WriteFromOutside(kMachine, kRunOnceKey, "del KwE2EGone");
    const std::vector<Row> changes = {
        MakeRow("New (Added)", "KwE2ENew", "hello", "", kUser, kRunKey),
        MakeRow("Changed", "KwE2EChange", "after", "before", kUser, kRunKey),
        MakeRow("Deleted", "KwE2EGone", "bye", "", kMachine, kRunOnceKey),
    };
    EXPECT_TRUE(app->WaitForRows([&](auto& rows) {
        for (const Row& row : changes)
            if (RowNamed(rows, row[1]) != row)
                return false;
        return RowNamed(rows, "KwE2EKeep") == MakeRow("Unchanged", "KwE2EKeep", "same", "", kUser, kRunKey);
    })) << kwtest::Describe(app->Rows());

    app->Click(kOnlyShowChanges);
    EXPECT_TRUE(app->WaitForRows([](auto& rows) {
        if (rows.size() != 3)
            return false;
        for (const Row& row : rows)
            if (row[0] == "Unchanged")
                return false;
        return true;
    })) << kwtest::Describe(app->Rows());
    EXPECT_EQ(Setting("OnlyShowChanged"), 1u);

    // A fresh start takes a fresh baseline, with the box still checked.
    EXPECT_EQ(Quit(), 0);
    Start();
    EXPECT_EQ(app->IsChecked(kOnlyShowChanges), 1);
    WriteFromOutside(kUser, kRunKey, "set KwE2ENext again");
    EXPECT_TRUE(app->WaitForRows([&](auto& rows) {
        return rows == std::vector<Row>{MakeRow("New (Added)", "KwE2ENext", "again", "", kUser, kRunKey)};
    })) << kwtest::Describe(app->Rows());

    app->Click(kOnlyShowChanges);
    EXPECT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "KwE2EKeep")[0] == "Unchanged"; }));
    EXPECT_EQ(Setting("OnlyShowChanged"), 0u);
}
