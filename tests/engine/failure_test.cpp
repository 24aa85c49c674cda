// Failures the registry and the kernel will not produce on demand, injected through the testable engine's seams.
#include "tests/engine/engine_test.h"

// What the replaced calls do to the lock and to the reading of HKCU Run.
enum Fault { None, NoLock, Unopenable, Unqueryable, OutgrowsOnce, CannotGrow, BetaNeverFits, AlphaDeletedMidReading };
static Fault gFault = None;

static LONG EnumHook(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* dataLen) {
    const Fault once = gFault == OutgrowsOnce || gFault == CannotGrow || (gFault == AlphaDeletedMidReading && index == 1)
                           ? gFault : None;
    gFault = once ? None : gFault;
    if (once == OutgrowsOnce || once == CannotGrow)  // as a value that grew since the key was queried
        return RegWatchSeam_FailAllocAt(once == CannotGrow ? 1 : 0), ERROR_MORE_DATA;  // 1: the larger buffers
    if (once == AlphaDeletedMidReading)  // as another program would, between two reads
        RegistryTest::Put(HKCU, kRunKey, "Alpha", nullptr);
    LONG status = RegWatchSeam_RealSys()->regEnumValue(key, index, name, nameLen, type, data, dataLen);
    return gFault == BetaNeverFits && status == ERROR_SUCCESS && strcmp(name, "Beta") == 0 ? ERROR_MORE_DATA : status;
}

using FailureTest = WatchTest;

TEST_F(FailureTest, EachFailureEndsAsDocumentedAndWhatItLeftOutIsFoundLater) {
    RegWatchSeam_Sys()->waitForSingleObject = [](HANDLE handle, DWORD time) {
        return gFault == NoLock ? WAIT_FAILED : RegWatchSeam_RealSys()->waitForSingleObject(handle, time);
    };
    RegWatchSeam_Sys()->regOpenKey = [](HKEY root, const char* subkey, REGSAM view, HKEY* key) {
        return gFault == Unopenable ? ERROR_ACCESS_DENIED : RegWatchSeam_RealSys()->regOpenKey(root, subkey, view, key);
    };
    RegWatchSeam_Sys()->regQueryInfoKey = [](HKEY key, DWORD* values, DWORD* name, DWORD* data, FILETIME* written) {
        return gFault == Unqueryable ? ERROR_ACCESS_DENIED
                                     : RegWatchSeam_RealSys()->regQueryInfoKey(key, values, name, data, written);
    };
    RegWatchSeam_Sys()->regEnumValue = EnumHook;
    const size_t all = RegWatch_HasTwoViews() ? 11 : 7;
    struct { const char* what; bool baseline; Fault fault; const char *name, *write; DWORD result; size_t keys;
             const char* watched; int status, flagAfter, statusAfter; } cases[] = {
        {"no lock", true, NoLock, "Alpha", "other.exe", REGWATCH_E_LOCK, all, "Alpha", Unchanged, 1, Changed},
        {"no key opens", true, Unopenable, nullptr, nullptr, REGWATCH_OK, all, "Alpha", -1, 1, New},
        // Keys that cannot be read keep their places and are read as soon as they can be.
        {"no key can be queried", true, Unqueryable, nullptr, nullptr, REGWATCH_E_QUERY_KEY, all, "Alpha", -1, 1, New},
        {"no key opens", false, Unopenable, "Alpha", nullptr, 0, all, "Alpha", Unchanged, 1, Deleted},
        // A value missing from a reading but still there is never taken as deleted.
        {"a value that never fits", false, BetaNeverFits, nullptr, nullptr, 0, all, "Beta", Unchanged, 0, Unchanged},
        // Read on with larger buffers; skip a key whose buffers cannot grow; read again a key written to meanwhile.
        {"a value outgrowing the buffers", false, OutgrowsOnce, nullptr, nullptr, 0, all, "Beta", Unchanged, 0, 0},
        {"buffers that cannot grow", false, CannotGrow, nullptr, nullptr, 0, all, "Beta", Unchanged, 0, 0},
        {"a deletion mid-reading", false, AlphaDeletedMidReading, nullptr, nullptr, 1, all, "Beta", 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.baseline ? "baseline: " : "comparison: ") + c.what);
        Put(HKCU, kRunKey, "Alpha", "alpha.exe"), Put(HKCU, kRunKey, "Beta", "beta.exe");
        ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
        if (gFault = c.fault, c.name) Put(HKCU, kRunKey, c.name, c.write);
        EXPECT_EQ(c.result, c.baseline ? RegWatch_Rebaseline(watch) : static_cast<DWORD>(RegWatch_CompareAll(watch)));
        gFault = None, RegWatchSeam_FailAllocAt(0);
        EXPECT_EQ(std::make_pair(c.keys, c.status), std::make_pair(Count(&watch->watched), StatusOf(&watch->watched, c.watched)));
        EXPECT_EQ(c.flagAfter, RegWatch_CompareAll(watch)) << "after";
        EXPECT_EQ(c.statusAfter, StatusOf(&watch->watched, c.watched)) << "after";
    }
}

// RegWatch_Create's steps in order: mutex, an event and a notify key for each notify key, an event for each
// watched key.
static int gAt = 0, gFails = 0;  // the step reached, and the one that fails

