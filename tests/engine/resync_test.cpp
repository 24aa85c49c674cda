// Re-reading one value after the user acted on it, and copies of the state.
#include "tests/engine/support.h"

#include <string.h>

namespace {

const HKEY HKCU = HKEY_CURRENT_USER;
const HKEY HKLM = HKEY_LOCAL_MACHINE;

class ResyncTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunKey));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "alpha.exe"));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "beta.exe"));
        ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    }

    void TearDown() override
    {
        RegWatch_FreeState(&copy);
        RegWatchSeam_ResetSys();
        DestroyWatch(watch);
        RegistryTest::TearDown();
    }

    // The probe the user interface would pass: an entry of its own copy.
    const ChangeEntry* CopiedEntry(HKEY root, const char* subkey, const char* name)
    {
        RegWatch_FreeState(&copy);
        EXPECT_EQ(REGWATCH_OK, RegWatch_CopyState(watch, &copy));
        return FindEntry(&copy, root, subkey, name);
    }

    ChangeEntry* Entry(HKEY root, const char* subkey, const char* name)
    {
        return FindEntry(&watch->watched, root, subkey, name);
    }

    RegWatchHandle* watch = nullptr;
    RecordList copy = {nullptr, nullptr};
};

TEST_F(ResyncTest, DeletedByTheUserLeavesTheStateAndIsNotReportedAgain)
{
    const ChangeEntry* probe = CopiedEntry(HKCU, kRunKey, "Beta");
    ASSERT_NE(nullptr, probe);
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Beta"));
    EXPECT_EQ(REGWATCH_OK, RegWatch_Resync(watch, probe));
    EXPECT_EQ(nullptr, Entry(HKCU, kRunKey, "Beta"));
    EXPECT_EQ(nullptr, CopiedEntry(HKCU, kRunKey, "Beta"));
    EXPECT_EQ(0, CompareAllLocked(watch));
}

TEST_F(ResyncTest, RevertedChangeIsUnchangedWithoutPrevious)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "intruder.exe"));
    ASSERT_EQ(1, CompareAllLocked(watch));
    const ChangeEntry* probe = CopiedEntry(HKCU, kRunKey, "Alpha");
    ASSERT_EQ(Changed, probe->status);
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Alpha", probe->previous->type, probe->previous->data,
                                      probe->previous->dataLen));
    EXPECT_EQ(REGWATCH_OK, RegWatch_Resync(watch, probe));
    ChangeEntry* alpha = Entry(HKCU, kRunKey, "Alpha");
    EXPECT_EQ(Unchanged, alpha->status);
    EXPECT_EQ(nullptr, alpha->previous);
    EXPECT_EQ(std::string("alpha.exe", 10), DataOf(alpha->current));
    EXPECT_EQ(0, alpha->current->data[alpha->current->dataLen]);
    EXPECT_EQ(0, CompareAllLocked(watch));
}

TEST_F(ResyncTest, RevertedNewValueLeavesTheState)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Intruder", "intruder.exe"));
    ASSERT_EQ(1, CompareAllLocked(watch));
    const ChangeEntry* probe = CopiedEntry(HKCU, kRunKey, "Intruder");
    ASSERT_EQ(New, probe->status);
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Intruder"));
    EXPECT_EQ(REGWATCH_OK, RegWatch_Resync(watch, probe));
    EXPECT_EQ(nullptr, Entry(HKCU, kRunKey, "Intruder"));
    EXPECT_EQ(0, CompareAllLocked(watch));
}

TEST_F(ResyncTest, RevertedDeletionIsUnchangedWithoutPrevious)
{
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Beta"));
    ASSERT_EQ(1, CompareAllLocked(watch));
    const ChangeEntry* probe = CopiedEntry(HKCU, kRunKey, "Beta");
    ASSERT_EQ(Deleted, probe->status);
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Beta", probe->current->type, probe->current->data,
                                      probe->current->dataLen));
    EXPECT_EQ(REGWATCH_OK, RegWatch_Resync(watch, probe));
    ChangeEntry* beta = Entry(HKCU, kRunKey, "Beta");
    ASSERT_NE(nullptr, beta);
    EXPECT_EQ(Unchanged, beta->status);
    EXPECT_EQ(nullptr, beta->previous);
    EXPECT_EQ(0, CompareAllLocked(watch));
}

