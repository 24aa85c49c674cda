// Failures the real registry will not produce on demand, injected through the
// testable engine's seams.
#include "tests/engine/support.h"

#include <string.h>

#include <vector>

namespace {

const HKEY HKCU = HKEY_CURRENT_USER;

// What the replacements below look at; reset by every test.
struct Injection {
    HKEY failOpenRoot = nullptr;
    const char* failOpenSubkey = nullptr;  // RegOpenKeyA of this key fails
    const char* failQuerySubkey = nullptr; // RegQueryInfoKeyA after opening it fails
    const char* lastOpened = nullptr;
    DWORD maxDataLimit = 0;                // nonzero: reported longest data
    DWORD maxNameLimit = 0;                // nonzero: reported longest name
    std::vector<long> allocAtOpen;         // allocation count at each RegOpenKeyA
};
Injection gInject;

LONG OpenKeyHook(HKEY root, const char* subkey, HKEY* key)
{
    gInject.allocAtOpen.push_back(RegWatchSeam_AllocCalls());
    gInject.lastOpened = subkey;
    if (root == gInject.failOpenRoot && gInject.failOpenSubkey && strcmp(subkey, gInject.failOpenSubkey) == 0)
        return ERROR_ACCESS_DENIED;
    return RegWatchSeam_RealSys()->regOpenKey(root, subkey, key);
}

LONG QueryInfoHook(HKEY key, DWORD* maxName, DWORD* maxData, FILETIME* lastWrite)
{
    if (gInject.failQuerySubkey && gInject.lastOpened && strcmp(gInject.lastOpened, gInject.failQuerySubkey) == 0)
        return ERROR_ACCESS_DENIED;
    LONG status = RegWatchSeam_RealSys()->regQueryInfoKey(key, maxName, maxData, lastWrite);
    if (gInject.maxDataLimit)
        *maxData = gInject.maxDataLimit;
    if (gInject.maxNameLimit)
        *maxName = gInject.maxNameLimit;
    return status;
}

class FailureTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        gInject = Injection();
        ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunKey));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "alpha.exe"));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "a much longer command line.exe"));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Gamma", "g.exe"));
        ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
        RegWatchSeam_Sys()->regOpenKey = OpenKeyHook;
        RegWatchSeam_Sys()->regQueryInfoKey = QueryInfoHook;
    }

    void TearDown() override
    {
        RegWatchSeam_ResetSys();
        RegWatchSeam_FailAllocAt(0);
        DestroyWatch(watch);
        RegistryTest::TearDown();
    }

    ChangeEntry* Entry(const char* name) { return FindEntry(&watch->watched, HKCU, kRunKey, name); }

    RegWatchHandle* watch = nullptr;
};

DWORD FailingWait(HANDLE, DWORD)
{
    return WAIT_FAILED;
}

TEST_F(FailureTest, FailedLockChangesNothingAndNoObjectIsAFailedLock)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "changed.exe"));
    WatchedKey* firstKey = WatchedKey_First(&watch->watched);
    ChangeEntry* alpha = Entry("Alpha");
    ChangeEntry probe = *alpha;

    RegWatchSeam_Sys()->waitForSingleObject = FailingWait;
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Rebaseline(watch));
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Resync(watch, &probe));
    RecordList copy;
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_CopyState(watch, &copy));
    EXPECT_EQ(nullptr, copy.first);
    EXPECT_EQ(firstKey, WatchedKey_First(&watch->watched)) << "the list is untouched";
    EXPECT_EQ(Unchanged, alpha->status) << "no comparison ran";
    RegWatchSeam_ResetSys();

    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Rebaseline(nullptr));
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Resync(nullptr, &probe));
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_CopyState(nullptr, &copy));
    EXPECT_EQ(nullptr, copy.first);
    EXPECT_EQ(REGWATCH_E_CREATE_THREAD, RegWatch_StartThread(nullptr, nullptr, nullptr));
}

