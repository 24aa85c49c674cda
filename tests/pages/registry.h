// Shared by the page tests and the end-to-end driver: the watched keys, and
// a snapshot that leaves them and the settings as a test found them.
#ifndef KEYWARDEN_TESTS_PAGES_REGISTRY_H
#define KEYWARDEN_TESTS_PAGES_REGISTRY_H

#include <windows.h>

#include <string>
#include <vector>

namespace kwtest {

inline const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";  // below HKCU and HKLM

struct KeyPath { HKEY root; const char* subkey; };
inline const KeyPath kWatchedKeys[7] = {  // in the engine's order
    {HKEY_CURRENT_USER, kRunKey},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {HKEY_LOCAL_MACHINE, kRunKey},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"},
};

struct RegValue { std::string name; DWORD type; std::string data; };

// Every value of the key in enumeration order; none when the key is missing.
inline std::vector<RegValue> ReadKeyValues(const KeyPath& path, bool* exists = nullptr)
{
    std::vector<RegValue> values;
    HKEY key = nullptr;
    const bool opened = RegOpenKeyExA(path.root, path.subkey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists)
        *exists = opened;
    DWORD maxName = 0, maxData = 0;
    if (!opened)
        return values;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData, nullptr,
                     nullptr);
    std::string name(maxName + 1, '\0'), data(maxData + 1, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = maxName + 1, dataLength = maxData + 1, type = 0;
        if (RegEnumValueA(key, index, &name[0], &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                          &dataLength) != ERROR_SUCCESS)
            break;
        values.push_back({name.substr(0, nameLength), type, data.substr(0, dataLength)});
    }
    RegCloseKey(key);
    return values;
}

// A REG_SZ value in the root's Run key, stored with its terminator.
inline LONG SetRunValue(const char* name, const std::string& text, HKEY root = HKEY_CURRENT_USER)
{
    return RegSetKeyValueA(root, kRunKey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline bool RunValueExists(const char* name, HKEY root = HKEY_CURRENT_USER, DWORD* type = nullptr)
{
    return RegGetValueA(root, kRunKey, name, RRF_RT_ANY, type, nullptr, nullptr) == ERROR_SUCCESS;
}

// Puts back the watched keys' and the settings' values when it goes, and
// removes the keys that were not there.
class RegistrySnapshot {
public:
    RegistrySnapshot()
    {
        std::vector<KeyPath> paths(kWatchedKeys, kWatchedKeys + 7);
        for (const char* settings : {"Software\\Velmorra", "Software\\Velmorra\\Keywarden",
                                     "Software\\Velmorra\\Keywarden\\Settings"})
            paths.push_back({HKEY_CURRENT_USER, settings});
        for (const KeyPath& path : paths) {
            keys.push_back({path, false, {}});
            keys.back().values = ReadKeyValues(path, &keys.back().existed);
        }
    }
    ~RegistrySnapshot()
    {
        for (auto saved = keys.rbegin(); saved != keys.rend(); ++saved) {  // children first
            const KeyPath& path = saved->path;
            for (const RegValue& present : ReadKeyValues(path))
                RegDeleteKeyValueA(path.root, path.subkey, present.name.c_str());
            for (const RegValue& value : saved->values)
                RegSetKeyValueA(path.root, path.subkey, value.name.c_str(), value.type, value.data.data(),
                                static_cast<DWORD>(value.data.size()));
            if (!saved->existed)
                RegDeleteKeyA(path.root, path.subkey);
        }
    }

private:
    struct Key { KeyPath path; bool existed; std::vector<RegValue> values; };
    std::vector<Key> keys;
};

}  // namespace kwtest

#endif
