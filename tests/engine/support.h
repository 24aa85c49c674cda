// Shared helpers of the engine tests: the registry as the tests leave and
// find it, a second process that writes it, and lookups in engine state.
#ifndef KEYWARDEN_TESTS_ENGINE_SUPPORT_H
#define KEYWARDEN_TESTS_ENGINE_SUPPORT_H

#include "engine/regwatch_internal.h"
#include "engine/regwatch_seams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern const char kRunKey[];         // ...\CurrentVersion\Run
extern const char kRunOnceKey[];     // ...\CurrentVersion\RunOnce
extern const char kRunServicesKey[]; // ...\CurrentVersion\RunServices
extern const char kRunOnceExKey[];   // ...\CurrentVersion\RunOnceEx

struct RegValue {
    std::string name;
    DWORD type;
    std::string data;  // raw bytes
};

// Every value of a key in enumeration order; empty when the key is missing.
std::vector<RegValue> ReadKeyValues(HKEY root, const char* subkey);
bool KeyExists(HKEY root, const char* subkey);

// In-process writes; the key is created when missing. Windows error codes.
LONG SetText(HKEY root, const char* subkey, const char* name, const char* text);
LONG SetBytes(HKEY root, const char* subkey, const char* name, DWORD type, const void* data, DWORD size);
LONG DeleteValue(HKEY root, const char* subkey, const char* name);
LONG CreateKey(HKEY root, const char* subkey);
LONG DeleteKeyTree(HKEY root, const char* subkey);

// Runs regwriter (beside the test executable) with these arguments and
// returns its exit code, or -1 when it cannot be started.
int RunWriter(const std::string& arguments);
// Starts regwriter without waiting; the caller waits for and closes it.
HANDLE StartWriter(const std::string& arguments);

// Saves the seven watched keys (existence and values) and puts them back
// exactly: keys that did not exist are deleted again.
class WatchedKeysSnapshot {
public:
    void Save();
    void Restore();

private:
    struct Key {
        bool existed;
        std::vector<RegValue> values;
    };
    std::vector<Key> keys;
};

// Base of the engine tests. With the testable engine it also fails a test
// that leaves engine allocations behind.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    long liveAtStart = 0;
    long overrunsAtStart = 0;
};

// Base of every test that touches the registry: also restores the watched
// keys after each test.
class RegistryTest : public EngineTest {
protected:
    void SetUp() override;
    void TearDown() override;
    WatchedKeysSnapshot snapshot;
};

// A watch object with a mutex but without events, notify keys or thread,
// and its release; for tests that drive the baseline and comparison by hand.
RegWatchHandle* NewBareWatch();
// Frees a watch object whose thread was never started.
void DestroyWatch(RegWatchHandle* watch);

// Lookups in a state list (the engine's or a copy); null when absent.
WatchedKey* FindKey(RecordList* state, HKEY root, const char* subkey);
ChangeEntry* FindEntry(RecordList* state, HKEY root, const char* subkey, const char* name);
size_t CountKeys(RecordList* state);
size_t CountEntries(WatchedKey* key);
std::string DataOf(const ValueRecord* record);  // dataLen bytes

// A ValueRecord over caller-owned bytes, for list tests; not heap-built. The
// data must be followed by one more byte, as in every ValueRecord.
ValueRecord MakeRecord(const char* name, const void* data, DWORD dataLen, DWORD type);

// RegWatch_CompareAll with the mutex held, as its callers run it.
int CompareAllLocked(RegWatchHandle* watch);

#endif