DWORD WINAPI TakeAndExit(void* mutex)
{
    return WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
}

DWORD WINAPI TakeAndRelease(void* mutex)
{
    DWORD wait = WaitForSingleObject(static_cast<HANDLE>(mutex), 10000);
    if (wait == WAIT_OBJECT_0)
        ReleaseMutex(static_cast<HANDLE>(mutex));
    return wait;
}

DWORD RunThread(LPTHREAD_START_ROUTINE body, HANDLE mutex)
{
    HANDLE thread = CreateThread(nullptr, 0, body, mutex, 0, nullptr);
    DWORD code = WAIT_FAILED;
    WaitForSingleObject(thread, INFINITE);
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

TEST_F(FailureTest, AbandonedLockIsAFailedWaitThatLeavesTheMutexFree)
{
    ASSERT_EQ(WAIT_OBJECT_0, RunThread(TakeAndExit, watch->mutex));
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Rebaseline(watch));
    EXPECT_EQ(WAIT_OBJECT_0, RunThread(TakeAndRelease, watch->mutex)) << "the watch thread would be locked out";
    EXPECT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
}

TEST_F(FailureTest, WatchedKeyAllocationFailureEndsTheBaselineAtThatRow)
{
    // Each WatchedKey is allocated just before its key is opened.
    RegWatchSeam_FailAllocAt(0);
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    std::vector<long> atOpen = gInject.allocAtOpen;
    ASSERT_EQ(7u, atOpen.size());

    RegWatchSeam_FailAllocAt(atOpen[2]);
    EXPECT_EQ(REGWATCH_E_KEY_MEMORY, RegWatch_Rebaseline(watch));
    ASSERT_EQ(2u, CountKeys(&watch->watched));
    EXPECT_EQ(3u, CountEntries(WatchedKey_First(&watch->watched)));
}

TEST_F(FailureTest, QueryFailureEndsTheBaselineWithThatKeyEmpty)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunServicesKey, "Service", "svc.exe"));
    gInject.failQuerySubkey = kRunServicesKey;
    EXPECT_EQ(REGWATCH_E_QUERY_KEY, RegWatch_Rebaseline(watch));
    ASSERT_EQ(3u, CountKeys(&watch->watched));
    EXPECT_EQ(3u, CountEntries(WatchedKey_First(&watch->watched)));
    EXPECT_EQ(0u, CountEntries(FindKey(&watch->watched, HKCU, kRunServicesKey)));
}

TEST_F(FailureTest, KeyThatCannotBeOpenedIsEmptyInTheBaselineAndSkippedByComparisons)
{
    gInject.failOpenRoot = HKCU;
    gInject.failOpenSubkey = kRunKey;
    EXPECT_EQ(0, CompareAllLocked(watch));
    ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Alpha"));
    EXPECT_EQ(0, CompareAllLocked(watch)) << "an unreadable key marks nothing Deleted";
    EXPECT_EQ(Unchanged, Entry("Alpha")->status);

    gInject.failOpenSubkey = nullptr;
    gInject.failQuerySubkey = kRunKey;
    EXPECT_EQ(0, CompareAllLocked(watch)) << "nor does one that cannot be queried";
    gInject.failQuerySubkey = nullptr;

    gInject.failOpenSubkey = kRunKey;
    EXPECT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    EXPECT_EQ(7u, CountKeys(&watch->watched));
    EXPECT_EQ(0u, CountEntries(WatchedKey_First(&watch->watched)));
}

