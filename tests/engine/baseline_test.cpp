// Baseline and comparison against the real registry of the test prefix.
#include "tests/engine/support.h"

#include <string.h>

namespace {

const HKEY HKCU = HKEY_CURRENT_USER;
const HKEY HKLM = HKEY_LOCAL_MACHINE;

class BaselineTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        // HKCU Run starts with known values only.
        ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunKey));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "alpha.exe"));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "beta.exe"));
        ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    }

    void TearDown() override
    {
        DestroyWatch(watch);
        RegistryTest::TearDown();
    }

    ChangeEntry* Entry(HKEY root, const char* subkey, const char* name)
    {
        return FindEntry(&watch->watched, root, subkey, name);
    }

    RegWatchHandle* watch = nullptr;
};

TEST_F(BaselineTest, HoldsTheSevenKeysInTableOrderWithEveryValueUnchanged)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKLM, kRunKey, "Machine", "machine.exe"));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));

    ASSERT_EQ(7u, CountKeys(&watch->watched));
    size_t row = 0;
    for (WatchedKey* key = WatchedKey_First(&watch->watched); key; key = WatchedKey_Next(key), ++row) {
        EXPECT_EQ(kWatchedKeys[row].root, key->root);
        EXPECT_EQ(kWatchedKeys[row].subkey, key->subkey) << "points at the table's own text";
        std::vector<RegValue> values = ReadKeyValues(key->root, key->subkey);
        ASSERT_EQ(values.size(), CountEntries(key)) << key->subkey;
        ChangeEntry* entry = ChangeEntry_First(&key->entries);
        for (const RegValue& value : values) {
            EXPECT_EQ(value.name, entry->current->name);
            EXPECT_EQ(value.name.size(), entry->current->nameLen);
            EXPECT_EQ(value.data, DataOf(entry->current));
            EXPECT_EQ(value.type, entry->current->type);
            EXPECT_EQ(0, entry->current->data[entry->current->dataLen]);
            EXPECT_EQ(Unchanged, entry->status);
            EXPECT_EQ(nullptr, entry->previous);
            EXPECT_EQ(key, entry->owner);
            entry = ChangeEntry_Next(entry);
        }
    }
    EXPECT_NE(nullptr, Entry(HKLM, kRunKey, "Machine"));
    EXPECT_EQ(0, CompareAllLocked(watch)) << "nothing changed since the baseline";
}

TEST_F(BaselineTest, MissingRunOnceExAndEmptyKeysGiveKeysWithoutEntries)
{
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKLM, kRunOnceExKey));
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunOnceKey));
    ASSERT_EQ(ERROR_SUCCESS, CreateKey(HKCU, kRunOnceKey));

    EXPECT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ASSERT_EQ(7u, CountKeys(&watch->watched));
    WatchedKey* runOnceEx = FindKey(&watch->watched, HKLM, kRunOnceExKey);
    ASSERT_NE(nullptr, runOnceEx);
    EXPECT_EQ(0u, CountEntries(runOnceEx));
    EXPECT_EQ(0u, CountEntries(FindKey(&watch->watched, HKCU, kRunOnceKey)));
    EXPECT_EQ(nullptr, FindKey(&watch->watched, HKCU, kRunOnceExKey)) << "no RunOnceEx under the user";
}

TEST_F(BaselineTest, DataWithoutTerminatorIsFollowedByAZeroByte)
{
    // The reading reuses one buffer: a short raw value read after a long one
    // must not carry the long one's bytes as its text.
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunKey));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "A", "a rather long command line.exe"));
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "B", REG_BINARY, "xyz", 3));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ChangeEntry* raw = Entry(HKCU, kRunKey, "B");
    ASSERT_NE(nullptr, raw);
    ASSERT_EQ(3u, raw->current->dataLen);
    EXPECT_EQ(0, raw->current->data[3]);
    EXPECT_EQ(0, CompareAllLocked(watch));
}

TEST_F(BaselineTest, NewValueIsAppendedAndReportedOnce)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Gamma", "gamma.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    WatchedKey* run = FindKey(&watch->watched, HKCU, kRunKey);
    ChangeEntry* gamma = Entry(HKCU, kRunKey, "Gamma");
    ASSERT_NE(nullptr, gamma);
    EXPECT_EQ(run->entries.last, gamma) << "found later, so at the tail";
    EXPECT_EQ(New, gamma->status);
    EXPECT_EQ(nullptr, gamma->previous);
    EXPECT_EQ(run, gamma->owner);
    EXPECT_EQ(std::string("gamma.exe", 10), DataOf(gamma->current));

    EXPECT_EQ(0, CompareAllLocked(watch));
    EXPECT_EQ(New, gamma->status);
}

TEST_F(BaselineTest, SecondChangeKeepsTheDataOfTheFirstAsPrevious)
{
    ChangeEntry* alpha = Entry(HKCU, kRunKey, "Alpha");
    ASSERT_NE(nullptr, alpha);
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "first.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Changed, alpha->status);
    EXPECT_EQ(std::string("alpha.exe", 10), DataOf(alpha->previous));

    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "second.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(std::string("first.exe", 10), DataOf(alpha->previous));
    EXPECT_EQ(std::string("second.exe", 11), DataOf(alpha->current));

    // Back to the baseline text: still Changed, never Unchanged by a comparison.
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "alpha.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Changed, alpha->status);
    EXPECT_EQ(std::string("alpha.exe", 10), DataOf(alpha->current));
    EXPECT_EQ(0, CompareAllLocked(watch));
}

