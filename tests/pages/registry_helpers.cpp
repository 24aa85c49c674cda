#include "tests/pages/registry_helpers.h"

#include <algorithm>
#include <cstdio>

namespace kwtest {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRunOnceExKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx";
const char kSettingsKey[] = "Software\\Velmorra\\Keywarden\\Settings";

const WatchedKeyRow kWatchedKeys[7] = {
    {HKEY_CURRENT_USER, kRunKey},        {HKEY_CURRENT_USER, kRunOnceKey},
    {HKEY_CURRENT_USER, kRunServicesKey}, {HKEY_LOCAL_MACHINE, kRunKey},
    {HKEY_LOCAL_MACHINE, kRunOnceKey},    {HKEY_LOCAL_MACHINE, kRunOnceExKey},
    {HKEY_LOCAL_MACHINE, kRunServicesKey},
};

namespace {

const char* const kSettingsParents[3] = {"Software\\Velmorra", "Software\\Velmorra\\Keywarden", kSettingsKey};

bool KeyExists(HKEY root, const char* subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

std::vector<RegValue> ReadKeyValues(HKEY root, const char* subkey)
{
    std::vector<RegValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    DWORD maxName = 0, maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr) == ERROR_SUCCESS) {
        std::vector<char> name(maxName + 1);
        std::vector<BYTE> data(maxData + 1);
        for (DWORD index = 0;; ++index) {
            DWORD nameLength = maxName + 1, dataLength = maxData + 1, type = 0;
            if (RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength) !=
                ERROR_SUCCESS)
                break;
            values.push_back({std::string(name.data(), nameLength), type,
                              std::string(reinterpret_cast<const char*>(data.data()), dataLength)});
        }
    }
    RegCloseKey(key);
    return values;
}

bool ReadValue(HKEY root, const char* subkey, const char* name, RegValue* value)
{
    for (const RegValue& candidate : ReadKeyValues(root, subkey)) {
        if (candidate.name == name) {
            *value = candidate;
            return true;
        }
    }
    return false;
}

LONG SetBytes(HKEY root, const char* subkey, const char* name, DWORD type, const std::string& data)
{
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return result;
}

LONG SetText(HKEY root, const char* subkey, const char* name, const std::string& text)
{
    return SetBytes(root, subkey, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

LONG SetDword(HKEY root, const char* subkey, const char* name, DWORD value)
{
    return SetBytes(root, subkey, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value));
}

LONG DeleteValue(HKEY root, const char* subkey, const char* name)
{
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return result;
}

std::string DataText(const std::string& data)
{
    return data.substr(0, data.find('\0'));
}

std::string PathText(HKEY root, const char* subkey)
{
    return std::string(root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE") + "\\" + subkey;
}

std::vector<Row> UnchangedRows()
{
    std::vector<Row> rows;
    for (const WatchedKeyRow& watched : kWatchedKeys)
        for (const RegValue& value : ReadKeyValues(watched.root, watched.subkey))
            rows.push_back({"Unchanged", value.name, DataText(value.data), "", PathText(watched.root, watched.subkey)});
    std::reverse(rows.begin(), rows.end());
    return rows;
}

std::string Describe(const std::vector<Row>& rows)
{
    std::string text;
    for (const Row& row : rows)
        text += "\n  [" + row[0] + " | " + row[1] + " | " + row[2] + " | " + row[3] + " | " + row[4] + "]";
    return text;
}

std::string ExecutableFolder()
{
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

int RunWriter(const std::string& arguments)
{
    std::string command = "\"" + ExecutableFolder() + "regwriter.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "regwriter could not start: error %lu\n", GetLastError());
        return -1;
    }
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
        std::fprintf(stderr, "regwriter has not finished after 60 s\n");
    DWORD code = static_cast<DWORD>(-1);
    if (!GetExitCodeProcess(process.hProcess, &code))
        std::fprintf(stderr, "regwriter's exit code is unknown: error %lu\n", GetLastError());
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

RegistrySnapshot::RegistrySnapshot() : settingsParents{false, false, false}
{
    for (const WatchedKeyRow& watched : kWatchedKeys)
        Save(watched.root, watched.subkey);
    for (int i = 0; i < 3; ++i)
        settingsParents[i] = KeyExists(HKEY_CURRENT_USER, kSettingsParents[i]);
    Save(HKEY_CURRENT_USER, kSettingsKey);
}

void RegistrySnapshot::Save(HKEY root, const char* subkey)
{
    keys.push_back({root, subkey, KeyExists(root, subkey), ReadKeyValues(root, subkey)});
}

RegistrySnapshot::~RegistrySnapshot()
{
    for (const Key& saved : keys) {
        if (!KeyExists(saved.root, saved.subkey.c_str()))
            continue;
        for (const RegValue& present : ReadKeyValues(saved.root, saved.subkey.c_str())) {
            bool kept = std::any_of(saved.values.begin(), saved.values.end(),
                                    [&](const RegValue& value) { return value.name == present.name; });
            if (!kept)
                DeleteValue(saved.root, saved.subkey.c_str(), present.name.c_str());
        }
        for (const RegValue& value : saved.values) {
            RegValue present;
            if (!ReadValue(saved.root, saved.subkey.c_str(), value.name.c_str(), &present) ||
                present.type != value.type || present.data != value.data)
                SetBytes(saved.root, saved.subkey.c_str(), value.name.c_str(), value.type, value.data);
        }
        if (!saved.existed)
            RegDeleteKeyA(saved.root, saved.subkey.c_str());
    }
    for (int i = 2; i >= 0; --i)
        if (!settingsParents[i])
            RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsParents[i]);
}

}  // namespace kwtest