TEST_F(FailureTest, EntryAllocationFailureKeepsEarlierEntriesAndReadsTheOtherRows)
{
    // Row 1's allocations: key, two enumeration buffers, three per value for
    // the reading (9), then per entry the entry and its copy's three blocks.
    const long firstEntry = 1 + 2 + 9 + 1;
    const long secondEntry = firstEntry + 4;
    const long secondEntryData = secondEntry + 3;
    size_t lastRowValues = ReadKeyValues(kWatchedKeys[6].root, kWatchedKeys[6].subkey).size();
    for (long failAt : {firstEntry, secondEntry, secondEntryData}) {
        RegWatchSeam_FailAllocAt(failAt);
        EXPECT_EQ(REGWATCH_E_NO_MEMORY, RegWatch_Rebaseline(watch)) << failAt;
        EXPECT_EQ(7u, CountKeys(&watch->watched));
        EXPECT_EQ(failAt == firstEntry ? 0u : 1u, CountEntries(WatchedKey_First(&watch->watched))) << failAt;
        EXPECT_EQ(lastRowValues, CountEntries(FindKey(&watch->watched, kWatchedKeys[6].root, kWatchedKeys[6].subkey)));
    }
}

TEST_F(FailureTest, ValueThatCannotBeCopiedWhileReadingIsMissingFromThatReading)
{
    // Comparison of row 1: two buffers, then Alpha's three blocks, then Beta's.
    RegWatchSeam_FailAllocAt(2 + 3 + 1);
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Deleted, Entry("Beta")->status) << "the reading did not hold it";
    EXPECT_EQ(Unchanged, Entry("Alpha")->status);
    EXPECT_EQ(Unchanged, Entry("Gamma")->status);
}

TEST_F(FailureTest, NewValueThatCannotBeAllocatedIsFoundByTheNextComparison)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Delta", "d.exe"));
    // Row 1: two buffers, four values of three blocks, then the new entry and
    // its copy's first block.
    const long newEntry = 2 + 12 + 1;
    for (long failAt : {newEntry, newEntry + 1}) {
        RegWatchSeam_FailAllocAt(failAt);
        EXPECT_EQ(0, CompareAllLocked(watch)) << failAt;
        EXPECT_EQ(nullptr, Entry("Delta"));
    }
    RegWatchSeam_FailAllocAt(0);
    EXPECT_EQ(1, CompareAllLocked(watch));
    ASSERT_NE(nullptr, Entry("Delta"));
    EXPECT_EQ(New, Entry("Delta")->status);
}

TEST_F(FailureTest, ChangedValueThatCannotBeCopiedIsLeftAsItWas)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "other.exe"));
    // Row 1: two buffers, three values of three blocks, then Alpha's copy.
    RegWatchSeam_FailAllocAt(2 + 9 + 1);
    EXPECT_EQ(0, CompareAllLocked(watch));
    EXPECT_EQ(Unchanged, Entry("Alpha")->status);
    EXPECT_EQ(std::string("alpha.exe", 10), DataOf(Entry("Alpha")->current));
    RegWatchSeam_FailAllocAt(0);
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Changed, Entry("Alpha")->status);
}

int gCollectorCalls = 0;
void CountingCollector(RecordList*, const ValueRecord*)
{
    ++gCollectorCalls;
}

TEST_F(FailureTest, EnumerationWithoutBuffersReportsNoMemoryAndCollectsNothing)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKCU, kRunKey, 0, KEY_READ, &key));
    RecordList list;
    RecordList_Init(&list);
    gCollectorCalls = 0;
    for (long failAt : {1L, 2L}) {
        RegWatchSeam_FailAllocAt(failAt);
        EXPECT_EQ(REGWATCH_E_NO_MEMORY, RegWatch_EnumValues(&list, CountingCollector, key));
    }
    gInject.failQuerySubkey = gInject.lastOpened = kRunKey;
    EXPECT_EQ(REGWATCH_E_QUERY_KEY, RegWatch_EnumValues(&list, CountingCollector, key));
    EXPECT_EQ(0, gCollectorCalls);
    RegCloseKey(key);
}

