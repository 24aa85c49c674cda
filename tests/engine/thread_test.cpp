// The watch thread against another process writing the registry, with the product engine: no seams. A
// watch thread cannot be stopped: the object, its thread and the callback's counter live until the process ends.
#include "tests/engine/engine_test.h"

#include <atomic>
#include <set>
#include <thread>

using ThreadTest = RegistryTest;
static std::atomic<int> gCalls{0};

TEST_F(ThreadTest, ReportsEachChangeOfAnotherProcessAndStaysTrueUnderConcurrentUse) {
    RegWatchHandle* live = nullptr;
    RecordList copy = {nullptr, nullptr};
    auto fresh = [&] { RegWatch_FreeState(&copy); return RegWatch_CopyState(live, &copy) == REGWATCH_OK; };
    ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&live));
    // With two views, the 32-bit view's keys are watched with their own notification, and shown as such.
    const bool two = RegWatch_HasTwoViews();
    struct { const char *root, *subkey, *commands, *name; ChangeStatus status; REGSAM view; } steps[] = {
        {"HKCU", kRunKey, "set KeywardenTestEarly early.exe", "KeywardenTestEarly", New, 0},  // before the thread runs
        {"HKCU", kRunKey, "set KeywardenTestUser user.exe", "KeywardenTestUser", New, 0},
        {two ? "HKLM64" : "HKLM", kRunKey, "set KeywardenTestMachine machine.exe", "KeywardenTestMachine", New, 0},
        {"HKCU", kRunKey, "set KeywardenTestUser other.exe", "KeywardenTestUser", Changed, 0},
        {two ? "HKLM64" : "HKLM", kRunKey, "del KeywardenTestMachine", "KeywardenTestMachine", Deleted, 0},
        {two ? "HKLM32" : "", kRunKey, "set KeywardenTest32 x86.exe", "KeywardenTest32", New, KEY_WOW64_32KEY},
        {two ? "HKLM32" : "", kRunKey, "del KeywardenTest32", "KeywardenTest32", Deleted, KEY_WOW64_32KEY},
        // While a value stays deleted, any change below either parent key calls back.
        {"HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\KeywardenScratch", "set S 1 deletekey", nullptr, Deleted, 0},
    };
    for (const auto& step : steps) {
        if (!*step.root) continue;
        const int calls = gCalls;
        const HKEY root = step.root[2] == 'C' ? HKCU : HKLM;
        ASSERT_EQ(0, RunWriter(step.root, step.subkey, step.commands));
        ASSERT_TRUE(live->thread || RegWatch_StartThread(live, nullptr, [](void*) { return ++gCalls; }) == REGWATCH_OK);
        EXPECT_TRUE(PumpUntil([&] {  // a copy taken after the write's callback shows it, in its view
            ChangeEntry* entry = gCalls > calls && fresh() && step.name ? FindEntry(&copy, root, step.subkey, step.name) : nullptr;
            return gCalls > calls && (!step.name || (entry && entry->status == step.status &&
                                                     (entry->owner->view == KEY_WOW64_32KEY) == (step.view != 0)));
        }, 20000)) << step.root << " " << step.commands;
    }
    // Copies, re-reads and baselines while another process writes values listed before a steady one: a
    // reading of a key still changing under it may skip the steady value, which must never be taken as deleted.
    ASSERT_EQ(0, RunWriter("HKCU", kRunKey, "set ZzKeywardenSteady here"));
    std::atomic<int> written{-2};
    std::thread writer([&] {  // for 3 s sets 16 values in one go, each time with other text, and deletes them again
        int result = 0;
        for (DWORD round = 0, start = GetTickCount(); !result && GetTickCount() - start < 3000; ++round) {
            std::string sets, deletes;
            for (int i = 0; i < 16; ++i)
                sets += " set AaKeywardenChurn" + std::to_string(i) + " r" + std::to_string(round), deletes += " del AaKeywardenChurn" + std::to_string(i);
            result = RunWriter("HKCU", kRunKey, sets + deletes);
        }
        written = result;
    });
    int rounds = 0, picked = 0;
    for (; written == -2; ++rounds) {  // no ASSERT here: the writer's thread must be joined
        EXPECT_TRUE(fresh());
        for (ChangeEntry* e = copy.first ? ChangeEntry_First(&WatchedKey_First(&copy)->entries) : nullptr; e;
             e = ChangeEntry_Next(e))
            if (++picked % 7 == 0) RegWatch_Resync(live, e);
        if (rounds % 25 == 24) RegWatch_Rebaseline(live);
    }
    writer.join();
    EXPECT_TRUE(written == 0 && rounds > 10) << written << " " << rounds;
    // In the end the copy shows every value with its text, and what is gone as Deleted: each wake-up read all
    // of a burst. The test's own re-reads compare too and call nobody back: no callback to wait for.
    std::set<std::string> held, shown;
    for (const RegValue& value : ReadKeyValues(HKCU, kRunKey)) held.insert(value.name + "=" + value.data.c_str());
    EXPECT_TRUE(PumpUntil([&] {
        shown.clear();
        for (ChangeEntry* e = fresh() ? ChangeEntry_First(&WatchedKey_First(&copy)->entries) : nullptr; e;
             e = ChangeEntry_Next(e))
            if (e->status != Deleted) shown.insert(e->current->name + std::string("=") + Text(e->current));
        return shown == held;
    }, 20000)) << "the copy shows " << shown.size() << " values, the registry holds " << held.size();
    RegWatch_FreeState(&copy);
}
