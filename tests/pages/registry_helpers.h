// Registry helpers shared by the page tests and the end-to-end driver: the
// watched keys as the program lists them, writes made here or from a process
// of their own, and snapshots that leave the registry as a test found it.
#ifndef KEYWARDEN_TESTS_PAGES_REGISTRY_HELPERS_H
#define KEYWARDEN_TESTS_PAGES_REGISTRY_HELPERS_H

#include <windows.h>

#include <array>
#include <string>
#include <vector>

namespace kwtest {

extern const char kRunKey[];
extern const char kRunOnceKey[];
extern const char kRunServicesKey[];
extern const char kRunOnceExKey[];
extern const char kSettingsKey[];

struct WatchedKeyRow {
    HKEY root;
    const char* subkey;
};
// The seven watched keys in the engine's order.
extern const WatchedKeyRow kWatchedKeys[7];

struct RegValue {
    std::string name;
    DWORD type;
    std::string data;  // raw bytes
};

// Every value of a key in enumeration order; empty when the key is missing.
std::vector<RegValue> ReadKeyValues(HKEY root, const char* subkey);
// false when the value is missing.
bool ReadValue(HKEY root, const char* subkey, const char* name, RegValue* value);
// In-process writes; the key is created when missing. Windows error codes.
LONG SetText(HKEY root, const char* subkey, const char* name, const std::string& text);
LONG SetDword(HKEY root, const char* subkey, const char* name, DWORD value);
LONG SetBytes(HKEY root, const char* subkey, const char* name, DWORD type, const std::string& data);
LONG DeleteValue(HKEY root, const char* subkey, const char* name);

// A value's data as the list shows it: up to the first zero byte.
std::string DataText(const std::string& data);
// "HKEY_CURRENT_USER\Software\..." as the list shows a key.
std::string PathText(HKEY root, const char* subkey);

// Status, Name, Value, Old Value, Registry Path.
using Row = std::array<std::string, 5>;
// What the list shows right after a baseline: every value of the seven
// keys, Unchanged, last value of the last key first.
std::vector<Row> UnchangedRows();
std::string Describe(const std::vector<Row>& rows);

// Runs regwriter (beside the test executable) with these arguments and
// returns its exit code, or -1 when it cannot be started.
int RunWriter(const std::string& arguments);
// The folder of the running executable, ending in a backslash.
std::string ExecutableFolder();

// Saves the seven watched keys and the settings key when constructed and
// puts back exactly what was there when destroyed.
class RegistrySnapshot {
public:
    RegistrySnapshot();
    ~RegistrySnapshot();
    RegistrySnapshot(const RegistrySnapshot&) = delete;
    RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

private:
    struct Key {
        HKEY root;
        std::string subkey;
        bool existed;
        std::vector<RegValue> values;
    };
    void Save(HKEY root, const char* subkey);
    std::vector<Key> keys;
    bool settingsParents[3];  // Velmorra, Keywarden, Settings existed
};

}  // namespace kwtest

#endif
