// Works keywarden.exe while a collector reads its journal: another process changes values in both registry
// views, and the user deletes, reverts and resets the alarm. The journal goes to
// <this folder>\journal-collector\Keywarden; collector_test.sh checks what the collector read.
#include "tests/e2e/e2e.h"

TEST_F(EndToEndTest, ChangesAndTheUsersOwnActionsReachTheJournal) {
    ASSERT_TRUE(SetEnvironmentVariableA("LOCALAPPDATA", ModulePath("journal-collector").c_str()));
    RunWriter("HKCU", "Software\\Velmorra\\Keywarden\\Settings", "setdword NoJournal 0");
    Put(HKEY_CURRENT_USER, kRunKey, "KwJournalKept", "before"), Put(HKEY_CURRENT_USER, kRunKey, "KwJournalGone", "x");
    Start("", ModulePath(""));
    // The window can exist before the baseline: the journal's first line says it is taken.
    const std::string journal = ModulePath("journal-collector\\Keywarden\\events.ndjson");
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesExA(journal.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow; }));
    RunWriter("HKCU", kRunKey, "set KwJournalNew C:\\new.exe set KwJournalKept after del KwJournalGone");
    RunWriter("HKLM32", kRunKey, "set KwJournal32 wow.exe");
    EXPECT_TRUE(PumpUntil([&] {
        return Status("KwJournalNew") == "New (Added)" && Status("KwJournalKept") == "Changed" &&
               Status("KwJournalGone") == "Deleted" && Status("KwJournal32") == "New (Added)";
    }));
    Rows({"KwJournalNew"});
    Press((Click(IDC_DELETE), WaitForWindow("Keywarden")), IDYES);
    EXPECT_TRUE(PumpUntil([&] { return Status("KwJournalNew").empty(); }));
    Rows({"KwJournalKept"});
    Click(IDC_REVERT);
    EXPECT_TRUE(PumpUntil([&] { return Status("KwJournalKept") == "Unchanged"; }));
    Click(IDC_RESET_ALARM);
    EXPECT_TRUE(PumpUntil([&] { return Status("KwJournalGone").empty(); }));
    RunWriter("HKLM32", kRunKey, "del KwJournal32");
    EXPECT_TRUE(PumpUntil([&] { return Status("KwJournal32") == "Deleted"; }));
}
