// Failures the registry and the kernel will not produce on demand, injected
// through the testable engine's seams.
#include "tests/engine/support.h"

#include <thread>

namespace {

// What the replaced calls do to the lock and to the reading of HKCU Run.
enum Fault { None, NoLock, Unopenable, Unqueryable, OutgrowsOnce, BetaNeverFits, AlphaDeletedMidReading };
Fault gFault = None;

LONG EnumHook(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen)
{
    Fault once = gFault == OutgrowsOnce || (gFault == AlphaDeletedMidReading && index == 1) ? gFault : None;
    gFault = once ? None : gFault;
    if (once == OutgrowsOnce)  // as a value that grew since the key was queried
        return ERROR_MORE_DATA;
    if (once == AlphaDeletedMidReading)  // as another program would, between two reads
        Put(HKCU, kRun, "Alpha", nullptr);
    LONG status = RegWatchSeam_RealSys()->regEnumValue(key, index, name, nameLen, type, data, dataLen);
    return gFault == BetaNeverFits && status == ERROR_SUCCESS && strcmp(name, "Beta") == 0 ? ERROR_MORE_DATA : status;
}

using FailureTest = WatchTest;

TEST_F(FailureTest, EachFailureEndsAsDocumentedAndWhatItLeftOutIsFoundLater)
{
    RegWatchSeam_Sys()->waitForSingleObject = [](HANDLE handle, DWORD time) {
        return gFault == NoLock ? WAIT_FAILED : RegWatchSeam_RealSys()->waitForSingleObject(handle, time);
    };
    RegWatchSeam_Sys()->regOpenKey = [](HKEY root, const char* subkey, HKEY* key) {
        return gFault == Unopenable ? ERROR_ACCESS_DENIED : RegWatchSeam_RealSys()->regOpenKey(root, subkey, key);
    };
    RegWatchSeam_Sys()->regQueryInfoKey = [](HKEY key, DWORD* name, DWORD* data, FILETIME* written) {
        return gFault == Unqueryable ? ERROR_ACCESS_DENIED
                                     : RegWatchSeam_RealSys()->regQueryInfoKey(key, name, data, written);
    };
    RegWatchSeam_Sys()->regEnumValue = EnumHook;
    // Allocations for HKCU Run. A baseline: key (1), buffers (2-3), three blocks per value read (4-9), then
    // an entry and its three-block copy per value (10-17); row 2's key is the 18th. A comparison: buffers
    // (1-2), three blocks per value read (Alpha 3-5, Beta 6-8, Delta 9-11), then any entry or copy.
    struct { const char* what; bool baseline; Fault fault; long failAlloc; const char *name, *write; DWORD result;
             size_t keys; const char* watched; int status, flagAfter, statusAfter; } cases[] = {
        {"no lock", true, NoLock, 0, "Alpha", "other.exe", REGWATCH_E_LOCK, 7, "Alpha", Unchanged, 1, Changed},
        {"no key opens", true, Unopenable, 0, nullptr, nullptr, REGWATCH_OK, 7, "Alpha", -1, 1, New},
        {"Run cannot be queried", true, Unqueryable, 0, nullptr, nullptr, REGWATCH_E_QUERY_KEY, 1, "Alpha", -1, 1, New},
        {"no second key", true, None, 18, nullptr, nullptr, REGWATCH_E_KEY_MEMORY, 1, "Beta", Unchanged, 0, Unchanged},
        {"no first entry", true, None, 10, nullptr, nullptr, REGWATCH_E_NO_MEMORY, 7, "Alpha", -1, 1, New},
        {"no second entry's copy", true, None, 15, nullptr, nullptr, REGWATCH_E_NO_MEMORY, 7, "Beta", -1, 1, New},
        {"no key opens", false, Unopenable, 0, "Alpha", nullptr, 0, 7, "Alpha", Unchanged, 1, Deleted},
        // A value missing from a reading but still there is never taken as deleted.
        {"no record for a value read", false, None, 6, nullptr, nullptr, 0, 7, "Beta", Unchanged, 0, Unchanged},
        {"no new entry", false, None, 12, "Delta", "d.exe", 0, 7, "Delta", -1, 1, New},
        {"no copy for a change", false, None, 9, "Alpha", "other.exe", 0, 7, "Alpha", Unchanged, 1, Changed},
        {"a value that never fits", false, BetaNeverFits, 0, nullptr, nullptr, 0, 7, "Beta", Unchanged, 0, Unchanged},
        // Read on with larger buffers; skip a key whose buffers cannot grow; read
        // again a key written to during the reading.
        {"a value outgrowing the buffers", false, OutgrowsOnce, 0, nullptr, nullptr, 0, 7, "Beta", Unchanged, 0, 0},
        {"buffers that cannot grow", false, OutgrowsOnce, 3, nullptr, nullptr, 0, 7, "Beta", Unchanged, 0, 0},
        {"a deletion mid-reading", false, AlphaDeletedMidReading, 0, nullptr, nullptr, 1, 7, "Beta", 0, 1, 0},
    };
    auto statusOf = [&](const char* name) { return Entry(name) ? static_cast<int>(Entry(name)->status) : -1; };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.baseline ? "baseline: " : "comparison: ") + c.what);
        ASSERT_EQ(0, RunWriter("HKCU", kRun, "set Alpha alpha.exe set Beta beta.exe del Delta"));
        ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
        ASSERT_TRUE(!c.name || Put(HKCU, kRun, c.name, c.write) == ERROR_SUCCESS);
        gFault = c.fault;
        RegWatchSeam_FailAllocAt(c.failAlloc);
        EXPECT_EQ(c.result, c.baseline ? RegWatch_Rebaseline(watch) : static_cast<DWORD>(RegWatch_CompareAll(watch)));
        gFault = None;
        RegWatchSeam_FailAllocAt(0);
        EXPECT_EQ(c.keys, Count(&watch->watched));
        EXPECT_EQ(c.status, statusOf(c.watched));
        EXPECT_EQ(c.flagAfter, RegWatch_CompareAll(watch)) << "after";
        EXPECT_EQ(c.statusAfter, statusOf(c.watched)) << "after";
    }
}