TEST_F(FailureTest, CreateFailuresReturnTheirCodesAndLeaveAnObjectThatAnswersAndFreesCleanly) {
    RegWatchSeam_Sys()->createMutex = [] { return gAt++ == gFails ? nullptr : CreateMutexA(nullptr, 0, nullptr); };
    RegWatchSeam_Sys()->createEvent = [] { return gAt++ == gFails ? nullptr : CreateEventA(nullptr, 0, 0, nullptr); };
    RegWatchSeam_Sys()->regOpenKeyEx = [](HKEY root, const char* subkey, DWORD options, REGSAM access, HKEY* key) {
        return gAt++ == gFails ? ERROR_ACCESS_DENIED : RegWatchSeam_RealSys()->regOpenKeyEx(root, subkey, options, access, key);
    };
    const int parents = RegWatch_HasTwoViews() ? 3 : 2, steps = 1 + 2 * parents + (RegWatch_HasTwoViews() ? 11 : 7);
    RecordList copy;
    for (RegWatchHandle* partial = nullptr; gFails < steps; ++gFails, gAt = 0, DestroyWatch(partial)) {
        const DWORD code = !gFails ? REGWATCH_E_CREATE_MUTEX
                           : gFails % 2 || gFails > 2 * parents ? REGWATCH_E_CREATE_EVENT : REGWATCH_E_OPEN_KEY;
        EXPECT_EQ(code, RegWatch_Create(&partial)) << "step " << gFails;
        ASSERT_TRUE(partial && !partial->watched.first) << "a baseline taken, step " << gFails;
        EXPECT_EQ(gFails ? REGWATCH_OK : REGWATCH_E_LOCK, RegWatch_CopyState(partial, &copy));  // without a mutex, nothing
    }
    EXPECT_TRUE(RegWatch_CopyState(nullptr, &copy) == REGWATCH_E_LOCK && !copy.first);  // and given no object at all
    EXPECT_TRUE(RegWatch_Rebaseline(nullptr) == REGWATCH_E_LOCK && RegWatch_Resync(nullptr, nullptr) == REGWATCH_E_LOCK);
    RegWatchSeam_Sys()->createThread = [](LPTHREAD_START_ROUTINE, void*) -> HANDLE { return nullptr; };
    EXPECT_EQ(REGWATCH_E_CREATE_THREAD, RegWatch_StartThread(watch, nullptr, nullptr));
}

// Create, compare, copy and re-read with any one allocation failing: each run ends in a documented result, never
// takes a present value as deleted, frees all it took, and the next comparison finds what the failure left out.
TEST_F(FailureTest, AnySingleAllocationFailureEndsCleanlyAndLosesNothingForGood) {
    Probe probe(kRunKey, "Alpha");
    RegWatchHandle* run = nullptr;
    RegWatchSeam_FailAllocAt(1);
    EXPECT_TRUE(RegWatch_Create(&run) == REGWATCH_E_NO_MEMORY && !run);
    for (long failAt = 2, completed = 0; !completed; ++failAt) {
        SCOPED_TRACE(testing::Message() << "allocation " << failAt << " fails");
        Put(HKCU, kRunKey, "Alpha", "alpha.exe"), Put(HKCU, kRunKey, "Beta", "beta.exe"), Put(HKCU, kRunKey, "Gamma", nullptr);
        const long blocks = RegWatchSeam_LiveAllocs();
        RegWatchSeam_FailAllocAt(failAt);
        const DWORD created = RegWatch_Create(&run);
        ASSERT_NE(nullptr, run);
        const size_t keys = Count(&run->watched);
        const size_t all = RegWatch_HasTwoViews() ? 11 : 7;
        EXPECT_TRUE(created ? created == REGWATCH_E_NO_MEMORY || (created == REGWATCH_E_KEY_MEMORY && keys < all) : keys == all)
            << std::hex << created;
        Put(HKCU, kRunKey, "Alpha", "other.exe"), Put(HKCU, kRunKey, "Beta", nullptr), Put(HKCU, kRunKey, "Gamma", "gamma.exe");
        RegWatch_CompareAll(run);
        EXPECT_NE(Deleted, StatusOf(&run->watched, "Alpha"));
        RecordList copy;
        const DWORD copied = RegWatch_CopyState(run, &copy);
        EXPECT_TRUE(copied ? copied == REGWATCH_E_NO_MEMORY && !copy.first : Count(&copy) == keys);
        RegWatch_FreeState(&copy);
        const DWORD reread = RegWatch_Resync(run, &probe.entry);
        EXPECT_TRUE(!reread || reread == REGWATCH_E_NO_MEMORY || reread == REGWATCH_E_NOT_FOUND) << reread;
        completed = RegWatchSeam_AllocCalls() < failAt;
        RegWatchSeam_FailAllocAt(0);
        EXPECT_TRUE(!completed || (!created && !copied && !reread));
        RegWatch_CompareAll(run);
        ChangeEntry* alpha = FindEntry(&run->watched, HKCU, kRunKey, "Alpha");
        const int beta = StatusOf(&run->watched, "Beta");
        EXPECT_TRUE(!keys || (alpha && alpha->status != Deleted && !strcmp("other.exe", Text(alpha->current)) &&
                              StatusOf(&run->watched, "Gamma") == New && (beta == -1 || beta == Deleted)));
        DestroyWatch(run);
        ASSERT_EQ(blocks, RegWatchSeam_LiveAllocs());
    }
}
