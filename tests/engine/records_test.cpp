// Records and lists: links, copies that share nothing, frees, finders, names.
#include "tests/engine/support.h"

#include <string.h>

namespace {

class RecordsTest : public EngineTest {};

// A heap record built through the engine's own copy, so frees are counted.
ValueRecord* HeapRecord(const char* name, const char* text)
{
    ValueRecord probe = MakeRecord(name, text, static_cast<DWORD>(strlen(text) + 1), REG_SZ);
    return ValueRecord_Copy(&probe);
}

ChangeEntry* HeapEntry(WatchedKey* owner, const char* name, const char* text, const char* previousText)
{
    ChangeEntry* entry = static_cast<ChangeEntry*>(RegWatch_Alloc(sizeof(ChangeEntry)));
    entry->owner = owner;
    entry->status = previousText ? Changed : Unchanged;
    entry->current = HeapRecord(name, text);
    entry->previous = previousText ? HeapRecord(name, previousText) : nullptr;
    return entry;
}

TEST_F(RecordsTest, AppendAndUnlinkKeepEndsAndNeighboursConsistent)
{
    RecordLink a = {}, b = {}, c = {};
    RecordList list;
    RecordList_Init(&list);
    EXPECT_EQ(nullptr, RecordList_First(&list));

    RecordList_Append(&list, &a);
    EXPECT_EQ(&a, list.first);
    EXPECT_EQ(&a, list.last);
    EXPECT_EQ(nullptr, a.prev);
    EXPECT_EQ(nullptr, a.next);

    RecordList_Append(&list, &b);
    RecordList_Append(&list, &c);
    EXPECT_EQ(&b, RecordList_Next(&a));
    EXPECT_EQ(&a, b.prev);
    EXPECT_EQ(&c, list.last);

    RecordList_Unlink(&list, &b);  // middle
    EXPECT_EQ(&c, a.next);
    EXPECT_EQ(&a, c.prev);
    EXPECT_EQ(&c, b.next) << "an unlinked node keeps its links for a walker";

    RecordList_Unlink(&list, &a);  // head
    EXPECT_EQ(&c, list.first);
    EXPECT_EQ(nullptr, c.prev);

    RecordList_Append(&list, &b);
    RecordList_Unlink(&list, &b);  // tail
    EXPECT_EQ(&c, list.last);
    EXPECT_EQ(nullptr, c.next);

    RecordList_Unlink(&list, &c);  // only node
    EXPECT_EQ(nullptr, list.first);
    EXPECT_EQ(nullptr, list.last);
}

TEST_F(RecordsTest, CopyOfNullIsNullAndEmptyRecordGetsOneByteBuffers)
{
    EXPECT_EQ(nullptr, ValueRecord_Copy(nullptr));

    char name[1] = {'\0'};
    BYTE data[1] = {0x5A};  // whatever the reader left after the data
    ValueRecord empty = MakeRecord(name, data, 0, REG_BINARY);
    ValueRecord* copy = ValueRecord_Copy(&empty);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(0u, copy->nameLen);
    EXPECT_EQ(0u, copy->dataLen);
    EXPECT_EQ('\0', copy->name[0]);
    EXPECT_EQ(0, copy->data[0]) << "the byte after the data is always 0";
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), copy->type);
    ValueRecord_Free(&copy);
    EXPECT_EQ(nullptr, copy);
    ValueRecord_Free(&copy);  // a null pointer is fine
}

TEST_F(RecordsTest, CopyAndSourceShareNoBuffer)
{
    ValueRecord* source = HeapRecord("Updater", "C:\\updater.exe");
    RecordLink dummy = {};
    source->prev = &dummy;
    source->next = &dummy;
    ValueRecord* copy = ValueRecord_Copy(source);
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(nullptr, copy->prev);
    EXPECT_EQ(nullptr, copy->next);
    EXPECT_NE(source->name, copy->name);
    EXPECT_NE(source->data, copy->data);

    source->name[0] = 'X';
    source->data[0] = 'X';
    EXPECT_STREQ("Updater", copy->name);
    EXPECT_EQ(std::string("C:\\updater.exe", 15), DataOf(copy));

    ValueRecord_Free(&source);
    EXPECT_STREQ("Updater", copy->name);
    ValueRecord_Free(&copy);
}

