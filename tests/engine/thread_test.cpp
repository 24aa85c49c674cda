// The watch thread against another process writing the registry. Built with
// the product engine: no seams, the platform's own calls.
//
// There is no way to stop a watch thread, so each test's object and thread
// live on until the process ends, as in the program; each test's callback
// probe is leaked with them on purpose.
#include "tests/engine/support.h"

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const HKEY HKCU = HKEY_CURRENT_USER;
const HKEY HKLM = HKEY_LOCAL_MACHINE;
const DWORD kPatience = 20000;  // ms; callbacks take about a millisecond

struct CallbackProbe {
    HANDLE called;  // auto-reset
    volatile LONG count;
};

int CountCallback(void* userData)
{
    CallbackProbe* probe = static_cast<CallbackProbe*>(userData);
    InterlockedIncrement(&probe->count);
    SetEvent(probe->called);
    return 0;
}

std::string Writer(const char* root, const char* subkey, const std::string& commands)
{
    return std::string(root) + " \"" + subkey + "\" " + commands;
}

class ThreadTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        probe = new CallbackProbe{CreateEventA(nullptr, FALSE, FALSE, nullptr), 0};
    }

    void TearDown() override
    {
        RegWatch_FreeState(&copy);
        RegistryTest::TearDown();
    }

    void Start()
    {
        ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
        ASSERT_EQ(REGWATCH_OK, RegWatch_StartThread(watch, probe, CountCallback));
    }

    LONG Calls() { return InterlockedCompareExchange(&probe->count, 0, 0); }

    // Waits for callbacks until the copy satisfies the condition.
    template <class Condition>
    bool WaitForState(Condition condition)
    {
        DWORD start = GetTickCount();
        for (;;) {
            RegWatch_FreeState(&copy);
            if (RegWatch_CopyState(watch, &copy) == REGWATCH_OK && condition())
                return true;
            DWORD spent = GetTickCount() - start;
            if (spent >= kPatience)
                return false;
            WaitForSingleObject(probe->called, kPatience - spent);
        }
    }

    bool WaitForCallsAbove(LONG count)
    {
        DWORD start = GetTickCount();
        while (Calls() <= count) {
            DWORD spent = GetTickCount() - start;
            if (spent >= kPatience)
                return false;
            WaitForSingleObject(probe->called, kPatience - spent);
        }
        return true;
    }

    ChangeEntry* Copied(HKEY root, const char* subkey, const char* name)
    {
        return FindEntry(&copy, root, subkey, name);
    }

    bool CopiedStatus(HKEY root, const char* subkey, const char* name, ChangeStatus status)
    {
        ChangeEntry* entry = Copied(root, subkey, name);
        return entry && entry->status == status;
    }

    CallbackProbe* probe = nullptr;
    RegWatchHandle* watch = nullptr;
    RecordList copy = {nullptr, nullptr};
};

TEST_F(ThreadTest, AnotherProcessAddsChangesAndDeletesUnderBothRoots)
{
    Start();
    // Each write must bring a callback and, with it, the state it shows.
    auto expect = [&](const std::string& writer, auto condition) {
        LONG before = Calls();
        EXPECT_EQ(0, RunWriter(writer));
        EXPECT_TRUE(WaitForCallsAbove(before)) << writer;
        return WaitForState(condition);
    };
    ASSERT_TRUE(expect(Writer("HKCU", kRunKey, "set KeywardenTestUser user.exe"),
                       [&] { return CopiedStatus(HKCU, kRunKey, "KeywardenTestUser", New); }));
    ASSERT_TRUE(expect(Writer("HKLM", kRunKey, "set KeywardenTestMachine machine.exe"),
                       [&] { return CopiedStatus(HKLM, kRunKey, "KeywardenTestMachine", New); }));
    WatchedKey* userRun = FindKey(&copy, HKCU, kRunKey);
    EXPECT_EQ(Copied(HKCU, kRunKey, "KeywardenTestUser"), static_cast<ChangeEntry*>(userRun->entries.last))
        << "found after the baseline, so last";

    ASSERT_TRUE(expect(Writer("HKCU", kRunKey, "set KeywardenTestUser other.exe"),
                       [&] { return CopiedStatus(HKCU, kRunKey, "KeywardenTestUser", Changed); }));
    ChangeEntry* user = Copied(HKCU, kRunKey, "KeywardenTestUser");
    EXPECT_EQ(std::string("other.exe", 10), DataOf(user->current));
    ASSERT_NE(nullptr, user->previous);
    EXPECT_EQ(std::string("user.exe", 9), DataOf(user->previous));

    ASSERT_TRUE(expect(Writer("HKLM", kRunKey, "del KeywardenTestMachine"),
                       [&] { return CopiedStatus(HKLM, kRunKey, "KeywardenTestMachine", Deleted); }));

    // While a value stays deleted, any change below either parent calls back.
    for (const char* root : {"HKCU", "HKLM"}) {
        LONG before = Calls();
        ASSERT_EQ(0, RunWriter(Writer(root, "Software\\Microsoft\\Windows\\CurrentVersion\\KeywardenTestScratch",
                                      "set Scratch 1 deletekey")));
        EXPECT_TRUE(WaitForCallsAbove(before)) << root;
    }
}

