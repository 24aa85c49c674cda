// Building the watch object when the platform refuses, and runs in which any
// one allocation fails.
#include "tests/engine/support.h"

#include <string.h>

namespace {

const HKEY HKCU = HKEY_CURRENT_USER;
const HKEY HKLM = HKEY_LOCAL_MACHINE;

class CreateTest : public RegistryTest {
protected:
    void TearDown() override
    {
        RegWatchSeam_ResetSys();
        DestroyWatch(watch);
        RegistryTest::TearDown();
    }
    RegWatchHandle* watch = nullptr;
};

HANDLE NoHandle()
{
    return nullptr;
}

int gEventsMade = 0;
HANDLE SecondEventFails()
{
    return ++gEventsMade == 2 ? nullptr : RegWatchSeam_RealSys()->createEvent();
}

HKEY gRefusedRoot = nullptr;
LONG RefuseNotifyKey(HKEY root, const char* subkey, DWORD options, REGSAM access, HKEY* key)
{
    if (root == gRefusedRoot)
        return ERROR_ACCESS_DENIED;
    return RegWatchSeam_RealSys()->regOpenKeyEx(root, subkey, options, access, key);
}

HANDLE NoThread(LPTHREAD_START_ROUTINE, void*)
{
    return nullptr;
}

TEST_F(CreateTest, ObjectThatCannotBeAllocatedLeavesTheOutPointerNull)
{
    watch = reinterpret_cast<RegWatchHandle*>(&watch);  // anything but null
    RegWatchSeam_FailAllocAt(1);
    EXPECT_EQ(REGWATCH_E_NO_MEMORY, RegWatch_Create(&watch));
    EXPECT_EQ(nullptr, watch);
}

TEST_F(CreateTest, MutexFailureKeepsThePartlyBuiltObjectWithoutBaseline)
{
    RegWatchSeam_Sys()->createMutex = NoHandle;
    EXPECT_EQ(REGWATCH_E_CREATE_MUTEX, RegWatch_Create(&watch));
    ASSERT_NE(nullptr, watch);
    EXPECT_EQ(nullptr, watch->events[0]);
    EXPECT_EQ(nullptr, watch->watched.first);

    // The other operations work on what it holds: without a mutex, nothing.
    RecordList copy;
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_CopyState(watch, &copy));
    EXPECT_EQ(nullptr, copy.first);
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Rebaseline(watch));
}

TEST_F(CreateTest, EventFailureReturnsCreateEventAndTakesNoBaseline)
{
    RegWatchSeam_Sys()->createEvent = NoHandle;
    EXPECT_EQ(REGWATCH_E_CREATE_EVENT, RegWatch_Create(&watch));
    ASSERT_NE(nullptr, watch);
    EXPECT_NE(nullptr, watch->mutex);
    EXPECT_EQ(nullptr, watch->notifyKeys[0]);
    EXPECT_EQ(nullptr, watch->watched.first);
    DestroyWatch(watch);

    gEventsMade = 0;
    RegWatchSeam_Sys()->createEvent = SecondEventFails;
    watch = nullptr;
    EXPECT_EQ(REGWATCH_E_CREATE_EVENT, RegWatch_Create(&watch));
    ASSERT_NE(nullptr, watch);
    EXPECT_NE(nullptr, watch->notifyKeys[0]) << "event 1, key 1, then event 2";
    EXPECT_EQ(nullptr, watch->watched.first);
}

TEST_F(CreateTest, MachineNotifyKeyThatCannotBeOpenedReturnsOpenKeyAndTakesNoBaseline)
{
    gRefusedRoot = HKLM;
    RegWatchSeam_Sys()->regOpenKeyEx = RefuseNotifyKey;
    EXPECT_EQ(REGWATCH_E_OPEN_KEY, RegWatch_Create(&watch));
    ASSERT_NE(nullptr, watch);
    EXPECT_NE(nullptr, watch->notifyKeys[0]);
    EXPECT_NE(nullptr, watch->events[1]);
    EXPECT_EQ(nullptr, watch->notifyKeys[1]);
    EXPECT_EQ(nullptr, watch->watched.first);

    // A partly built object with a mutex still answers copies and baselines.
    RecordList copy;
    EXPECT_EQ(REGWATCH_OK, RegWatch_CopyState(watch, &copy));
    EXPECT_EQ(nullptr, copy.first);
    EXPECT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    EXPECT_EQ(7u, CountKeys(&watch->watched));
    DestroyWatch(watch);

    watch = nullptr;
    gRefusedRoot = HKCU;
    EXPECT_EQ(REGWATCH_E_OPEN_KEY, RegWatch_Create(&watch));
    ASSERT_NE(nullptr, watch);
    EXPECT_EQ(nullptr, watch->notifyKeys[0]);
    EXPECT_EQ(nullptr, watch->events[1]);
}

TEST_F(CreateTest, ThreadThatCannotStartReturnsCreateThreadWithTheCallbackStored)
{
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    RegWatchSeam_Sys()->createThread = NoThread;
    int userData = 0;
    RegWatch_Callback callback = [](void*) { return 0; };
    EXPECT_EQ(REGWATCH_E_CREATE_THREAD, RegWatch_StartThread(watch, &userData, callback));
    EXPECT_EQ(nullptr, watch->thread);
    EXPECT_EQ(&userData, watch->userData);
    EXPECT_EQ(callback, watch->callback);
}

