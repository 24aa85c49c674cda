#include "tests/engine/support.h"

#include <string.h>

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRunOnceExKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";

std::vector<RegValue> ReadKeyValues(HKEY root, const char* subkey)
{
    std::vector<RegValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        std::vector<BYTE> data(65536);
        DWORD nameLen = sizeof name;
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameLen, nullptr, &type, data.data(), &dataLen) != ERROR_SUCCESS)
            break;
        values.push_back({std::string(name, nameLen), type,
                          std::string(reinterpret_cast<const char*>(data.data()), dataLen)});
    }
    RegCloseKey(key);
    return values;
}

bool KeyExists(HKEY root, const char* subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

LONG SetBytes(HKEY root, const char* subkey, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status;
}

LONG SetText(HKEY root, const char* subkey, const char* name, const char* text)
{
    return SetBytes(root, subkey, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

LONG DeleteValue(HKEY root, const char* subkey, const char* name)
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return status;
}

LONG CreateKey(HKEY root, const char* subkey)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS)
        RegCloseKey(key);
    return status;
}

LONG DeleteKeyTree(HKEY root, const char* subkey)
{
    LONG status = RegDeleteTreeA(root, subkey);
    RegDeleteKeyA(root, subkey);
    return KeyExists(root, subkey) ? status : ERROR_SUCCESS;
}

HANDLE StartWriter(const std::string& arguments)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return nullptr;
    std::string exe(path, length);
    exe = exe.substr(0, exe.find_last_of("\\/") + 1) + "regwriter.exe";
    std::string commandLine = "\"" + exe + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

int RunWriter(const std::string& arguments)
{
    HANDLE process = StartWriter(arguments);
    if (!process)
        return -1;
    DWORD code = 1;
    if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code))
        code = 1;
    CloseHandle(process);
    return static_cast<int>(code);
}

void WatchedKeysSnapshot::Save()
{
    keys.clear();
    for (const RegWatchKeyRow& row : kWatchedKeys)
        keys.push_back({KeyExists(row.root, row.subkey), ReadKeyValues(row.root, row.subkey)});
}

void WatchedKeysSnapshot::Restore()
{
    for (size_t i = 0; i < keys.size(); ++i) {
        const RegWatchKeyRow& row = kWatchedKeys[i];
        if (!keys[i].existed) {
            DeleteKeyTree(row.root, row.subkey);
            continue;
        }
        CreateKey(row.root, row.subkey);
        // Only what differs is written, so that an unchanged key raises no
        // notification for whoever watches next.
        std::vector<RegValue> now = ReadKeyValues(row.root, row.subkey);
        for (const RegValue& value : now) {
            bool kept = false;
            for (const RegValue& saved : keys[i].values)
                kept = kept || saved.name == value.name;
            if (!kept)
                DeleteValue(row.root, row.subkey, value.name.c_str());
        }
        for (const RegValue& saved : keys[i].values) {
            bool same = false;
            for (const RegValue& value : now)
                same = same || (value.name == saved.name && value.type == saved.type && value.data == saved.data);
            if (!same)
                SetBytes(row.root, row.subkey, saved.name.c_str(), saved.type, saved.data.data(),
                         static_cast<DWORD>(saved.data.size()));
        }
    }
}

void EngineTest::SetUp()
{
#ifdef KEYWARDEN_ENGINE_SEAMS
    RegWatchSeam_FailAllocAt(0);
    RegWatchSeam_ResetSys();
    liveAtStart = RegWatchSeam_LiveAllocs();
    overrunsAtStart = RegWatchSeam_Overruns();
#endif
}

void EngineTest::TearDown()
{
#ifdef KEYWARDEN_ENGINE_SEAMS
    RegWatchSeam_FailAllocAt(0);
    RegWatchSeam_ResetSys();
    EXPECT_EQ(liveAtStart, RegWatchSeam_LiveAllocs()) << "engine allocations left behind";
    EXPECT_EQ(overrunsAtStart, RegWatchSeam_Overruns()) << "an engine buffer was written past its end";
#endif
}

void RegistryTest::SetUp()
{
    EngineTest::SetUp();
    snapshot.Save();
}

void RegistryTest::TearDown()
{
    snapshot.Restore();
    EngineTest::TearDown();
}

RegWatchHandle* NewBareWatch()
{
    RegWatchHandle* watch = static_cast<RegWatchHandle*>(RegWatch_Alloc(sizeof(RegWatchHandle)));
    if (!watch)
        return nullptr;
    RecordList_Init(&watch->watched);
    watch->mutex = CreateMutexA(nullptr, FALSE, nullptr);
    return watch;
}

void DestroyWatch(RegWatchHandle* watch)
{
    if (!watch)
        return;
    RegWatch_FreeState(&watch->watched);
    for (int i = 0; i < 2; ++i) {
        if (watch->notifyKeys[i])
            RegCloseKey(watch->notifyKeys[i]);
        if (watch->events[i])
            CloseHandle(watch->events[i]);
    }
    if (watch->mutex)
        CloseHandle(watch->mutex);
    RegWatch_Free(watch);
}

WatchedKey* FindKey(RecordList* state, HKEY root, const char* subkey)
{
    for (WatchedKey* key = WatchedKey_First(state); key; key = WatchedKey_Next(key))
        if (key->root == root && strcmp(key->subkey, subkey) == 0)
            return key;
    return nullptr;
}

ChangeEntry* FindEntry(RecordList* state, HKEY root, const char* subkey, const char* name)
{
    WatchedKey* key = FindKey(state, root, subkey);
    if (!key)
        return nullptr;
    for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
        if (strcmp(entry->current->name, name) == 0)
            return entry;
    return nullptr;
}

size_t CountKeys(RecordList* state)
{
    size_t count = 0;
    for (WatchedKey* key = WatchedKey_First(state); key; key = WatchedKey_Next(key))
        ++count;
    return count;
}

size_t CountEntries(WatchedKey* key)
{
    size_t count = 0;
    for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
        ++count;
    return count;
}

std::string DataOf(const ValueRecord* record)
{
    return std::string(reinterpret_cast<const char*>(record->data), record->dataLen);
}

ValueRecord MakeRecord(const char* name, const void* data, DWORD dataLen, DWORD type)
{
    ValueRecord record = {};
    record.name = const_cast<char*>(name);
    record.nameLen = static_cast<DWORD>(strlen(name));
    record.data = static_cast<BYTE*>(const_cast<void*>(data));
    record.dataLen = dataLen;
    record.type = type;
    return record;
}

int CompareAllLocked(RegWatchHandle* watch)
{
    WaitForSingleObject(watch->mutex, INFINITE);
    int changed = RegWatch_CompareAll(watch);
    ReleaseMutex(watch->mutex);
    return changed;
}