TEST_F(BaselineTest, OnlyTheTextUpToTheFirstNulCounts)
{
    const DWORD low0 = 0x0100;
    const DWORD otherLow0 = 0x0200;
    const DWORD one = 1;
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Flags", REG_DWORD, &low0, 4));
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Unterminated", REG_SZ, "tool", 4));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));

    // Type only; terminator only; DWORDs whose lowest byte is 0.
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Alpha", REG_EXPAND_SZ, "alpha.exe", 10));
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Unterminated", REG_SZ, "tool", 5));
    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Flags", REG_DWORD, &otherLow0, 4));
    EXPECT_EQ(0, CompareAllLocked(watch));
    EXPECT_EQ(Unchanged, Entry(HKCU, kRunKey, "Flags")->status);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), Entry(HKCU, kRunKey, "Alpha")->current->type)
        << "an equal text keeps the record as it was";

    ASSERT_EQ(ERROR_SUCCESS, SetBytes(HKCU, kRunKey, "Flags", REG_DWORD, &one, 4));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Changed, Entry(HKCU, kRunKey, "Flags")->status);
}

TEST_F(BaselineTest, DeletedValueReportsOnEveryComparisonUntilANewBaseline)
{
    ChangeEntry* beta = Entry(HKCU, kRunKey, "Beta");
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Beta"));
    for (int pass = 0; pass < 3; ++pass) {
        EXPECT_EQ(1, CompareAllLocked(watch)) << "pass " << pass;
        EXPECT_EQ(Deleted, beta->status);
        EXPECT_EQ(std::string("beta.exe", 9), DataOf(beta->current)) << "the last data seen";
    }
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    EXPECT_EQ(nullptr, Entry(HKCU, kRunKey, "Beta"));
    EXPECT_EQ(0, CompareAllLocked(watch));
}

TEST_F(BaselineTest, DeletedValueBackWithSameTextStaysDeletedAndQuiet)
{
    ChangeEntry* beta = Entry(HKCU, kRunKey, "Beta");
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Beta"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "beta.exe"));
    EXPECT_EQ(0, CompareAllLocked(watch));
    EXPECT_EQ(Deleted, beta->status);
}

TEST_F(BaselineTest, DeletedValueBackWithOtherTextIsChangedFromItsLastData)
{
    ChangeEntry* beta = Entry(HKCU, kRunKey, "Beta");
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "last.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Beta"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Deleted, beta->status);
    EXPECT_EQ(std::string("beta.exe", 9), DataOf(beta->previous)) << "previous stays through a deletion";

    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "back.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Changed, beta->status);
    EXPECT_EQ(std::string("last.exe", 9), DataOf(beta->previous));
    EXPECT_EQ(std::string("back.exe", 9), DataOf(beta->current));
}

TEST_F(BaselineTest, RenameInLetterCaseIsADeletionAndANewValue)
{
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Alpha"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "ALPHA", "alpha.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Deleted, Entry(HKCU, kRunKey, "Alpha")->status);
    ChangeEntry* upper = Entry(HKCU, kRunKey, "ALPHA");
    ASSERT_NE(nullptr, upper);
    EXPECT_EQ(New, upper->status);
}

TEST_F(BaselineTest, DeletedWatchedKeyKeepsItsStatusesAndReportsNothing)
{
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunServicesKey));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunServicesKey, "Service", "svc.exe"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "changed.exe"));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunServicesKey, "Service", "other.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    ChangeEntry* service = Entry(HKCU, kRunServicesKey, "Service");
    ASSERT_EQ(Changed, service->status);

    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunServicesKey));
    EXPECT_EQ(0, CompareAllLocked(watch));
    EXPECT_EQ(Changed, service->status);
    EXPECT_EQ(1u, CountEntries(FindKey(&watch->watched, HKCU, kRunServicesKey)));
}

TEST_F(BaselineTest, KeyCreatedAfterTheBaselineShowsItsValuesAsNew)
{
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKLM, kRunOnceExKey));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKLM, kRunOnceExKey, "Setup", "setup.exe"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKLM, kRunOnceExKey, "Finish", "finish.exe"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    WatchedKey* runOnceEx = FindKey(&watch->watched, HKLM, kRunOnceExKey);
    ASSERT_EQ(2u, CountEntries(runOnceEx));
    for (ChangeEntry* entry = ChangeEntry_First(&runOnceEx->entries); entry; entry = ChangeEntry_Next(entry))
        EXPECT_EQ(New, entry->status) << entry->current->name;
}

TEST_F(BaselineTest, ChangeByAnotherProcessIsSeenByTheNextComparison)
{
    std::string hkcuRun = std::string("HKCU \"") + kRunKey + "\"";
    std::string hklmRun = std::string("HKLM \"") + kRunKey + "\"";
    ASSERT_EQ(0, RunWriter(hkcuRun + " set Alpha outside.exe del Beta"));
    ASSERT_EQ(0, RunWriter(hklmRun + " setdword KeywardenTestMachine 7"));
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Changed, Entry(HKCU, kRunKey, "Alpha")->status);
    EXPECT_EQ(std::string("outside.exe", 12), DataOf(Entry(HKCU, kRunKey, "Alpha")->current));
    EXPECT_EQ(Deleted, Entry(HKCU, kRunKey, "Beta")->status);
    ChangeEntry* machine = Entry(HKLM, kRunKey, "KeywardenTestMachine");
    ASSERT_NE(nullptr, machine) << "the writer writes the same registry view";
    EXPECT_EQ(New, machine->status);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), machine->current->type);
}

}  // namespace