TEST_F(ResyncTest, ProbeOutsideTheWatchedKeysIsNotFoundButTheComparisonRan)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKLM, kRunKey, "KeywardenTestMachine", "m.exe"));
    ValueRecord name = MakeRecord("Alpha", "", 0, REG_SZ);
    WatchedKey elsewhere = {};
    elsewhere.root = HKCU;
    elsewhere.subkey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    ChangeEntry probe = {};
    probe.owner = &elsewhere;
    probe.current = &name;
    EXPECT_EQ(REGWATCH_E_NOT_FOUND, RegWatch_Resync(watch, &probe));
    ASSERT_NE(nullptr, Entry(HKLM, kRunKey, "KeywardenTestMachine"));
    EXPECT_EQ(New, Entry(HKLM, kRunKey, "KeywardenTestMachine")->status);

    elsewhere.subkey = kRunKey;  // the right key, a name it does not hold
    ValueRecord unknown = MakeRecord("Nobody", "", 0, REG_SZ);
    probe.current = &unknown;
    EXPECT_EQ(REGWATCH_E_NOT_FOUND, RegWatch_Resync(watch, &probe));
    EXPECT_EQ(REGWATCH_E_NOT_FOUND, RegWatch_Resync(watch, nullptr));
}

TEST_F(ResyncTest, ValueWhoseKeyWasDeletedStaysAsItWas)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunServicesKey, "Service", "svc.exe"));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    const ChangeEntry* probe = CopiedEntry(HKCU, kRunServicesKey, "Service");
    ASSERT_NE(nullptr, probe);
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunServicesKey));
    EXPECT_EQ(REGWATCH_E_OPEN_KEY, RegWatch_Resync(watch, probe));
    ChangeEntry* service = Entry(HKCU, kRunServicesKey, "Service");
    ASSERT_NE(nullptr, service);
    EXPECT_EQ(Unchanged, service->status);
}

TEST_F(ResyncTest, ProbeBuiltOnTheSpotForTheAutostartValue)
{
    // As the options page builds it: the Run key of the user and a name.
    WatchedKey run = {};
    run.root = HKCU;
    run.subkey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    ValueRecord name = MakeRecord("Keywarden", "", 0, REG_SZ);
    ChangeEntry probe = {};
    probe.owner = &run;
    probe.current = &name;

    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Keywarden", "Z:\\keywarden.exe -tray"));
    EXPECT_EQ(REGWATCH_OK, RegWatch_Resync(watch, &probe));
    ChangeEntry* own = Entry(HKCU, kRunKey, "Keywarden");
    ASSERT_NE(nullptr, own);
    EXPECT_EQ(Unchanged, own->status);
    EXPECT_EQ(std::string("Z:\\keywarden.exe -tray", 23), DataOf(own->current));

    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Keywarden"));
    EXPECT_EQ(REGWATCH_OK, RegWatch_Resync(watch, &probe));
    EXPECT_EQ(nullptr, Entry(HKCU, kRunKey, "Keywarden"));
}

// The value's size as the first query reports it, shrunk by gShrink, so the
// read finds a value that "grew"; gAlwaysMore makes every read too small.
DWORD gShrink = 0;
bool gAlwaysMore = false;
LONG GrowingQuery(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLen)
{
    LONG status = RegWatchSeam_RealSys()->regQueryValueEx(key, name, type, data, dataLen);
    if (!data && status == ERROR_SUCCESS)
        *dataLen -= gShrink;
    if (data && gAlwaysMore) {
        *dataLen += 100;
        return ERROR_MORE_DATA;
    }
    return status;
}

TEST_F(ResyncTest, ReadFollowsAValueThatGrowsBetweenItsQueries)
{
    for (DWORD shrink : {1u, 2u, 5u}) {
        gShrink = shrink;
        gAlwaysMore = false;
        RegWatchSeam_Sys()->regQueryValueEx = GrowingQuery;
        ValueRecord* record = nullptr;
        ASSERT_EQ(REGWATCH_OK, RegWatch_ReadValue(HKCU, kRunKey, "Alpha", &record)) << shrink;
        RegWatchSeam_ResetSys();
        EXPECT_EQ(std::string("alpha.exe", 10), DataOf(record)) << shrink;
        EXPECT_EQ(0, record->data[record->dataLen]);
        EXPECT_STREQ("Alpha", record->name);
        EXPECT_EQ(5u, record->nameLen);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), record->type);
        ValueRecord_Free(&record);
    }
}

