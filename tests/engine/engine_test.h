// The engine tests' view of engine state, and their fixture.
#pragma once
#include "engine/regwatch_internal.h"
#include "engine/regwatch_seams.h"
#include "tests/support/test_support.h"

using namespace testing_support;
const HKEY HKCU = HKEY_CURRENT_USER, HKLM = HKEY_LOCAL_MACHINE;
const char kRunServices[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

struct RegValue { std::string name; DWORD type; std::string data; };
inline std::vector<RegValue> ReadKeyValues(HKEY root, const char* subkey, REGSAM view = 0) {  // in order; none without the key
    std::vector<RegValue> values;
    std::vector<char> name(16384), data(65536);
    HKEY key = nullptr;
    RegOpenKeyExA(root, subkey, 0, KEY_READ | view, &key);
    for (DWORD index = 0, nameLen = 16384, dataLen = 65536, type; key && !RegEnumValueA(key, index, name.data(), &nameLen,
             nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &dataLen); ++index, nameLen = 16384, dataLen = 65536)
        values.push_back({std::string(name.data(), nameLen), type, std::string(data.data(), dataLen)});
    return RegCloseKey(key), values;
}

inline int StatusOf(RecordList* state, const char* name) {  // of HKCU Run's entry; -1 when there is none
    ChangeEntry* entry = FindEntry(state, HKCU, kRunKey, name);
    return entry ? static_cast<int>(entry->status) : -1;
}
inline size_t Count(RecordList* list) {
    size_t count = 0;
    for (RecordLink* node = RecordList_First(list); node; node = RecordList_Next(node), ++count) {}
    return count;
}
inline const char* Text(const ValueRecord* record) { return reinterpret_cast<const char*>(record->data); }

struct Probe {  // for RegWatch_Resync, as the Changes page builds one: a key in its view and a value name
    Probe(const char* subkey, const char* name, HKEY root = HKCU, REGSAM view = 0)
        : key{{}, root, subkey, {}, view, subkey, {}}, value{{}, const_cast<char*>(name), 0, nullptr, 0, 0} {}
    WatchedKey key;
    ValueRecord value;
    ChangeEntry entry{{}, &key, New, &value, nullptr, 0};
};

inline void DestroyWatch(RegWatchHandle* watch) {  // one whose thread never started, as far as it was built
    RegWatch_FreeState(&watch->watched);
    RegWatch_SetAcceptedFile(watch, nullptr), CloseHandle(watch->mutex);
    for (size_t i = 0; i < kMaxNotifyKeys; ++i) CloseHandle(watch->events[i]), RegCloseKey(watch->notifyKeys[i]);
    for (size_t row = 0; row < kWatchedKeyCount; ++row) RegCloseKey(watch->openKeys[row]), CloseHandle(watch->keyEvents[row]);
    RegWatch_Free(watch);
}

#ifdef KEYWARDEN_ENGINE_SEAMS
// HKCU Run holding only Alpha = alpha.exe and Beta = beta.exe, and a watch object with its baseline. Fails a
// test that leaves an engine block behind or writes past one.
class WatchTest : public testing_support::RegistryTest {
protected:
    void SetUp() override {
        blocksAtStart = RegWatchSeam_LiveAllocs(), overrunsAtStart = RegWatchSeam_Overruns();
        RegDeleteTreeA(HKCU, kRunKey);
        Put(HKCU, kRunKey, "Alpha", "alpha.exe"), Put(HKCU, kRunKey, "Beta", "beta.exe");
        ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    }
    void TearDown() override {
        if (watch) DestroyWatch(watch);
        RegWatchSeam_FailAllocAt(0), RegWatchSeam_ResetSys();
        EXPECT_EQ(blocksAtStart, RegWatchSeam_LiveAllocs()) << "engine blocks left behind";
        EXPECT_EQ(overrunsAtStart, RegWatchSeam_Overruns()) << "an engine block was written past its end";
    }
    ChangeEntry* Entry(const char* name, const char* subkey = kRunKey) { return FindEntry(&watch->watched, HKCU, subkey, name); }
    std::string Order() {  // of HKCU Run's entries, "-" after a deleted one, "!" where the list's links disagree
        RecordList* entries = &WatchedKey_First(&watch->watched)->entries;
        std::string order;
        RecordLink* before = nullptr;
        for (ChangeEntry* e = ChangeEntry_First(entries); e; before = e, e = ChangeEntry_Next(e))
            order += (order.empty() ? "" : " ") + std::string(e->current->name) + (e->status == Deleted ? "-" : "") +
                     (e->prev == before ? "" : "!");
        return entries->last == before ? order : order + "!";
    }

    RegWatchHandle* watch = nullptr;  // without a thread
    long blocksAtStart = 0, overrunsAtStart = 0;
};
#endif
