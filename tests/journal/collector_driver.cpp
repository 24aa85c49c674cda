// Works keywarden.exe while a collector reads its journal: another process changes values in
// both registry views, and the user deletes, reverts and resets the alarm. The journal goes to
// <this folder>\journal-collector\Keywarden; collector_test.sh checks what the collector read.
#include "tests/e2e/driver.h"

namespace {

LONG SetIn32BitView(const char* name, const char* text)  // null text: delete
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kwtest::kRunKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                                  nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = text ? RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1))
                      : RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    return status;
}

}  // namespace

TEST_F(EndToEndTest, ChangesAndTheUsersOwnActionsReachTheJournal)
{
    ASSERT_TRUE(SetEnvironmentVariableA("LOCALAPPDATA", (Folder() + "journal-collector").c_str()));
    SetSetting("NoJournal", 0);
    ASSERT_EQ(ERROR_SUCCESS, kwtest::SetRunValue("KwJournalKept", "before"));
    ASSERT_EQ(ERROR_SUCCESS, kwtest::SetRunValue("KwJournalGone", "x"));
    Start();
    // The window can exist before the baseline: the journal's first line says it is taken.
    const std::string journal = Folder() + "journal-collector\\Keywarden\\events.ndjson";
    ASSERT_TRUE(WaitUntil([&] {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return GetFileAttributesExA(journal.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0;
    }));
    ASSERT_EQ(0, Write("HKCU", "set KwJournalNew C:\\new.exe set KwJournalKept after del KwJournalGone"));
    ASSERT_EQ(ERROR_SUCCESS, SetIn32BitView("KwJournal32", "wow.exe"));
    EXPECT_TRUE(WaitUntil([&] {
        return RowNamed("KwJournalNew")[0] == "New (Added)" && RowNamed("KwJournalKept")[0] == "Changed" &&
               RowNamed("KwJournalGone")[0] == "Deleted" && RowNamed("KwJournal32")[0] == "New (Added)";
    }));

    Select({"KwJournalNew"});
    Click(IDC_DELETE);
    Press(WaitForWindow("Keywarden"), IDYES);
    EXPECT_TRUE(WaitUntil([&] { return RowNamed("KwJournalNew")[0].empty(); }));
    Select({"KwJournalKept"});
    Click(IDC_REVERT);
    EXPECT_TRUE(WaitUntil([&] { return RowNamed("KwJournalKept")[0] == "Unchanged"; }));
    Click(IDC_RESET_ALARM);
    EXPECT_TRUE(WaitUntil([&] { return RowNamed("KwJournalGone")[0].empty(); }));
    EXPECT_EQ(ERROR_SUCCESS, SetIn32BitView("KwJournal32", nullptr));
    EXPECT_TRUE(WaitUntil([&] { return RowNamed("KwJournal32")[0] == "Deleted"; }));
}