TEST_F(RecordsTest, CollectValueAppendsCopiesInOrderAndDropsWhatItCannotAllocate)
{
    char buffer[] = "one\0two";
    RecordList list;
    RecordList_Init(&list);
    ValueRecord first = MakeRecord("A", buffer, 4, REG_SZ);
    ValueRecord second = MakeRecord("B", buffer + 4, 4, REG_SZ);
    RegWatch_CollectValue(&list, &first);
#ifdef KEYWARDEN_ENGINE_SEAMS
    for (long failAt = 1; failAt <= 3; ++failAt) {  // record, name, data
        RegWatchSeam_FailAllocAt(failAt);
        RegWatch_CollectValue(&list, &second);
    }
    RegWatchSeam_FailAllocAt(0);
#endif
    RegWatch_CollectValue(&list, &second);

    ValueRecord* a = ValueRecord_First(&list);
    ASSERT_NE(nullptr, a);
    ValueRecord* b = ValueRecord_Next(a);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(nullptr, ValueRecord_Next(b));
    EXPECT_STREQ("A", a->name);
    EXPECT_STREQ("B", b->name);
    EXPECT_EQ(std::string("two", 4), DataOf(b));
    EXPECT_NE(reinterpret_cast<BYTE*>(buffer + 4), b->data);
    ValueRecordList_Free(&list);
}

TEST_F(RecordsTest, FreeStateReleasesEverythingButTheSubkeyTexts)
{
    RecordList state;
    RecordList_Init(&state);
    RegWatch_FreeState(&state);
    EXPECT_EQ(nullptr, state.first);

    for (const RegWatchKeyRow& row : kWatchedKeys) {
        WatchedKey* key = static_cast<WatchedKey*>(RegWatch_Alloc(sizeof(WatchedKey)));
        key->root = row.root;
        key->subkey = row.subkey;
        RecordList_Init(&key->entries);
        RecordList_Append(&key->entries, HeapEntry(key, "Tool", "new text", "old text"));
        RecordList_Append(&key->entries, HeapEntry(key, "Other", "text", nullptr));
        RecordList_Append(&state, key);
    }
    EXPECT_EQ(7u, CountKeys(&state));
    RegWatch_FreeState(&state);
    EXPECT_EQ(nullptr, state.first);
    EXPECT_EQ(nullptr, state.last);
    EXPECT_STREQ("Software\\Microsoft\\Windows\\CurrentVersion\\Run", kWatchedKeys[0].subkey);
    // The fixture checks that no allocation is left.
}

