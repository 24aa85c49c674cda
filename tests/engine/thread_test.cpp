// The watch thread against another process writing the registry, with the
// product engine: no seams. A watch thread cannot be stopped: the object, its
// thread and the callback's event live on until the process ends.
#include "tests/engine/support.h"

#include <atomic>
#include <functional>
#include <set>
#include <thread>

namespace {

using ThreadTest = RegistryTest;

TEST_F(ThreadTest, ReportsEachChangeOfAnotherProcessAndStaysTrueUnderConcurrentUse)
{
    HANDLE called = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset
    RegWatchHandle* live = nullptr;  // not the fixture's: its thread never ends
    RecordList copy = {nullptr, nullptr};
    // After each callback takes a fresh copy, until the condition holds; a
    // callback comes within milliseconds, the wait gives up after 20 s.
    // Without a callback to wait for, the copy is taken every 250 ms: the test's own re-reads
    // compare too, and they call nobody back.
    auto calledBackUntil = [&](const std::function<bool()>& condition, bool needCallback = true) {
        for (DWORD start = GetTickCount(), spent = 0; spent < 20000; spent = GetTickCount() - start) {
            if (WaitForSingleObject(called, needCallback ? 20000 - spent : 250) != WAIT_OBJECT_0 && needCallback)
                return false;
            RegWatch_FreeState(&copy);
            if (RegWatch_CopyState(live, &copy) == REGWATCH_OK && condition())
                return true;
        }
        return false;
    };
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&live));

    struct { HKEY root; const char *subkey, *commands, *name; ChangeStatus status; } steps[] = {
        {HKCU, kRun, "set KeywardenTestEarly early.exe", "KeywardenTestEarly", New},  // before the thread runs
        {HKCU, kRun, "set KeywardenTestUser user.exe", "KeywardenTestUser", New},
        {HKLM, kRun, "set KeywardenTestMachine machine.exe", "KeywardenTestMachine", New},
        {HKCU, kRun, "set KeywardenTestUser other.exe", "KeywardenTestUser", Changed},
        {HKLM, kRun, "del KeywardenTestMachine", "KeywardenTestMachine", Deleted},
        // While a value stays deleted, any change below either parent key calls back.
        {HKCU, "Software\\Microsoft\\Windows\\CurrentVersion\\KeywardenScratch", "set S 1 deletekey", nullptr, Deleted},
        {HKCU, kRunServices, "burst KeywardenBurst 250", "KeywardenBurst249", New},
    };
    for (const auto& step : steps) {
        ResetEvent(called);
        ASSERT_EQ(0, RunWriter(step.root == HKCU ? "HKCU" : "HKLM", step.subkey, step.commands));
        if (!live->thread) {
            RegWatch_Callback signal = [](void* event) { return SetEvent(static_cast<HANDLE>(event)); };
            ASSERT_EQ(REGWATCH_OK, RegWatch_StartThread(live, called, signal));
        }
        EXPECT_TRUE(calledBackUntil([&] {
            ChangeEntry* entry = step.name ? FindEntry(&copy, step.root, step.subkey, step.name) : nullptr;
            return !step.name || (entry && entry->status == step.status);
        })) << step.commands;
    }
    int burstNew = 0;  // the comparison that saw the last value of the burst saw them all
    for (int i = 0; i < 250; ++i) {
        ChangeEntry* entry = FindEntry(&copy, HKCU, kRunServices, ("KeywardenBurst" + std::to_string(i)).c_str());
        burstNew += entry && entry->status == New;
    }
    EXPECT_EQ(250, burstNew);

    // Copies, re-reads and baselines while another process writes values listed before a steady
    // one: a reading of a key still changing under it may skip the steady value, which must
    // never be taken as deleted.
    ASSERT_EQ(0, RunWriter("HKCU", kRun, "set ZzKeywardenSteady here"));
    std::atomic<int> written{-2};
    std::thread writer([&] { written = RunWriter("HKCU", kRun, "churn AaKeywardenChurn 16 3000"); });
    int rounds = 0, picked = 0;
    for (; written == -2; ++rounds) {  // no ASSERT here: the writer's thread must be joined
        RegWatch_FreeState(&copy);
        EXPECT_EQ(REGWATCH_OK, RegWatch_CopyState(live, &copy));
        for (ChangeEntry* e = copy.first ? ChangeEntry_First(&WatchedKey_First(&copy)->entries) : nullptr; e;
             e = ChangeEntry_Next(e))
            if (++picked % 7 == 0)
                RegWatch_Resync(live, e);
        if (rounds % 25 == 24)
            RegWatch_Rebaseline(live);
    }
    writer.join();
    EXPECT_TRUE(written == 0 && rounds > 10) << written << " " << rounds;
    // In the end the copy shows every value with its text, and what is gone as Deleted.
    std::set<std::string> held, shown;
    for (const RegValue& value : ReadKeyValues(HKCU, kRun))
        held.insert(value.name + "=" + value.data.c_str());
    EXPECT_TRUE(calledBackUntil([&] {
        shown.clear();
        for (ChangeEntry* e = ChangeEntry_First(&WatchedKey_First(&copy)->entries); e; e = ChangeEntry_Next(e))
            if (e->status != Deleted)
                shown.insert(e->current->name + std::string("=") + Text(e->current));
        return shown == held;
    }, false)) << [&] {
        std::string difference;  // what the registry holds that the copy does not show, and back
        for (const std::string& value : held)
            difference += shown.count(value) ? "" : " -" + value;
        for (const std::string& value : shown)
            difference += held.count(value) ? "" : " +" + value;
        return difference;
    }();
    RegWatch_FreeState(&copy);
}

}  // namespace