TEST_F(ThreadTest, ValueWrittenBeforeTheThreadStartsIsReportedWithoutFurtherChange)
{
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    ASSERT_EQ(0, RunWriter(Writer("HKCU", kRunKey, "set KeywardenTestEarly early.exe")));
    ASSERT_EQ(REGWATCH_OK, RegWatch_StartThread(watch, probe, CountCallback));
    EXPECT_TRUE(WaitForCallsAbove(0)) << "no callback: the change waits for another one";
    RegWatch_FreeState(&copy);
    ASSERT_EQ(REGWATCH_OK, RegWatch_CopyState(watch, &copy));
    EXPECT_TRUE(CopiedStatus(HKCU, kRunKey, "KeywardenTestEarly", New));
}

TEST_F(ThreadTest, BurstFromAnotherProcessEndsWithEveryValueNew)
{
    const int kValues = 250;
    Start();
    ASSERT_EQ(0, RunWriter(Writer("HKCU", kRunServicesKey, "burst KeywardenBurst " + std::to_string(kValues))));
    std::string notNew;
    auto allNew = [&] {
        for (int i = 0; i < kValues; ++i) {
            std::string name = "KeywardenBurst" + std::to_string(i);
            ChangeEntry* entry = Copied(HKCU, kRunServicesKey, name.c_str());
            if (!entry || entry->status != New) {
                notNew = name + (entry ? " has status " + std::to_string(entry->status) : " is missing");
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(WaitForState(allNew)) << notNew << "; the last values of a burst must not wait for another change";
}

// Every value of every watched key has a live entry with its text, and
// every entry without a value is Deleted.
std::string Mismatch(RecordList* state)
{
    for (WatchedKey* key = WatchedKey_First(state); key; key = WatchedKey_Next(key)) {
        std::vector<RegValue> values = ReadKeyValues(key->root, key->subkey);
        for (const RegValue& value : values) {
            ChangeEntry* entry = FindEntry(state, key->root, key->subkey, value.name.c_str());
            if (!entry || entry->status == Deleted)
                return value.name + " missing";
            std::string seen = DataOf(entry->current);
            if (seen.substr(0, seen.find('\0')) != value.data.substr(0, value.data.find('\0')))
                return value.name + " has stale data";
        }
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry)) {
            bool present = false;
            for (const RegValue& value : values)
                present = present || value.name == entry->current->name;
            if (!present && entry->status != Deleted)
                return std::string(entry->current->name) + " gone but not Deleted";
        }
    }
    return "";
}

TEST_F(ThreadTest, CopiesBaselinesAndResyncsWhileAnotherProcessWrites)
{
    Start();
    HANDLE writer = StartWriter(Writer("HKCU", kRunKey, "churn KeywardenChurn 16 3000"));
    ASSERT_NE(nullptr, writer);
    int rounds = 0;
    srand(7);
    while (WaitForSingleObject(writer, 0) == WAIT_TIMEOUT) {
        RegWatch_FreeState(&copy);
        ASSERT_EQ(REGWATCH_OK, RegWatch_CopyState(watch, &copy));
        ASSERT_EQ(7u, CountKeys(&copy));
        WatchedKey* run = FindKey(&copy, HKCU, kRunKey);
        for (ChangeEntry* entry = ChangeEntry_First(&run->entries); entry; entry = ChangeEntry_Next(entry)) {
            ASSERT_EQ(run, entry->owner);
            if (rand() % 8 == 0)
                RegWatch_Resync(watch, entry);
        }
        if (++rounds % 25 == 0)
            RegWatch_Rebaseline(watch);
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(writer, &exitCode);
    CloseHandle(writer);
    EXPECT_EQ(0u, exitCode);
    EXPECT_GT(rounds, 10);

    std::string mismatch;
    EXPECT_TRUE(WaitForState([&] { return (mismatch = Mismatch(&copy)).empty(); })) << mismatch;
}

}  // namespace
