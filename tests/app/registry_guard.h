// Keeps the registry as a test found it: each guard records what it covers
// when constructed and puts it back when destroyed.
#ifndef KEYWARDEN_TESTS_APP_REGISTRY_GUARD_H
#define KEYWARDEN_TESTS_APP_REGISTRY_GUARD_H

#include <windows.h>
#include <string>
#include <vector>

// One value: restored with its type and data, or deleted if it did not exist.
class SavedValue {
public:
    SavedValue(HKEY root, const char* subkey, const char* name);
    ~SavedValue();
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    HKEY root;
    std::string subkey;
    std::string name;
    bool existed = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

// The settings key with its three values; keys of its path that the test
// creates are deleted again.
class SavedSettings {
public:
    SavedSettings();
    ~SavedSettings();
    SavedSettings(const SavedSettings&) = delete;
    SavedSettings& operator=(const SavedSettings&) = delete;

    // Deletes the settings key, leaving its parents.
    void DeleteKey();

private:
    bool keyExisted[3] = {false, false, false};  // Velmorra, Keywarden, Settings
    SavedValue popUpAlert;
    SavedValue noTrayIconFlash;
    SavedValue onlyShowChanged;
};

// Raw access for the tests, on HKEY_CURRENT_USER.
bool KeyExists(const char* subkey);
// Writes any type and data; creates the key.
void WriteRaw(const char* subkey, const char* name, DWORD type, const void* data, DWORD size);
// false when the value is missing.
bool ReadRaw(const char* subkey, const char* name, DWORD* type, std::vector<BYTE>* data);
void DeleteRaw(const char* subkey, const char* name);

#endif