TEST_F(ResyncTest, ValueThatNeverSettlesFailsTheReadAndLeavesTheEntry)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "other.exe"));
    const ChangeEntry* probe = CopiedEntry(HKCU, kRunKey, "Alpha");
    gShrink = 0;
    gAlwaysMore = true;
    RegWatchSeam_Sys()->regQueryValueEx = GrowingQuery;
    EXPECT_EQ(REGWATCH_E_NO_MEMORY, RegWatch_Resync(watch, probe));
    RegWatchSeam_ResetSys();
    ChangeEntry* alpha = Entry(HKCU, kRunKey, "Alpha");
    EXPECT_EQ(Changed, alpha->status) << "recorded by the comparison, then left as it was";
    EXPECT_EQ(std::string("other.exe", 10), DataOf(alpha->current));

    ValueRecord* record = reinterpret_cast<ValueRecord*>(&record);
    EXPECT_EQ(REGWATCH_E_NOT_FOUND, RegWatch_ReadValue(HKCU, kRunKey, "Nobody", &record));
    EXPECT_EQ(nullptr, record);
    EXPECT_EQ(REGWATCH_E_OPEN_KEY, RegWatch_ReadValue(HKCU, "Software\\KeywardenNoSuchKey", "Alpha", &record));
}

TEST_F(ResyncTest, ReadThatRunsOutOfMemoryLeavesTheEntryAsItWas)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "other.exe"));
    const ChangeEntry* probe = CopiedEntry(HKCU, kRunKey, "Alpha");
    ASSERT_EQ(1, CompareAllLocked(watch));
    // The comparison inside allocates too; fail each of the read's three.
    long compareAllocs = 0;
    RegWatchSeam_FailAllocAt(0);
    CompareAllLocked(watch);
    compareAllocs = RegWatchSeam_AllocCalls();
    for (long failAt = compareAllocs + 1; failAt <= compareAllocs + 3; ++failAt) {
        RegWatchSeam_FailAllocAt(failAt);
        EXPECT_EQ(REGWATCH_E_NO_MEMORY, RegWatch_Resync(watch, probe)) << failAt;
        EXPECT_EQ(Changed, Entry(HKCU, kRunKey, "Alpha")->status);
    }
}

TEST_F(ResyncTest, CopySharesNothingWithTheEngineButSubkeyTexts)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "other.exe"));
    ASSERT_EQ(1, CompareAllLocked(watch));
    ASSERT_EQ(REGWATCH_OK, RegWatch_CopyState(watch, &copy));

    ASSERT_EQ(CountKeys(&watch->watched), CountKeys(&copy));
    WatchedKey* mine = WatchedKey_First(&copy);
    for (WatchedKey* theirs = WatchedKey_First(&watch->watched); theirs;
         theirs = WatchedKey_Next(theirs), mine = WatchedKey_Next(mine)) {
        EXPECT_NE(theirs, mine);
        EXPECT_EQ(theirs->root, mine->root);
        EXPECT_EQ(theirs->subkey, mine->subkey) << "the one thing shared";
        ASSERT_EQ(CountEntries(theirs), CountEntries(mine));
        ChangeEntry* e = ChangeEntry_First(&mine->entries);
        for (ChangeEntry* t = ChangeEntry_First(&theirs->entries); t; t = ChangeEntry_Next(t), e = ChangeEntry_Next(e)) {
            EXPECT_EQ(mine, e->owner);
            EXPECT_EQ(t->status, e->status);
            EXPECT_NE(t->current, e->current);
            EXPECT_NE(t->current->data, e->current->data);
            EXPECT_STREQ(t->current->name, e->current->name);
            EXPECT_EQ(DataOf(t->current), DataOf(e->current));
            EXPECT_EQ(t->previous == nullptr, e->previous == nullptr);
        }
    }

    // Free the engine's side: the copy stays whole, and the other way round.
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ChangeEntry* alpha = FindEntry(&copy, HKCU, kRunKey, "Alpha");
    EXPECT_EQ(Changed, alpha->status);
    EXPECT_EQ(std::string("alpha.exe", 10), DataOf(alpha->previous));
    RegWatch_FreeState(&copy);
    EXPECT_EQ(nullptr, copy.first);
    EXPECT_EQ(Unchanged, Entry(HKCU, kRunKey, "Alpha")->status);
    EXPECT_EQ(std::string("other.exe", 10), DataOf(Entry(HKCU, kRunKey, "Alpha")->current));
}

TEST_F(ResyncTest, CopyOfSevenEmptyKeysHasSevenKeysWithoutEntries)
{
    for (const RegWatchKeyRow& row : kWatchedKeys)
        ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(row.root, row.subkey));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ASSERT_EQ(REGWATCH_OK, RegWatch_CopyState(watch, &copy));
    ASSERT_EQ(7u, CountKeys(&copy));
    for (WatchedKey* key = WatchedKey_First(&copy); key; key = WatchedKey_Next(key))
        EXPECT_EQ(nullptr, key->entries.first);
}

}  // namespace
