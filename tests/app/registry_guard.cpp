#include "tests/app/registry_guard.h"

#include "app/settings.h"

namespace {

const char* const kSettingsPath[3] = {
    "Software\\Velmorra",
    "Software\\Velmorra\\Keywarden",
    "Software\\Velmorra\\Keywarden\\Settings",
};

bool ReadValue(HKEY root, const char* subkey, const char* name, DWORD* type, std::vector<BYTE>* data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        data->assign(size, 0);
        result = RegQueryValueExA(key, name, nullptr, type, size ? data->data() : nullptr, &size);
        data->resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace

SavedValue::SavedValue(HKEY rootKey, const char* subkeyText, const char* valueName)
    : root(rootKey), subkey(subkeyText), name(valueName)
{
    existed = ReadValue(root, subkey.c_str(), name.c_str(), &type, &data);
}

SavedValue::~SavedValue()
{
    HKEY key = nullptr;
    if (existed) {
        if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        RegSetValueExA(key, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                       static_cast<DWORD>(data.size()));
    } else {
        if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return;
        RegDeleteValueA(key, name.c_str());
    }
    RegCloseKey(key);
}

SavedSettings::SavedSettings()
    : popUpAlert(HKEY_CURRENT_USER, kSettingsKey, kSettingPopUpAlert),
      noTrayIconFlash(HKEY_CURRENT_USER, kSettingsKey, kSettingNoTrayIconFlash),
      onlyShowChanged(HKEY_CURRENT_USER, kSettingsKey, kSettingOnlyShowChanged)
{
    for (int i = 0; i < 3; ++i)
        keyExisted[i] = KeyExists(kSettingsPath[i]);
}

SavedSettings::~SavedSettings()
{
    // Runs before the members put the values back: only keys that were not
    // there at the start are removed, and those held no saved values.
    for (int i = 0; i < 3; ++i) {
        HKEY key = nullptr;
        if (keyExisted[i] && RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsPath[i], 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr) == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    for (int i = 2; i >= 0; --i)
        if (!keyExisted[i])
            RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsPath[i]);
}

void SavedSettings::DeleteKey()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsPath[2]);
}

bool KeyExists(const char* subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void WriteRaw(const char* subkey, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

bool ReadRaw(const char* subkey, const char* name, DWORD* type, std::vector<BYTE>* data)
{
    return ReadValue(HKEY_CURRENT_USER, subkey, name, type, data);
}

void DeleteRaw(const char* subkey, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}
