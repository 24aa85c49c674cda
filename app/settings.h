// The program's options, DWORD values under
// HKEY_CURRENT_USER\Software\Velmorra\Keywarden\Settings. No cache: every
// read goes to the registry, so a value changed by hand counts at once.
#ifndef KEYWARDEN_APP_SETTINGS_H
#define KEYWARDEN_APP_SETTINGS_H

#include <windows.h>

extern const char kSettingsKey[];            // "Software\\Velmorra\\Keywarden\\Settings"
extern const char kSettingPopUpAlert[];      // "PopUpAlert"
extern const char kSettingNoTrayIconFlash[]; // "NoTrayIconFlash"
extern const char kSettingOnlyShowChanged[]; // "OnlyShowChanged"
extern const char kSettingRememberBaseline[]; // "RememberBaseline"
extern const char kSettingNoJournal[];       // "NoJournal": 0, the default, keeps the journal

// The stored data as a little-endian number, whatever its type; data shorter
// than 4 bytes is zero-filled. 0 when the key or value is missing, unreadable
// or longer than 4 bytes.
DWORD ReadSetting(const char* name);
// Stores *value as REG_DWORD, creating the key when needed. Returns a Windows
// error code, 0 only when the value was stored.
LONG WriteSetting(const char* name, const DWORD* value);

#endif
