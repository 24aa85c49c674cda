// The baseline, comparisons, re-reads and copies against the registry of the
// test prefix.
#include "tests/engine/support.h"

namespace {

using StateTest = WatchTest;

TEST_F(StateTest, BaselineHoldsTheSevenKeysInOrderWithEveryValueUnchanged)
{
    RegDeleteTreeA(HKLM, kRunOnceEx);
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    const char* names[] = {"Run", "RunOnce", "RunServices", "Run", "RunOnce", "RunOnceEx", "RunServices"};
    ASSERT_EQ(7u, Count(&watch->watched));
    WatchedKey* key = WatchedKey_First(&watch->watched);
    for (int row = 0; row < 7; ++row, key = WatchedKey_Next(key)) {
        EXPECT_TRUE(key->root == (row < 3 ? HKCU : HKLM) &&
                    std::string("Software\\Microsoft\\Windows\\CurrentVersion\\") + names[row] == key->subkey);
        std::vector<RegValue> values = ReadKeyValues(key->root, key->subkey);
        ASSERT_EQ(values.size(), Count(&key->entries)) << key->subkey;
        ChangeEntry* e = ChangeEntry_First(&key->entries);
        for (const RegValue& value : values) {
            ValueRecord* r = e->current;
            EXPECT_TRUE(value.name == std::string(r->name, r->nameLen) && value.type == r->type &&
                        value.data == std::string(Text(r), r->dataLen) && r->data[r->dataLen] == 0 &&
                        e->status == Unchanged && !e->previous && e->owner == key)
                << value.name;
            e = ChangeEntry_Next(e);
        }
    }
    EXPECT_EQ(0, RegWatch_CompareAll(watch));
}

// Another process writes each step to HKCU Run; a comparison follows each.
TEST_F(StateTest, EachEntryFollowsTheLifeOfItsValue)
{
    struct { const char *command, *name; int flag; ChangeStatus status; const char *current, *previous; } steps[] = {
        {"set Aaa a.exe", "Aaa", 1, New, "a.exe", nullptr},  // listed before and after the baseline's
        {"set Zzz z.exe", "Zzz", 1, New, "z.exe", nullptr},  // values, so name searches must wrap
        {"", "Aaa", 0, New, "a.exe", nullptr},
        {"set Alpha first.exe", "Alpha", 1, Changed, "first.exe", "alpha.exe"},
        {"set Alpha second.exe", "Alpha", 1, Changed, "second.exe", "first.exe"},
        {"set Alpha second.exe", "Alpha", 0, Changed, "second.exe", "first.exe"},
        {"set Alpha alpha.exe", "Alpha", 1, Changed, "alpha.exe", "second.exe"},
        {"del Alpha", "Alpha", 1, Deleted, "alpha.exe", "second.exe"},
        {"", "Alpha", 1, Deleted, "alpha.exe", "second.exe"},
        {"set Alpha alpha.exe", "Alpha", 0, Deleted, "alpha.exe", "second.exe"},
        {"del Alpha", "Alpha", 1, Deleted, "alpha.exe", "second.exe"},
        {"set Alpha back.exe", "Alpha", 1, Changed, "back.exe", "alpha.exe"},
        // Only the text up to the first NUL counts, whatever the type: 0x100, 0x200 and "" read alike.
        {"setdword Flags 256", "Flags", 1, New, "", nullptr},
        {"setdword Flags 512", "Flags", 0, New, "", nullptr},
        {"set Flags \"\"", "Flags", 0, New, "", nullptr},
        {"setdword Flags 55", "Flags", 1, Changed, "7", ""},
        {"del Beta set BETA beta.exe", "BETA", 1, New, "beta.exe", nullptr},  // renamed in letter case
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.name) + ": " + step.command);
        ASSERT_TRUE(!*step.command || RunWriter("HKCU", kRun, step.command) == 0);
        EXPECT_EQ(step.flag, RegWatch_CompareAll(watch));
        ChangeEntry* entry = Entry(step.name);
        ASSERT_TRUE(entry && entry->status == step.status && !strcmp(step.current, Text(entry->current)));
        EXPECT_STREQ(step.previous, entry->previous ? Text(entry->previous) : nullptr);
    }
    std::string order;
    for (ChangeEntry* e = ChangeEntry_First(&WatchedKey_First(&watch->watched)->entries); e; e = ChangeEntry_Next(e))
        order += std::string(e->current->name) + (e->status == Deleted ? "- " : " ");
    EXPECT_EQ("Alpha Beta- Aaa Zzz Flags BETA ", order) << "the baseline's order, then the order found";
}

