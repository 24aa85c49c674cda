// Shared by the page tests and the end-to-end driver: the Run keys, and a
// snapshot that leaves them and the settings as a test found them.
#ifndef KEYWARDEN_TESTS_PAGES_REGISTRY_H
#define KEYWARDEN_TESTS_PAGES_REGISTRY_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace kwtest {

inline const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";  // below HKCU and HKLM

// A REG_SZ value in the root's Run key, stored with its terminator.
inline LONG SetRunValue(const char* name, const std::string& text, HKEY root = HKEY_CURRENT_USER)
{
    return RegSetKeyValueA(root, kRunKey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline bool RunValueExists(const char* name, HKEY root = HKEY_CURRENT_USER)
{
    return RegGetValueA(root, kRunKey, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// Copies the Run keys and the settings aside, and puts them back when it goes.
class RegistrySnapshot {
    const std::pair<HKEY, const char*> keys[3] = {
        {HKEY_CURRENT_USER, kRunKey}, {HKEY_LOCAL_MACHINE, kRunKey}, {HKEY_CURRENT_USER, "Software\\Velmorra"}};
    const std::string copies = "Software\\KeywardenTestCopy" + std::to_string(GetCurrentProcessId()) + "\\";
    bool existed[3] = {};

    static bool Copy(HKEY fromRoot, const std::string& from, HKEY toRoot, const std::string& to)  // false: no from
    {
        HKEY source = nullptr, target = nullptr;
        const bool opened = RegOpenKeyExA(fromRoot, from.c_str(), 0, KEY_READ, &source) == ERROR_SUCCESS;
        if (opened && RegCreateKeyA(toRoot, to.c_str(), &target) == ERROR_SUCCESS)
            RegCopyTreeA(source, nullptr, target);
        RegCloseKey(source);
        RegCloseKey(target);
        return opened;
    }

public:
    RegistrySnapshot()
    {
        for (size_t index = 0; index < 3; ++index)
            existed[index] = Copy(keys[index].first, keys[index].second, HKEY_CURRENT_USER, copies + "0123"[index]);
    }
    ~RegistrySnapshot()
    {
        for (size_t index = 0; index < 3; ++index) {
            RegDeleteTreeA(keys[index].first, keys[index].second);
            if (existed[index])
                Copy(HKEY_CURRENT_USER, copies + "0123"[index], keys[index].first, keys[index].second);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, copies.c_str());
    }
};

}  // namespace kwtest

#endif
