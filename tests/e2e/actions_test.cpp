// The user's actions on the list: Delete, Revert and Reset Alarm.
#include "tests/e2e/e2e_fixture.h"

using kwtest::kRunKey;
using kwtest::RegValue;
using kwtest::Row;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;

bool Exists(HKEY root, const char* name)
{
    RegValue value;
    return kwtest::ReadValue(root, kRunKey, name, &value);
}

}  // namespace

TEST_F(EndToEndTest, DeleteAsksFirstAndDeletesOnlyOnYes)
{
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EDoomed", "x"), ERROR_SUCCESS);
    Start();
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return !RowNamed(rows, "KwE2EDoomed")[0].empty(); }));

    // Nothing selected: still asked, and nothing happens.
    app->Click(kDelete);
    HWND question = app->WaitForDialog("Keywarden");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(KeywardenProcess::DialogText(question), "Are you sure you want to delete the selected items?");
    KeywardenProcess::Press(question, IDYES);

    app->Select({app->RowOf("KwE2EDoomed")});
    app->Click(kDelete);
    question = app->WaitForDialog("Keywarden");
    ASSERT_NE(question, nullptr);
    KeywardenProcess::Press(question, IDNO);
    Sleep(300);
    EXPECT_TRUE(Exists(kUser, "KwE2EDoomed"));
    EXPECT_GE(app->RowOf("KwE2EDoomed"), 0);

    app->Select({app->RowOf("KwE2EDoomed")});
    app->Click(kDelete);
    question = app->WaitForDialog("Keywarden");
    ASSERT_NE(question, nullptr);
    KeywardenProcess::Press(question, IDYES);
    EXPECT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "KwE2EDoomed")[0].empty(); }));
    EXPECT_FALSE(Exists(kUser, "KwE2EDoomed"));
    EXPECT_TRUE(app->Dialogs("Error").empty());
}

TEST_F(EndToEndTest, DeleteStopsAtTheThirdSelectedItemWhenItIsAlreadyDeleted)
{
    // Machine values list above user values, and within a key the later above
    // the earlier: the walk meets the two machine values, then the deleted one.
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EUserA", "a"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EUserB", "b"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kMachine, kRunKey, "KwE2EMachineA", "c"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kMachine, kRunKey, "KwE2EMachineB", "d"), ERROR_SUCCESS);
    Start();
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return !RowNamed(rows, "KwE2EUserB")[0].empty(); }));
    WriteFromOutside(kUser, kRunKey, "del KwE2EUserB");
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "KwE2EUserB")[0] == "Deleted"; }));

    std::vector<int> selection = {app->RowOf("KwE2EMachineA"), app->RowOf("KwE2EMachineB"),
                                  app->RowOf("KwE2EUserB"), app->RowOf("KwE2EUserA")};
    ASSERT_LT(std::max(selection[0], selection[1]), selection[2]);
    ASSERT_LT(selection[2], selection[3]);
    app->Select(selection);
    app->Click(kDelete);
    HWND question = app->WaitForDialog("Keywarden");
    ASSERT_NE(question, nullptr);
    KeywardenProcess::Press(question, IDYES);

    HWND error = app->WaitForDialog("Error");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(KeywardenProcess::DialogText(error), "That value IS deleted already. Use revert to bring it back.");
    EXPECT_FALSE(Exists(kMachine, "KwE2EMachineA"));
    EXPECT_FALSE(Exists(kMachine, "KwE2EMachineB"));
    KeywardenProcess::Press(error, IDOK);
    Sleep(300);
    EXPECT_TRUE(Exists(kUser, "KwE2EUserA")) << "the items after the deleted one are left alone";
    EXPECT_TRUE(app->Dialogs("Error").empty());
}

TEST_F(EndToEndTest, RevertPutsBackEachKindOfChange)
{
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EChanged", "original"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EDeleted", "keep me"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EQuiet", "calm"), ERROR_SUCCESS);
    Start();
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return !RowNamed(rows, "KwE2EQuiet")[0].empty(); }));
    WriteFromOutside(kUser, kRunKey, "set KwE2EAdded new setdword KwE2EChanged 7 del KwE2EDeleted");
    ASSERT_TRUE(app->WaitForRows([](auto& rows) {
        return RowNamed(rows, "KwE2EAdded")[0] == "New (Added)" && RowNamed(rows, "KwE2EChanged")[0] == "Changed" &&
               RowNamed(rows, "KwE2EDeleted")[0] == "Deleted";
    })) << kwtest::Describe(app->Rows());

    app->Select({app->RowOf("KwE2EAdded"), app->RowOf("KwE2EChanged"), app->RowOf("KwE2EDeleted")});
    app->Click(kRevert);
    EXPECT_TRUE(app->WaitForRows([](auto& rows) {
        return RowNamed(rows, "KwE2EAdded")[0].empty() &&
               RowNamed(rows, "KwE2EChanged") == MakeRow("Unchanged", "KwE2EChanged", "original", "", kUser, kRunKey) &&
               RowNamed(rows, "KwE2EDeleted") == MakeRow("Unchanged", "KwE2EDeleted", "keep me", "", kUser, kRunKey);
    })) << kwtest::Describe(app->Rows());
    EXPECT_FALSE(Exists(kUser, "KwE2EAdded"));
    RegValue value;
    ASSERT_TRUE(kwtest::ReadValue(kUser, kRunKey, "KwE2EChanged", &value));
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << "the former type comes back with the data";
    EXPECT_EQ(value.data, std::string("original", 9));
    ASSERT_TRUE(kwtest::ReadValue(kUser, kRunKey, "KwE2EDeleted", &value));
    EXPECT_EQ(value.data, std::string("keep me", 8));
    EXPECT_TRUE(app->Dialogs("Error").empty());

    app->Select({app->RowOf("KwE2EQuiet")});
    app->Click(kRevert);
    HWND error = app->WaitForDialog("Error");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(KeywardenProcess::DialogText(error),
              "That item hasn't chaned as far as I know - let me re-check then try again");
    KeywardenProcess::Press(error, IDOK);
    EXPECT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "KwE2EQuiet")[0] == "Unchanged"; }));
}

TEST_F(EndToEndTest, ResetAlarmAcceptsThePresentStateAndDropsDeletedValues)
{
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EChanged", "original"), ERROR_SUCCESS);
    ASSERT_EQ(kwtest::SetText(kUser, kRunKey, "KwE2EDeleted", "bye"), ERROR_SUCCESS);
    Start();
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return !RowNamed(rows, "KwE2EDeleted")[0].empty(); }));
    WriteFromOutside(kUser, kRunKey, "set KwE2EAdded new set KwE2EChanged other del KwE2EDeleted");
    ASSERT_TRUE(app->WaitForRows([](auto& rows) { return RowNamed(rows, "KwE2EDeleted")[0] == "Deleted"; }));

    app->Click(kResetAlarm);
    EXPECT_TRUE(app->WaitForRows([](auto& rows) {
        for (const Row& row : rows)
            if (row[0] != "Unchanged")
                return false;
        return RowNamed(rows, "KwE2EDeleted")[0].empty() &&
               RowNamed(rows, "KwE2EAdded") == MakeRow("Unchanged", "KwE2EAdded", "new", "", kUser, kRunKey) &&
               RowNamed(rows, "KwE2EChanged") == MakeRow("Unchanged", "KwE2EChanged", "other", "", kUser, kRunKey);
    })) << kwtest::Describe(app->Rows());
}
