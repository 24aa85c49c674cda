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
    // Seven keys, and the 32-bit view's four HKLM keys where Windows has two views.
    if (const char* views = getenv("KEYWARDEN_VIEWS")) { EXPECT_EQ(atoi(views), RegWatch_HasTwoViews() + 1); }
    EXPECT_EQ(RegWatch_HasTwoViews() ? 11u : 7u, Count(&watch->watched));
    for (size_t row = 0; row < Count(&watch->watched); ++row, key = WatchedKey_Next(key), mine = WatchedKey_Next(mine)) {
        ASSERT_TRUE(key && mine && mine != key && mine->root == key->root && mine->subkey == key->subkey &&
                    mine->view == key->view) << row;
        ChangeEntry *e = ChangeEntry_First(&key->entries), *c = ChangeEntry_First(&mine->entries);
        for (const RegValue& value : ReadKeyValues(key->root, key->subkey, key->view)) {
            ASSERT_TRUE(e && c) << value.name;
            const ValueRecord* r = e->current;
            EXPECT_TRUE(value.name == std::string(r->name, r->nameLen) && value.type == r->type && e->owner == key &&
                        value.data == std::string(Text(r), r->dataLen) && r->data[r->dataLen] == 0 &&
                        e->status == (value.name == "Alpha" ? Changed : Unchanged) && !e->previous == (e->status != Changed) &&
                        e->accepted && c->accepted &&
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

// Another process writes each step to HKCU Run; a comparison follows each. previous is the accepted value. Run
// twice: reading every key each time, and skipping a key not written to since its last full reading, which
// must end alike while reading less.
TEST_F(StateTest, EachEntryFollowsTheLifeOfItsValueWhetherUnwrittenKeysAreReadOrSkipped) {
    struct { const char *command, *name; int flag; ChangeStatus status; const char *current, *previous; } steps[] = {
        {"set Aaa a.exe", "Aaa", 1, New, "a.exe", nullptr},  // listed before and after the baseline's
        {"set Zzz z.exe", "Zzz", 1, New, "z.exe", nullptr},  // values, so name searches must wrap
        {"", "Aaa", 0, New, "a.exe", nullptr},
        {"set Alpha first.exe", "Alpha", 1, Changed, "first.exe", "alpha.exe"},
        {"set Alpha second.exe", "Alpha", 1, Changed, "second.exe", "alpha.exe"},  // never an in-between value
        {"set Alpha second.exe", "Alpha", 0, Changed, "second.exe", "alpha.exe"},
        {"set Alpha alpha.exe", "Alpha", 1, Changed, "alpha.exe", "alpha.exe"},
        {"del Alpha", "Alpha", 1, Deleted, "alpha.exe", "alpha.exe"},
        {"", "Alpha", 1, Deleted, "alpha.exe", "alpha.exe"},  // counts on every comparison
        {"set Alpha alpha.exe", "Alpha", 1, Changed, "alpha.exe", "alpha.exe"},  // back, even with its old data
        {"set Zzz z.exe", "Zzz", 0, New, "z.exe", nullptr},
        {"del Zzz", "Zzz", 1, Deleted, "z.exe", nullptr},
        {"set Zzz other.exe", "Zzz", 1, Changed, "other.exe", nullptr},  // never accepted: no old value
        // The type and every byte count, but a string's text ends at its first NUL and a multi-string's trailing NULs.
        {"setdword Flags 256", "Flags", 1, New, "", nullptr},
        {"setdword Flags 512", "Flags", 1, Changed, "", nullptr},
        {"sethex Flags 3 0002", "Flags", 1, Changed, "", nullptr},
        {"sethex Flags 3 00aa", "Flags", 1, Changed, "", nullptr},
        {"sethex Path 1 250054000000", "Path", 1, New, "%T", nullptr},  // UTF-16 as stored
        {"sethex Path 1 2500540000004100", "Path", 0, New, "%T", nullptr},
        {"sethex Path 2 250054000000", "Path", 1, Changed, "%T", nullptr},
        {"sethex Multi 7 61000000620000000000", "Multi", 1, New, "a", nullptr},
        {"sethex Multi 7 6100000062000000", "Multi", 0, New, "a", nullptr},
        {"sethex Multi 7 61000000630000000000", "Multi", 1, Changed, "a", nullptr},
        {"del Beta set BETA beta.exe", "BETA", 1, New, "beta.exe", nullptr},  // renamed in letter case
        // The key itself deleted: every value with it; then the values come back.
        {"deletekey", "Aaa", 1, Deleted, "a.exe", nullptr},
        {"set Alpha alpha.exe", "Alpha", 1, Changed, "alpha.exe", "alpha.exe"},
    };
    std::string orders[2];
    long reads[2] = {};
    for (int skip = 0; skip < 2; ++skip) {
        RegDeleteTreeA(HKCU, kRunKey), Put(HKCU, kRunKey, "Alpha", "alpha.exe"), Put(HKCU, kRunKey, "Beta", "beta.exe");
        Sleep(250);  // a key counts as read whole once it has been quiet a while
        ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
        static long gEnums = 0;
        RegWatchSeam_Sys()->regEnumValue = [](HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type, BYTE* data,
                                              DWORD* dataLen) {
            return ++gEnums, RegWatchSeam_RealSys()->regEnumValue(key, index, name, nameLen, type, data, dataLen);
        };
        gEnums = 0;
        for (const auto& step : steps) {
            SCOPED_TRACE(std::string(skip ? "skipping: " : "reading: ") + step.name + ": " + step.command);
            ASSERT_TRUE(!*step.command || !RunWriter("HKCU", kRunKey, step.command));
            Sleep(skip ? 250 : 0);
            for (WatchedKey* key = WatchedKey_First(&watch->watched); !skip && key; key = WatchedKey_Next(key))
                key->readAt = FILETIME{};
            EXPECT_EQ(step.flag, RegWatch_CompareAll(watch));
            ChangeEntry* entry = Entry(step.name);
            ASSERT_TRUE(entry && entry->status == step.status && !strcmp(step.current, Text(entry->current)));
            EXPECT_STREQ(step.previous, entry->previous ? Text(entry->previous) : nullptr);
            EXPECT_EQ(!step.previous, !entry->accepted);
        }
        orders[skip] = Order(), reads[skip] = gEnums;
        RegWatchSeam_ResetSys();
    }
    EXPECT_EQ("Alpha Beta- Aaa- Zzz- Flags- Path- Multi- BETA-", orders[0]) << "the baseline's order, then the order found";
    EXPECT_EQ(orders[0], orders[1]);
    EXPECT_LT(reads[1], reads[0]) << "the unwritten keys were read all the same";
}

// A value of an HKCU key written and compared, acted on by the user, then re-read.
TEST_F(StateTest, ReReadAfterTheUsersActionLeavesNothingToReport) {
    RegDeleteTreeA(HKCU, kRunServices);  // so that it is created after the baseline
    ASSERT_EQ(REGWATCH_OK, RegWatch_Rebaseline(watch));
    // Writes by another process; a watched key deleted keeps its entries' statuses and reports nothing.
    struct { const char *what, *subkey, *name, *before, *action; DWORD result; int status, after = 0; } steps[] = {
        {"delete the first", kRunKey, "Alpha", "", "del Alpha", REGWATCH_OK, -1},
        {"revert a change", kRunKey, "Beta", "set Beta intruder.exe", "set Beta beta.exe", REGWATCH_OK, Unchanged},
        {"revert a new value", kRunKey, "Intruder", "set Intruder intruder.exe set Zed z.exe", "del Intruder", REGWATCH_OK, -1},  // between Beta and Zed
        {"revert a deletion", kRunKey, "Beta", "del Beta", "set Beta beta.exe", REGWATCH_OK, Unchanged},
        {"write the autostart value", kRunKey, "Keywarden", "", "set Keywarden Z:\\keywarden.exe", REGWATCH_OK, Unchanged},
        {"delete the last", kRunKey, "Keywarden", "", "del Keywarden", REGWATCH_OK, -1},
        {"a name without entry", kRunKey, "Nobody", "", "", REGWATCH_E_NOT_FOUND, -1},
        {"a key not watched", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Beta", "", "", REGWATCH_E_NOT_FOUND, -1},
        {"a value whose key is gone", kRunServices, "Service", "set Service svc.exe", "deletekey", REGWATCH_E_OPEN_KEY, Deleted, 1},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(!*step.before || (!RunWriter("HKCU", step.subkey, step.before) && RegWatch_CompareAll(watch)));
        ASSERT_TRUE(!*step.action || !RunWriter("HKCU", step.subkey, step.action));
        Probe probe(step.subkey, step.name);
        static int gEvents = 0;  // the user's own change is no event for the journal
        RegWatch_SetEventSink(watch, nullptr, [](void*, const RegWatchEvent*) { ++gEvents; });
        gEvents = 0;
        EXPECT_EQ(step.result, RegWatch_Resync(watch, &probe.entry));
        EXPECT_EQ(0, gEvents);
        ChangeEntry* entry = Entry(step.name, step.subkey);
        EXPECT_TRUE(step.status == (entry ? static_cast<int>(entry->status) : -1) && (!entry || !entry->previous));
        EXPECT_TRUE(!entry || entry->accepted == (step.status == Unchanged)) << "what the user did is accepted";
        EXPECT_EQ(step.after, RegWatch_CompareAll(watch)) << "nothing but a deleted key is left to report";
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