TEST_F(RecordsTest, FindersMatchNamesExactlyAndKeysByRootAndText)
{
    RegWatchHandle* watch = NewBareWatch();
    ASSERT_NE(nullptr, watch);
    WatchedKey* run = static_cast<WatchedKey*>(RegWatch_Alloc(sizeof(WatchedKey)));
    run->root = HKEY_CURRENT_USER;
    run->subkey = kWatchedKeys[0].subkey;
    RecordList_Init(&run->entries);
    RecordList_Append(&watch->watched, run);
    ChangeEntry* updater = HeapEntry(run, "Updater", "a", nullptr);
    RecordList_Append(&run->entries, updater);

    ValueRecord sameName = MakeRecord("Updater", "", 0, REG_SZ);
    ValueRecord otherCase = MakeRecord("updater", "", 0, REG_SZ);
    EXPECT_EQ(updater, ChangeEntry_FindByName(&run->entries, &sameName));
    EXPECT_EQ(nullptr, ChangeEntry_FindByName(&run->entries, &otherCase));

    RecordList records;
    RecordList_Init(&records);
    EXPECT_EQ(nullptr, ValueRecord_FindByName(&records, updater));
    RegWatch_CollectValue(&records, &otherCase);
    EXPECT_EQ(nullptr, ValueRecord_FindByName(&records, updater));
    RegWatch_CollectValue(&records, &sameName);
    EXPECT_EQ(ValueRecord_Next(ValueRecord_First(&records)), ValueRecord_FindByName(&records, updater));
    ValueRecordList_Free(&records);

    char equalText[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    WatchedKey probe = {};
    probe.root = HKEY_CURRENT_USER;
    probe.subkey = equalText;
    EXPECT_EQ(run, WatchedKey_Find(watch, &probe));
    probe.root = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(nullptr, WatchedKey_Find(watch, &probe));
    probe.root = HKEY_CURRENT_USER;
    probe.subkey = "Software\\Microsoft\\Windows\\CurrentVersion\\run";
    EXPECT_EQ(nullptr, WatchedKey_Find(watch, &probe));

    DestroyWatch(watch);
}

TEST_F(RecordsTest, SearchesFromAHintWrapAroundToFindAnyName)
{
    WatchedKey key = {};
    RecordList_Init(&key.entries);
    RecordList records;
    RecordList_Init(&records);
    const char* names[] = {"A", "B", "C"};
    for (const char* name : names) {
        RecordList_Append(&key.entries, HeapEntry(&key, name, "x", nullptr));
        ValueRecord probe = MakeRecord(name, "", 0, REG_SZ);
        RegWatch_CollectValue(&records, &probe);
    }
    ChangeEntry* a = ChangeEntry_First(&key.entries);
    ChangeEntry* c = ChangeEntry_Next(ChangeEntry_Next(a));
    ValueRecord probeA = MakeRecord("A", "", 0, REG_SZ);
    ValueRecord probeZ = MakeRecord("Z", "", 0, REG_SZ);
    EXPECT_EQ(a, ChangeEntry_FindByNameFrom(&key.entries, c, &probeA)) << "before the hint";
    EXPECT_EQ(a, ChangeEntry_FindByNameFrom(&key.entries, nullptr, &probeA));
    EXPECT_EQ(nullptr, ChangeEntry_FindByNameFrom(&key.entries, c, &probeZ));

    ValueRecord* last = ValueRecord_Next(ValueRecord_Next(ValueRecord_First(&records)));
    EXPECT_EQ(ValueRecord_First(&records), ValueRecord_FindByNameFrom(&records, last, a));
    EXPECT_EQ(last, ValueRecord_FindByNameFrom(&records, last, c));

    RecordList empty;
    RecordList_Init(&empty);
    EXPECT_EQ(nullptr, ValueRecord_FindByNameFrom(&empty, nullptr, a));
    ValueRecordList_Free(&records);
    while (ChangeEntry* entry = ChangeEntry_First(&key.entries)) {
        RecordList_Unlink(&key.entries, entry);
        ChangeEntry_Free(entry);
    }
}

TEST_F(RecordsTest, HiveNamesCoverThePredefinedRootsOnly)
{
    EXPECT_STREQ("HKEY_CLASSES_ROOT", RegWatch_HiveName(HKEY_CLASSES_ROOT));
    EXPECT_STREQ("HKEY_CURRENT_CONFIG", RegWatch_HiveName(HKEY_CURRENT_CONFIG));
    EXPECT_STREQ("HKEY_CURRENT_USER", RegWatch_HiveName(HKEY_CURRENT_USER));
    EXPECT_STREQ("HKEY_DYN_DATA", RegWatch_HiveName(HKEY_DYN_DATA));
    EXPECT_STREQ("HKEY_LOCAL_MACHINE", RegWatch_HiveName(HKEY_LOCAL_MACHINE));
    EXPECT_STREQ("HKEY_PERFORMANCE_DATA", RegWatch_HiveName(HKEY_PERFORMANCE_DATA));
    EXPECT_STREQ("HKEY_PERFORMANCE_TEXT", RegWatch_HiveName(HKEY_PERFORMANCE_TEXT));
    EXPECT_STREQ("HKEY_USERS", RegWatch_HiveName(HKEY_USERS));
    EXPECT_EQ(nullptr, RegWatch_HiveName(nullptr));
    EXPECT_EQ(nullptr, RegWatch_HiveName(HKEY_PERFORMANCE_NLSTEXT));
}

TEST_F(RecordsTest, DataCompareAsTextUpToTheFirstNulWithinTheirLength)
{
    const DWORD lowZeroA = 0x12345600;
    const DWORD lowZeroB = 0x00000100;
    BYTE a[5] = {}, b[5] = {};
    memcpy(a, &lowZeroA, 4);
    memcpy(b, &lowZeroB, 4);
    ValueRecord dwordA = MakeRecord("n", a, 4, REG_DWORD);
    ValueRecord dwordB = MakeRecord("n", b, 4, REG_DWORD);
    EXPECT_TRUE(ValueRecord_SameText(&dwordA, &dwordB)) << "both read as the empty text";

    // No NUL within the data: all dataLen bytes count, nothing beyond.
    const char raw1[] = "abcX";
    const char raw2[] = "abcY";
    ValueRecord abc1 = MakeRecord("n", raw1, 3, REG_BINARY);
    ValueRecord abc2 = MakeRecord("n", raw2, 3, REG_BINARY);
    ValueRecord abcd = MakeRecord("n", raw1, 4, REG_BINARY);
    EXPECT_TRUE(ValueRecord_SameText(&abc1, &abc2));
    EXPECT_FALSE(ValueRecord_SameText(&abc1, &abcd));

    // A terminator stored or not, type and length aside: the same text.
    ValueRecord terminated = MakeRecord("n", "abc", 4, REG_SZ);
    ValueRecord expandable = MakeRecord("n", "abc\0zzz", 8, REG_EXPAND_SZ);
    EXPECT_TRUE(ValueRecord_SameText(&abc1, &terminated));
    EXPECT_TRUE(ValueRecord_SameText(&terminated, &expandable));
    ValueRecord other = MakeRecord("n", "abd", 4, REG_SZ);
    EXPECT_FALSE(ValueRecord_SameText(&terminated, &other));
}

}  // namespace
