// Helpers of the engine tests: the registry as the tests leave and find it,
// a second process that writes it, and lookups in engine state.
#ifndef KEYWARDEN_TESTS_ENGINE_SUPPORT_H
#define KEYWARDEN_TESTS_ENGINE_SUPPORT_H

#include "engine/regwatch_internal.h"
#include "engine/regwatch_seams.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

const HKEY HKCU = HKEY_CURRENT_USER;
const HKEY HKLM = HKEY_LOCAL_MACHINE;
const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunServices[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRunOnceEx[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";

struct RegValue {
    std::string name;
    DWORD type;
    std::string data;
};

// Every value of a key in enumeration order; none when the key is missing.
inline std::vector<RegValue> ReadKeyValues(HKEY root, const char* subkey)
{
    std::vector<RegValue> values;
    std::vector<char> name(16384), data(65536);
    HKEY key = nullptr;
    RegOpenKeyExA(root, subkey, 0, KEY_READ, &key);
    for (DWORD index = 0; key; ++index) {
        DWORD nameLen = static_cast<DWORD>(name.size()), dataLen = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueA(key, index, name.data(), &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                          &dataLen) != ERROR_SUCCESS)
            break;
        values.push_back({std::string(name.data(), nameLen), type, std::string(data.data(), dataLen)});
    }
    RegCloseKey(key);
    return values;
}

// Sets a REG_SZ value, creating the key, or deletes the value when text is null.
inline LONG Put(HKEY root, const char* subkey, const char* name, const char* text)
{
    return text ? RegSetKeyValueA(root, subkey, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1))
                : RegDeleteKeyValueA(root, subkey, name);
}

// Runs regwriter, the tests' other process, on a key and returns its exit code.
inline int RunWriter(const char* root, const char* subkey, const std::string& commands)
{
    std::string line = std::string("regwriter.exe ") + root + " \"" + subkey + "\" " + commands;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    DWORD code = 1;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
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

// A probe for RegWatch_Resync as the options page builds one: an HKCU key and a value name.
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

// Puts the seven watched keys back as they were, frees the test's watch
// object, and in the testable engine fails a test that leaves an engine block
// behind or writes past one.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifdef KEYWARDEN_ENGINE_SEAMS
        blocksAtStart = RegWatchSeam_LiveAllocs();
        overrunsAtStart = RegWatchSeam_Overruns();
#endif
        for (const RegWatchKeyRow& row : kWatchedKeys) {
            HKEY key = nullptr;
            existed.push_back(RegOpenKeyExA(row.root, row.subkey, 0, KEY_READ, &key) == ERROR_SUCCESS);
            RegCloseKey(key);
            saved.push_back(ReadKeyValues(row.root, row.subkey));
        }
    }

    void TearDown() override
    {
        if (watch)
            DestroyWatch(watch);
        for (size_t i = 0; i < kWatchedKeyCount; ++i) {
            const RegWatchKeyRow& row = kWatchedKeys[i];
            HKEY key = nullptr;
            if (!existed[i])
                RegDeleteTreeA(row.root, row.subkey);
            if (!existed[i] || RegCreateKeyA(row.root, row.subkey, &key) != ERROR_SUCCESS)
                continue;
            for (const RegValue& value : ReadKeyValues(row.root, row.subkey))
                RegDeleteValueA(key, value.name.c_str());
            for (const RegValue& value : saved[i])
                RegSetValueExA(key, value.name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(&value.data[0]),
                               static_cast<DWORD>(value.data.size()));
            RegCloseKey(key);
        }
#ifdef KEYWARDEN_ENGINE_SEAMS
        RegWatchSeam_FailAllocAt(0);
        RegWatchSeam_ResetSys();
        EXPECT_EQ(blocksAtStart, RegWatchSeam_LiveAllocs()) << "engine blocks left behind";
        EXPECT_EQ(overrunsAtStart, RegWatchSeam_Overruns()) << "an engine block was written past its end";
#endif
    }

    ChangeEntry* Entry(const char* name, HKEY root = HKCU, const char* subkey = kRun)
    {
        return FindEntry(&watch->watched, root, subkey, name);
    }

    RegWatchHandle* watch = nullptr;  // without a thread

private:
    std::vector<bool> existed;
    std::vector<std::vector<RegValue>> saved;
    long blocksAtStart = 0, overrunsAtStart = 0;
};

// HKCU Run holding only Alpha = alpha.exe and Beta = beta.exe, and a watch
// object with its baseline.
class WatchTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        RegDeleteTreeA(HKCU, kRun);
        ASSERT_EQ(ERROR_SUCCESS, Put(HKCU, kRun, "Alpha", "alpha.exe"));
        ASSERT_EQ(ERROR_SUCCESS, Put(HKCU, kRun, "Beta", "beta.exe"));
        ASSERT_EQ(REGWATCH_OK, RegWatch_Create(&watch));
    }
};

#endif