// A value of an HKCU key written and compared, acted on by the user, then re-read.
TEST_F(StateTest, ReReadAfterTheUsersActionLeavesNothingToReport)
{
    RegDeleteTreeA(HKCU, kRunServices);  // so that it is created after the baseline
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    // Writes by another process; a watched key deleted keeps its entries' statuses and reports nothing.
    struct { const char *what, *subkey, *name, *before, *action; DWORD result; int status; } steps[] = {
        {"delete", kRun, "Beta", "", "del Beta", REGWATCH_OK, -1},
        {"revert a change", kRun, "Alpha", "set Alpha intruder.exe", "set Alpha alpha.exe", REGWATCH_OK, Unchanged},
        {"revert a new value", kRun, "Intruder", "set Intruder intruder.exe", "del Intruder", REGWATCH_OK, -1},
        {"revert a deletion", kRun, "Alpha", "del Alpha", "set Alpha alpha.exe", REGWATCH_OK, Unchanged},
        {"write the autostart value", kRun, "Keywarden", "", "set Keywarden Z:\\keywarden.exe", REGWATCH_OK, Unchanged},
        {"delete the autostart value", kRun, "Keywarden", "", "del Keywarden", REGWATCH_OK, -1},
        {"a name without entry", kRun, "Nobody", "", "", REGWATCH_E_NOT_FOUND, -1},
        {"a key not watched", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Alpha", "", "",
         REGWATCH_E_NOT_FOUND, -1},
        {"a value whose key is gone", kRunServices, "Service", "set Service svc.exe", "deletekey", REGWATCH_E_OPEN_KEY,
         New},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(!*step.before || (RunWriter("HKCU", step.subkey, step.before) == 0 && RegWatch_CompareAll(watch)));
        ASSERT_TRUE(!*step.action || RunWriter("HKCU", step.subkey, step.action) == 0);
        Probe probe(step.subkey, step.name);
        EXPECT_EQ(step.result, RegWatch_Resync(watch, &probe.entry));
        ChangeEntry* entry = Entry(step.name, HKCU, step.subkey);
        EXPECT_EQ(step.status, entry ? static_cast<int>(entry->status) : -1);
        EXPECT_TRUE(!entry || !entry->previous);
        EXPECT_EQ(0, RegWatch_CompareAll(watch)) << "nothing is left to report";
    }
}

// The size query reports the value gShrink bytes shorter than it is; with
// gNeverFits every read finds it longer than its buffer.
DWORD gShrink = 0;
bool gNeverFits = false;

TEST_F(StateTest, ReReadFollowsAGrowingValueOrLeavesTheEntryAsItWas)
{
    RegWatchSeam_Sys()->regQueryValueEx = [](HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLen) {
        LONG status = RegWatchSeam_RealSys()->regQueryValueEx(key, name, type, data, dataLen);
        *dataLen = data ? *dataLen + (gNeverFits ? 100 : 0) : *dataLen - gShrink;
        return data && gNeverFits ? ERROR_MORE_DATA : status;
    };
    Probe probe(kRun, "Alpha");
    gShrink = 1;  // the one byte that would leave no room for the 0 after the data
    ASSERT_EQ(REGWATCH_OK, RegWatch_Resync(watch, &probe.entry));
    const ValueRecord* read = Entry("Alpha")->current;
    EXPECT_TRUE(read->dataLen == 10 && !strcmp("alpha.exe", Text(read)) && !read->data[10]);
    gShrink = 0;
    gNeverFits = true;
    ASSERT_EQ(ERROR_SUCCESS, Put(HKCU, kRun, "Alpha", "other.exe"));
    EXPECT_EQ(REGWATCH_E_NO_MEMORY, RegWatch_Resync(watch, &probe.entry));
    EXPECT_TRUE(Entry("Alpha")->status == Changed && !strcmp("other.exe", Text(Entry("Alpha")->current)));
    gNeverFits = false;
}

TEST_F(StateTest, ListsRelinkAndCopiesShareNothingWithTheEngineButTheSubkeyTexts)
{
    RecordLink a = {}, b = {}, c = {}, d = {};
    RecordList list = {nullptr, nullptr};
    for (RecordLink* node : {&a, &b, &c, &d})
        RecordList_Append(&list, node);
    RecordList_Unlink(&list, &b);  // middle
    EXPECT_TRUE(a.next == &c && c.prev == &a);
    RecordList_Unlink(&list, &a);  // head
    RecordList_Unlink(&list, &d);  // tail
    EXPECT_TRUE(list.first == &c && list.last == &c && !c.prev && !c.next);

    ASSERT_EQ(ERROR_SUCCESS, Put(HKCU, kRun, "Alpha", "other.exe"));
    ASSERT_EQ(1, RegWatch_CompareAll(watch));
    RecordList copy;
    ASSERT_EQ(REGWATCH_OK, RegWatch_CopyState(watch, &copy));
    ASSERT_EQ(7u, Count(&copy));
    WatchedKey* mine = WatchedKey_First(&copy);
    for (WatchedKey* theirs = WatchedKey_First(&watch->watched); theirs;
         theirs = WatchedKey_Next(theirs), mine = WatchedKey_Next(mine)) {
        EXPECT_TRUE(theirs != mine && theirs->root == mine->root && theirs->subkey == mine->subkey);
        ChangeEntry* e = ChangeEntry_First(&mine->entries);
        for (ChangeEntry* t = ChangeEntry_First(&theirs->entries); t; t = ChangeEntry_Next(t), e = ChangeEntry_Next(e))
            ASSERT_TRUE(e && e->owner == mine && e->status == t->status && e->current->data != t->current->data &&
                        !strcmp(t->current->name, e->current->name) && !strcmp(Text(t->current), Text(e->current)));
        EXPECT_EQ(nullptr, e);
    }
    // Rebuilding the engine's state leaves the copy whole, and freeing the copy the engine's.
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    ChangeEntry* alpha = FindEntry(&copy, HKCU, kRun, "Alpha");
    EXPECT_TRUE(alpha->status == Changed && !strcmp("alpha.exe", Text(alpha->previous)));
    RegWatch_FreeState(&copy);
    EXPECT_STREQ("other.exe", Text(Entry("Alpha")->current));
}

}  // namespace
