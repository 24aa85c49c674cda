// The engine tests' view of engine state, and their fixture.
#pragma once

#include "engine/regwatch_internal.h"
#include "engine/regwatch_seams.h"
#include "tests/support/test_support.h"

#include <string.h>

using testing_support::kRunKey;
using testing_support::RunWriter;
const HKEY HKCU = HKEY_CURRENT_USER, HKLM = HKEY_LOCAL_MACHINE;
const char kRunServices[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";

struct RegValue { std::string name; DWORD type; std::string data; };

// Every value of a key in enumeration order; none when the key is missing.
inline std::vector<RegValue> ReadKeyValues(HKEY root, const char* subkey)
{
    std::vector<RegValue> values;
    std::vector<char> name(16384), data(65536);
    HKEY key = nullptr;
    RegOpenKeyExA(root, subkey, 0, KEY_READ, &key);
    for (DWORD index = 0, nameLen, dataLen, type; key; ++index) {
        nameLen = static_cast<DWORD>(name.size()), dataLen = static_cast<DWORD>(data.size());
        if (RegEnumValueA(key, index, name.data(), &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                          &dataLen) != ERROR_SUCCESS)
            break;
        values.push_back({std::string(name.data(), nameLen), type, std::string(data.data(), dataLen)});
    }
    RegCloseKey(key);
    return values;
}

// An entry of the engine's state or of a copy; null when absent.
inline ChangeEntry* FindEntry(RecordList* state, HKEY root, const char* subkey, const char* name)
{
    for (WatchedKey* key = WatchedKey_First(state); key; key = WatchedKey_Next(key))
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
            if (key->root == root && strcmp(key->subkey, subkey) == 0 && strcmp(entry->current->name, name) == 0)
                return entry;
    return nullptr;
}

inline size_t Count(RecordList* list)
{
    size_t count = 0;
    for (RecordLink* node = RecordList_First(list); node; node = RecordList_Next(node))
        ++count;
    return count;
}

inline const char* Text(const ValueRecord* record) { return reinterpret_cast<const char*>(record->data); }

// A probe for RegWatch_Resync as the Changes page builds one: an HKCU key and a value name.
struct Probe {
    Probe(const char* subkey, const char* name)
        : key{{}, HKCU, subkey, {}}, value{{}, const_cast<char*>(name), 0, nullptr, 0, 0} {}
    WatchedKey key;
    ValueRecord value;
    ChangeEntry entry{{}, &key, New, &value, nullptr};
};

// Frees a watch object whose thread never started, as far as it was built.
inline void DestroyWatch(RegWatchHandle* watch)
{
    RegWatch_FreeState(&watch->watched);
    for (HANDLE handle : {watch->mutex, watch->events[0], watch->events[1]})
        CloseHandle(handle);
    for (HKEY key : watch->notifyKeys)
        RegCloseKey(key);
    RegWatch_Free(watch);
}

// HKCU Run holding only Alpha = alpha.exe and Beta = beta.exe, and a watch object with its baseline. In the
// testable engine it fails a test that leaves an engine block behind or writes past one.
class WatchTest : public testing_support::RegistryTest {
protected:
    void SetUp() override
    {
#ifdef KEYWARDEN_ENGINE_SEAMS
        blocksAtStart = RegWatchSeam_LiveAllocs(), overrunsAtStart = RegWatchSeam_Overruns();
#endif
        RegDeleteTreeA(HKCU, kRunKey);
        Put(HKCU, kRunKey, "Alpha", "alpha.exe");
        Put(HKCU, kRunKey, "Beta", "beta.exe");
        ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    }
    void TearDown() override
    {
        if (watch)
            DestroyWatch(watch);
#ifdef KEYWARDEN_ENGINE_SEAMS
        RegWatchSeam_FailAllocAt(0);
        RegWatchSeam_ResetSys();
        EXPECT_EQ(blocksAtStart, RegWatchSeam_LiveAllocs()) << "engine blocks left behind";
        EXPECT_EQ(overrunsAtStart, RegWatchSeam_Overruns()) << "an engine block was written past its end";
#endif
    }
    ChangeEntry* Entry(const char* name, const char* subkey = kRunKey) { return FindEntry(&watch->watched, HKCU, subkey, name); }
    int StatusOf(const char* name) { return Entry(name) ? static_cast<int>(Entry(name)->status) : -1; }  // -1: none

    RegWatchHandle* watch = nullptr;  // without a thread
    long blocksAtStart = 0, overrunsAtStart = 0;
};