TEST_F(FailureTest, ValueLongerThanTheKeyReportedIsStillRead)
{
    // Lengths reported too small, as for a value that grew after the query or
    // a narrow name longer than its characters: the reading must not stop.
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "an even longer command line than before.exe"));
    gInject.maxDataLimit = 10;
    gInject.maxNameLimit = 3;
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Unchanged, Entry("Alpha")->status);
    EXPECT_EQ(Changed, Entry("Beta")->status);
    EXPECT_EQ(std::string("an even longer command line than before.exe", 44), DataOf(Entry("Beta")->current));
    EXPECT_EQ(Unchanged, Entry("Gamma")->status) << "values after the long one are read too";

    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Delta", "d.exe"));
    EXPECT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    EXPECT_EQ(4u, CountEntries(WatchedKey_First(&watch->watched)));
}

bool gDeleteAlphaAtIndex1 = false;
LONG DeleteAlphaMidReading(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen)
{
    if (gDeleteAlphaAtIndex1 && index == 1) {
        gDeleteAlphaAtIndex1 = false;
        DeleteValue(HKCU, kRunKey, "Alpha");  // as another program would, between two reads
    }
    return RegWatchSeam_RealSys()->regEnumValue(key, index, name, nameLen, type, data, dataLen);
}

TEST_F(FailureTest, ValueDeletedDuringTheReadingSkipsNoOtherValue)
{
    // Alpha was read at index 0; its deletion moves Gamma to index 1, so a
    // single pass would never see Beta.
    gDeleteAlphaAtIndex1 = true;
    RegWatchSeam_Sys()->regEnumValue = DeleteAlphaMidReading;
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_FALSE(gDeleteAlphaAtIndex1);
    EXPECT_EQ(Deleted, Entry("Alpha")->status);
    EXPECT_EQ(Unchanged, Entry("Beta")->status);
    EXPECT_EQ(Unchanged, Entry("Gamma")->status);
}

bool gOutgrowOnce = false;
LONG WriteAndOutgrow(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen)
{
    if (gOutgrowOnce) {
        gOutgrowOnce = false;
        SetText(HKCU, kRunKey, "Delta", "d.exe");  // the key changes during the reading
        return ERROR_MORE_DATA;
    }
    return RegWatchSeam_RealSys()->regEnumValue(key, index, name, nameLen, type, data, dataLen);
}

TEST_F(FailureTest, ReadingThatCannotGrowItsBuffersSkipsTheKey)
{
    gOutgrowOnce = true;
    RegWatchSeam_Sys()->regEnumValue = WriteAndOutgrow;
    // Row 1: the two first buffers, then the larger name buffer.
    RegWatchSeam_FailAllocAt(3);
    EXPECT_EQ(0, CompareAllLocked(watch));
    EXPECT_FALSE(gOutgrowOnce);
    EXPECT_EQ(Unchanged, Entry("Alpha")->status) << "an unreadable key marks nothing Deleted";
    EXPECT_EQ(nullptr, Entry("Delta"));
    RegWatchSeam_FailAllocAt(0);
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(New, Entry("Delta")->status);
}

LONG BetaNeverFits(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen)
{
    LONG status = RegWatchSeam_RealSys()->regEnumValue(key, index, name, nameLen, type, data, dataLen);
    return status == ERROR_SUCCESS && strcmp(name, "Beta") == 0 ? ERROR_MORE_DATA : status;
}

TEST_F(FailureTest, ValueThatNeverFitsEndsTheReadingAndLaterValuesCountAsMissing)
{
    RegWatchSeam_Sys()->regEnumValue = BetaNeverFits;
    EXPECT_EQ(1, CompareAllLocked(watch));
    EXPECT_EQ(Unchanged, Entry("Alpha")->status);
    EXPECT_EQ(Deleted, Entry("Beta")->status);
    EXPECT_EQ(Deleted, Entry("Gamma")->status) << "everything from that index on is missing";

    RegWatchSeam_ResetSys();
    EXPECT_EQ(0, CompareAllLocked(watch)) << "read again with unchanged text";
    EXPECT_EQ(Deleted, Entry("Beta")->status);
    EXPECT_EQ(Deleted, Entry("Gamma")->status);
}

}  // namespace
