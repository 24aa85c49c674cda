#include "app/settings.h"

const char kSettingsKey[] = "Software\\Velmorra\\Keywarden\\Settings";
const char kSettingPopUpAlert[] = "PopUpAlert";
const char kSettingNoTrayIconFlash[] = "NoTrayIconFlash";
const char kSettingOnlyShowChanged[] = "OnlyShowChanged";
const char kSettingRememberBaseline[] = "RememberBaseline";
const char kSettingNoJournal[] = "NoJournal";

DWORD ReadSetting(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;

    BYTE data[4] = {0, 0, 0, 0};
    DWORD size = sizeof data;
    DWORD type = 0;
    // The type is deliberately not checked: any data of up to 4 bytes counts.
    LONG result = RegQueryValueExA(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return 0;

    // Only `size` bytes are the value's; the rest must not carry anything else.
    for (DWORD i = size; i < sizeof data; ++i)
        data[i] = 0;
    return static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
           static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
}

LONG WriteSetting(const char* name, const DWORD* value)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (result != ERROR_SUCCESS)
        return result;

    const DWORD number = *value;
    const BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                          static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    result = RegSetValueExA(key, name, 0, REG_DWORD, data, sizeof data);
    LONG closed = RegCloseKey(key);
    // A failed set must not be hidden behind a successful close.
    return result != ERROR_SUCCESS ? result : closed;
}