// One run of the engine's life without the thread: create, see changes,
// copy. Every allocation failure must end in a documented result.
TEST_F(CreateTest, AnySingleAllocationFailureEndsCleanlyWithNothingLeaked)
{
    ASSERT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKCU, kRunKey));
    const long liveBefore = RegWatchSeam_LiveAllocs();
    long failAt = 1;
    for (;; ++failAt) {
        SCOPED_TRACE(testing::Message() << "allocation " << failAt << " fails");
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "alpha.exe"));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Beta", "beta.exe"));
        DeleteValue(HKCU, kRunKey, "Gamma");

        RegWatchSeam_FailAllocAt(failAt);
        watch = nullptr;
        DWORD created = RegWatch_Create(&watch);
        if (failAt == 1) {
            EXPECT_EQ(REGWATCH_E_NO_MEMORY, created);
            EXPECT_EQ(nullptr, watch);
            continue;
        }
        ASSERT_NE(nullptr, watch);
        ASSERT_TRUE(created == REGWATCH_OK || created == REGWATCH_E_NO_MEMORY || created == REGWATCH_E_KEY_MEMORY)
            << std::hex << created;
        size_t keys = CountKeys(&watch->watched);
        if (created == REGWATCH_OK) {
            EXPECT_EQ(7u, keys);
        }
        if (created == REGWATCH_E_KEY_MEMORY) {
            EXPECT_LT(keys, 7u);
        }

        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Alpha", "changed.exe"));
        ASSERT_EQ(ERROR_SUCCESS, DeleteValue(HKCU, kRunKey, "Beta"));
        ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "Gamma", "gamma.exe"));
        CompareAllLocked(watch);

        RecordList copy;
        DWORD copied = RegWatch_CopyState(watch, &copy);
        ASSERT_TRUE(copied == REGWATCH_OK || copied == REGWATCH_E_NO_MEMORY) << std::hex << copied;
        EXPECT_EQ(copied == REGWATCH_OK ? keys : 0u, CountKeys(&copy));
        RegWatch_FreeState(&copy);

        bool completed = RegWatchSeam_AllocCalls() < failAt;
        RegWatchSeam_FailAllocAt(0);
        // A later clean comparison accounts for every value of the keys held.
        CompareAllLocked(watch);
        for (WatchedKey* key = WatchedKey_First(&watch->watched); key; key = WatchedKey_Next(key)) {
            std::vector<RegValue> values = ReadKeyValues(key->root, key->subkey);
            for (const RegValue& value : values)
                EXPECT_NE(nullptr, FindEntry(&watch->watched, key->root, key->subkey, value.name.c_str()))
                    << value.name;
            for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry)) {
                bool present = false;
                for (const RegValue& value : values)
                    present = present || value.name == entry->current->name;
                if (!present) {
                    EXPECT_EQ(Deleted, entry->status) << entry->current->name;
                }
            }
        }
        if (completed) {
            EXPECT_EQ(REGWATCH_OK, created);
            EXPECT_EQ(REGWATCH_OK, copied);
            EXPECT_EQ(Changed, FindEntry(&watch->watched, HKCU, kRunKey, "Alpha")->status);
            EXPECT_EQ(Deleted, FindEntry(&watch->watched, HKCU, kRunKey, "Beta")->status);
            EXPECT_EQ(New, FindEntry(&watch->watched, HKCU, kRunKey, "Gamma")->status);
        }
        DestroyWatch(watch);
        watch = nullptr;
        ASSERT_EQ(liveBefore, RegWatchSeam_LiveAllocs());
        if (completed)
            break;
    }
    EXPECT_GT(failAt, 40) << "the run should make a fair number of allocations";
}

TEST_F(CreateTest, CopyThatRunsOutOfMemoryLeavesTheListEmptyAndLeaksNothing)
{
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "KeywardenTestCopy", "before.exe"));
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKCU, kRunKey, "KeywardenTestCopy", "after.exe"));
    ASSERT_EQ(1, CompareAllLocked(watch));  // so an entry has a previous record too

    const long liveBefore = RegWatchSeam_LiveAllocs();
    for (long failAt = 1;; ++failAt) {
        RegWatchSeam_FailAllocAt(failAt);
        RecordList copy;
        DWORD result = RegWatch_CopyState(watch, &copy);
        bool completed = RegWatchSeam_AllocCalls() < failAt;
        RegWatchSeam_FailAllocAt(0);
        if (completed) {
            EXPECT_EQ(REGWATCH_OK, result);
            ChangeEntry* copied = FindEntry(&copy, HKCU, kRunKey, "KeywardenTestCopy");
            ASSERT_NE(nullptr, copied);
            EXPECT_EQ(std::string("before.exe", 11), DataOf(copied->previous));
            RegWatch_FreeState(&copy);
            break;
        }
        EXPECT_EQ(REGWATCH_E_NO_MEMORY, result) << failAt;
        EXPECT_EQ(nullptr, copy.first) << failAt;
        EXPECT_EQ(nullptr, copy.last) << failAt;
        ASSERT_EQ(liveBefore, RegWatchSeam_LiveAllocs()) << failAt;
    }
}

}  // namespace
