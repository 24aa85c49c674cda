// The baseline, comparisons, copies and re-reads against the registry of the test prefix.
#include "tests/engine/engine_test.h"

using StateTest = WatchTest;

// Every value of the seven keys (one of them missing) as the registry holds it, and a copy that shares nothing
// with the engine but the subkey texts.
TEST_F(StateTest, BaselineHoldsEveryValueAsTheRegistryDoesAndACopySharesNothingWithTheEngine) {
    RegDeleteTreeA(HKLM, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx");
    ASSERT_TRUE(RegWatch_Rebaseline(watch) == REGWATCH_OK && RegWatch_CompareAll(watch) == 0);
    Put(HKCU, kRunKey, "Alpha", "other.exe");
    RecordList copy;
    ASSERT_TRUE(RegWatch_CompareAll(watch) == 1 && RegWatch_CopyState(watch, &copy) == REGWATCH_OK);
    WatchedKey *key = WatchedKey_First(&watch->watched), *mine = WatchedKey_First(&copy);
    for (size_t row = 0; row < 7; ++row, key = WatchedKey_Next(key), mine = WatchedKey_Next(mine)) {
        ASSERT_TRUE(key && mine && mine != key && mine->root == key->root && mine->subkey == key->subkey) << row;
        ChangeEntry *e = ChangeEntry_First(&key->entries), *c = ChangeEntry_First(&mine->entries);
        for (const RegValue& value : ReadKeyValues(key->root, key->subkey)) {
            ASSERT_TRUE(e && c) << value.name;
            const ValueRecord* r = e->current;
            EXPECT_TRUE(value.name == std::string(r->name, r->nameLen) && value.type == r->type && e->owner == key &&
                        value.data == std::string(Text(r), r->dataLen) && r->data[r->dataLen] == 0 &&
                        e->status == (value.name == "Alpha" ? Changed : Unchanged) && !e->previous == (e->status != Changed) &&
                        c->owner == mine && c->status == e->status && c->current != r && c->current->data != r->data &&
                        c->current->name != r->name && (!e->previous || c->previous->data != e->previous->data) &&
                        !strcmp(r->name, c->current->name) && !strcmp(Text(r), Text(c->current))) << value.name;
            e = ChangeEntry_Next(e), c = ChangeEntry_Next(c);
        }
        EXPECT_TRUE(!e && !c) << key->subkey;
    }
    EXPECT_TRUE(!key && !mine);
    RegWatch_FreeState(&copy);
}

// Another process writes each step to HKCU Run; a comparison follows each.
TEST_F(StateTest, EachEntryFollowsTheLifeOfItsValue) {
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
        ASSERT_TRUE(!*step.command || !RunWriter("HKCU", kRunKey, step.command));
        EXPECT_EQ(step.flag, RegWatch_CompareAll(watch));
        ChangeEntry* entry = Entry(step.name);
        ASSERT_TRUE(entry && entry->status == step.status && !strcmp(step.current, Text(entry->current)));
        EXPECT_STREQ(step.previous, entry->previous ? Text(entry->previous) : nullptr);
    }
    EXPECT_EQ("Alpha Beta- Aaa Zzz Flags BETA", Order()) << "the baseline's order, then the order found";
}

// A value of an HKCU key written and compared, acted on by the user, then re-read.
TEST_F(StateTest, ReReadAfterTheUsersActionLeavesNothingToReport) {
    RegDeleteTreeA(HKCU, kRunServices);  // so that it is created after the baseline
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    // Writes by another process; a watched key deleted keeps its entries' statuses and reports nothing.
    struct { const char *what, *subkey, *name, *before, *action; DWORD result; int status; } steps[] = {
        {"delete the first", kRunKey, "Alpha", "", "del Alpha", REGWATCH_OK, -1},
        {"revert a change", kRunKey, "Beta", "set Beta intruder.exe", "set Beta beta.exe", REGWATCH_OK, Unchanged},
        {"revert a new value", kRunKey, "Intruder", "set Intruder intruder.exe set Zed z.exe", "del Intruder", REGWATCH_OK, -1},  // between Beta and Zed
        {"revert a deletion", kRunKey, "Beta", "del Beta", "set Beta beta.exe", REGWATCH_OK, Unchanged},
        {"write the autostart value", kRunKey, "Keywarden", "", "set Keywarden Z:\\keywarden.exe", REGWATCH_OK, Unchanged},
        {"delete the last", kRunKey, "Keywarden", "", "del Keywarden", REGWATCH_OK, -1},
        {"a name without entry", kRunKey, "Nobody", "", "", REGWATCH_E_NOT_FOUND, -1},
        {"a key not watched", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Beta", "", "", REGWATCH_E_NOT_FOUND, -1},
        {"a value whose key is gone", kRunServices, "Service", "set Service svc.exe", "deletekey", REGWATCH_E_OPEN_KEY, New},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(!*step.before || (!RunWriter("HKCU", step.subkey, step.before) && RegWatch_CompareAll(watch)));
        ASSERT_TRUE(!*step.action || !RunWriter("HKCU", step.subkey, step.action));
        Probe probe(step.subkey, step.name);
        EXPECT_EQ(step.result, RegWatch_Resync(watch, &probe.entry));
        ChangeEntry* entry = Entry(step.name, step.subkey);
        EXPECT_TRUE(step.status == (entry ? static_cast<int>(entry->status) : -1) && (!entry || !entry->previous));
        EXPECT_EQ(0, RegWatch_CompareAll(watch)) << "nothing is left to report";
    }
    EXPECT_EQ("Beta Zed", Order()) << "as the removals left HKCU Run linked";
}

// The size query reports the value gShrink bytes shorter than it is; with gNeverFits every read finds it longer.
static DWORD gShrink = 0;
static bool gNeverFits = false;

TEST_F(StateTest, ReReadFollowsAGrowingValueOrLeavesTheEntryAsItWas) {
    RegWatchSeam_Sys()->regQueryValueEx = [](HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* dataLen) {
        LONG status = RegWatchSeam_RealSys()->regQueryValueEx(key, name, type, data, dataLen);
        *dataLen = data ? *dataLen + (gNeverFits ? 100 : 0) : *dataLen - gShrink;
        return data && gNeverFits ? ERROR_MORE_DATA : status;
    };
    Probe probe(kRunKey, "Alpha");
    gShrink = 1;  // the one byte that would leave no room for the 0 after the data
    ASSERT_EQ(REGWATCH_OK, RegWatch_Resync(watch, &probe.entry));
    const ValueRecord* read = Entry("Alpha")->current;
    EXPECT_TRUE(read->dataLen == 10 && !strcmp("alpha.exe", Text(read)) && !read->data[10]);
    gShrink = 0, gNeverFits = true;
    Put(HKCU, kRunKey, "Alpha", "other.exe");
    EXPECT_EQ(REGWATCH_E_NO_MEMORY, RegWatch_Resync(watch, &probe.entry));
    EXPECT_TRUE(Entry("Alpha")->status == Changed && !strcmp("other.exe", Text(Entry("Alpha")->current)));
    gNeverFits = false;
}