TEST_F(FailureTest, LockAbandonedByAThreadThatEndedIsHandedBack)
{
    for (int round = 0; round < 2; ++round) {  // the second finds the mutex free again, or never gets it
        DWORD taken = WAIT_FAILED;
        std::thread([&] { taken = WaitForSingleObject(watch->mutex, 10000); }).join();
        EXPECT_EQ(WAIT_OBJECT_0, taken) << "round " << round;
        EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Rebaseline(watch));
    }
}

// RegWatch_Create's steps in order: mutex, event 1, notify key 1, event 2, notify key 2.
int gAt = 0, gFails = 0;  // the step reached, and the one that fails

TEST_F(FailureTest, CreateFailuresReturnTheirCodesAndTakeNoBaseline)
{
    RegWatchSeam_Sys()->createMutex = [] { return gAt++ == gFails ? nullptr : CreateMutexA(nullptr, 0, nullptr); };
    RegWatchSeam_Sys()->createEvent = [] { return gAt++ == gFails ? nullptr : CreateEventA(nullptr, 0, 0, nullptr); };
    RegWatchSeam_Sys()->regOpenKeyEx = [](HKEY root, const char* subkey, DWORD options, REGSAM access, HKEY* key) {
        return gAt++ == gFails ? ERROR_ACCESS_DENIED
                                    : RegWatchSeam_RealSys()->regOpenKeyEx(root, subkey, options, access, key);
    };
    const DWORD codes[] = {REGWATCH_E_CREATE_MUTEX, REGWATCH_E_CREATE_EVENT, REGWATCH_E_OPEN_KEY,
                           REGWATCH_E_CREATE_EVENT, REGWATCH_E_OPEN_KEY};
    RecordList copy;
    for (gFails = 0; gFails < 5; ++gFails) {
        RegWatchHandle* partial = nullptr;
        gAt = 0;
        EXPECT_EQ(codes[gFails], RegWatch_Create(&partial)) << "step " << gFails;
        ASSERT_NE(nullptr, partial);
        EXPECT_EQ(nullptr, partial->watched.first);
        // What it holds still answers: without a mutex, nothing.
        EXPECT_EQ(gFails ? REGWATCH_OK : REGWATCH_E_LOCK, RegWatch_CopyState(partial, &copy));
        DestroyWatch(partial);
    }
    EXPECT_TRUE(RegWatch_CopyState(nullptr, &copy) == REGWATCH_E_LOCK && !copy.first);
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Rebaseline(nullptr));  // and given no object at all
    EXPECT_EQ(REGWATCH_E_LOCK, RegWatch_Resync(nullptr, nullptr));
    RegWatchSeam_Sys()->createThread = [](LPTHREAD_START_ROUTINE, void*) -> HANDLE { return nullptr; };
    EXPECT_EQ(REGWATCH_E_CREATE_THREAD, RegWatch_StartThread(watch, nullptr, nullptr));
}

// Create, compare, copy and re-read with any one allocation failing: each
// run ends in a documented result, and freeing its object leaves nothing.
TEST_F(FailureTest, AnySingleAllocationFailureEndsCleanly)
{
    Probe alpha(kRun, "Alpha");
    RegWatchHandle* run = nullptr;
    RegWatchSeam_FailAllocAt(1);
    EXPECT_TRUE(RegWatch_Create(&run) == REGWATCH_E_NO_MEMORY && !run);
    for (long failAt = 2, completed = 0; !completed; ++failAt) {
        SCOPED_TRACE(testing::Message() << "allocation " << failAt << " fails");
        ASSERT_EQ(ERROR_SUCCESS, Put(HKCU, kRun, "Beta", "beta.exe"));
        Put(HKCU, kRun, "Gamma", nullptr);
        const long blocks = RegWatchSeam_LiveAllocs();
        RegWatchSeam_FailAllocAt(failAt);
        DWORD created = RegWatch_Create(&run);
        ASSERT_NE(nullptr, run);
        size_t keys = Count(&run->watched);
        EXPECT_TRUE(created ? created == REGWATCH_E_NO_MEMORY || (created == REGWATCH_E_KEY_MEMORY && keys < 7)
                            : keys == 7) << std::hex << created;
        ASSERT_EQ(ERROR_SUCCESS, Put(HKCU, kRun, "Beta", nullptr));
        ASSERT_EQ(ERROR_SUCCESS, Put(HKCU, kRun, "Gamma", "gamma.exe"));
        RegWatch_CompareAll(run);
        RecordList copy;
        DWORD copied = RegWatch_CopyState(run, &copy);
        EXPECT_TRUE(copied ? copied == REGWATCH_E_NO_MEMORY && !copy.first : Count(&copy) == keys);
        RegWatch_FreeState(&copy);
        DWORD reread = RegWatch_Resync(run, &alpha.entry);
        EXPECT_TRUE(!reread || reread == REGWATCH_E_NO_MEMORY || reread == REGWATCH_E_NOT_FOUND) << reread;
        completed = RegWatchSeam_AllocCalls() < failAt;
        RegWatchSeam_FailAllocAt(0);
        if (completed) {
            EXPECT_TRUE(!created && !copied && !reread && FindEntry(&run->watched, HKCU, kRun, "Gamma")->status == New);
        }
        DestroyWatch(run);
        ASSERT_EQ(blocks, RegWatchSeam_LiveAllocs());
    }
}

}  // namespace
