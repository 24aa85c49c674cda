// Helpers of every test program: the registry as a test found it, other processes, waiting, answering dialogs.
#pragma once

#include "engine/regwatch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

inline const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";  // below HKCU and HKLM

// The executable's path; with a file name, that file's path beside it ("": the folder, ending in '\').
std::string ModulePath(const char* sibling = nullptr);
// Starts the command line in folder with no standard handles, so that nothing it starts holds a test's output open.
HANDLE Launch(std::string command, const std::string& folder = ModulePath(""));
long ExitCode(HANDLE process, DWORD timeoutMs);  // -1 while it runs
// Makes these changes to root's ("HKCU", "HKLM", or "HKLM32"/"HKLM64" for one view) subkey from another program,
// the system's reg.exe; 0 when done. Names and texts are UTF-8, quoted where they hold blanks:
//   set NAME TEXT | setdword NAME NUMBER | sethex NAME TYPE HEXBYTES | del NAME | deletekey (all of the key)
int RunWriter(const char* root, const char* subkey, const std::string& commands, int line = __builtin_LINE(),
              const char* file = __builtin_FILE());
// Dispatches messages until done() holds or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);
std::string WindowText(HWND window), ClassName(HWND window);

inline ChangeEntry* FindEntry(RecordList* state, HKEY root, const char* subkey, const char* name) {  // engine's or a copy's
    for (WatchedKey* key = WatchedKey_First(state); key; key = WatchedKey_Next(key))
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
            if (key->root == root && strcmp(key->subkey, subkey) == 0 && strcmp(entry->current->name, name) == 0)
                return entry;
    return nullptr;
}

// Saves the seven watched keys and the program's settings, and puts them back when the test ends.
struct RegistryTest : ::testing::Test {
    // Sets a REG_SZ value, creating the key, or deletes it when text is null; fails the test at the caller's line.
    static void Put(HKEY root, const char* subkey, const char* name, const char* text, int line = __builtin_LINE(),
                    const char* file = __builtin_FILE());
    static bool Exists(HKEY root, const char* subkey, const char* name);
    RegistryTest();
    ~RegistryTest() override;
    const std::string copies;   // where the saved keys wait
    std::vector<bool> existed;  // of each key saved
};

// Runs action once, delayMs later, from any message loop of the thread; destroying it first cancels it.
class ThreadTimer {
public:
    ThreadTimer(UINT delayMs, std::function<void()> action)
        : id(SetTimer(nullptr, 0, delayMs, &TimerProc)) { Timers()[id] = std::move(action); }
    ~ThreadTimer() { Timers().erase(id) && KillTimer(nullptr, id); }
private:
    static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
    static std::map<UINT_PTR, std::function<void()>>& Timers();   // the thread's, by id
    UINT_PTR id;
};

// While it lives, runs action once for every dialog (#32770) activated on the thread, from the dialog's own
// loop. One answerer per thread at a time.
class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<void(HWND)> act) : action(std::move(act)) {}
    ~DialogAnswerer() { UnhookWindowsHookEx(hook), current = nullptr; }
private:
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    static inline thread_local DialogAnswerer* current = nullptr;
    std::function<void(HWND)> action;
    std::vector<HWND> seen;
    std::list<ThreadTimer> pending;
    HHOOK hook = (current = this, SetWindowsHookExA(WH_CBT, &HookProc, nullptr, GetCurrentThreadId()));
};

}  // namespace testing_support
