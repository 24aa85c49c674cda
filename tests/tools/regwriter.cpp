// regwriter: changes registry values from a process of its own, as another program on the machine would.
// Built with the tests' bitness, so it sees the registry view they do.
//
//   regwriter <HKCU|HKLM> <subkey> <command> [args] [<command> [args]] ...
//
//   set NAME TEXT           REG_SZ, stored with its terminator
//   setdword NAME NUMBER    REG_DWORD
//   del NAME                delete the value (a missing value is not an error)
//   burst PREFIX COUNT      set PREFIX0 .. PREFIX<COUNT-1> as fast as it can
//   churn PREFIX COUNT MS   for MS milliseconds set and delete PREFIX0 .. PREFIX<COUNT-1> in turn, with ever new data
//   deletekey               delete the key with everything below it
//
// Exit code 0 when every command succeeded, 1 otherwise (with a message).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Check(LONG status, const char* what, const char* name)
{
    if (status == ERROR_SUCCESS)
        return 0;
    fprintf(stderr, "regwriter: %s %s failed: %ld\n", what, name, status);
    return 1;
}

static int Set(HKEY key, const char* name, const char* text)
{
    return Check(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>(strlen(text) + 1)), "set", name);
}

static int Delete(HKEY key, const char* name)
{
    const LONG status = RegDeleteValueA(key, name);
    return Check(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status, "del", name);
}

int main(int argc, char** argv)
{
    HKEY root = argc < 4 ? nullptr : !strcmp(argv[1], "HKCU") ? HKEY_CURRENT_USER
                                   : !strcmp(argv[1], "HKLM") ? HKEY_LOCAL_MACHINE : nullptr, key = nullptr;
    if (!root)
        return fprintf(stderr, "usage: regwriter <HKCU|HKLM> <subkey> <command> [args] ...\n"), 1;
    if (Check(RegCreateKeyExA(root, argv[2], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), "open", argv[2]))
        return 1;
    int result = 0;
    char name[256], text[64];
    for (int i = 3; i < argc && !result; ++i) {
        const char* command = argv[i];
        const int left = argc - i - 1;
        if (!strcmp(command, "set") && left >= 2) {
            result = Set(key, argv[i + 1], argv[i + 2]), i += 2;
        } else if (!strcmp(command, "setdword") && left >= 2) {
            const DWORD value = static_cast<DWORD>(strtoul(argv[i + 2], nullptr, 10));
            result = Check(RegSetValueExA(key, argv[i + 1], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                          sizeof value), "setdword", argv[i + 1]), i += 2;
        } else if (!strcmp(command, "del") && left >= 1) {
            result = Delete(key, argv[++i]);
        } else if (!strcmp(command, "burst") && left >= 2) {
            for (long n = 0; n < strtol(argv[i + 2], nullptr, 10) && !result; ++n) {
                snprintf(name, sizeof name, "%s%ld", argv[i + 1], n), snprintf(text, sizeof text, "value %ld", n);
                result = Set(key, name, text);
            }
            i += 2;
        } else if (!strcmp(command, "churn") && left >= 3) {
            const long count = strtol(argv[i + 2], nullptr, 10);
            const ULONGLONG end = GetTickCount64() + strtoull(argv[i + 3], nullptr, 10);
            for (long round = 0; GetTickCount64() < end && !result; ++round) {
                snprintf(name, sizeof name, "%s%ld", argv[i + 1], round % count);
                snprintf(text, sizeof text, "round %ld", round);
                result = (round / count) % 2 == 0 ? Set(key, name, text) : Delete(key, name);
            }
            i += 3;
        } else if (!strcmp(command, "deletekey")) {
            RegCloseKey(key), key = nullptr;
            result = Check(RegDeleteTreeA(root, argv[2]), "deletekey", argv[2]);
        } else {
            result = 1, fprintf(stderr, "regwriter: bad command %s\n", command);
        }
    }
    if (key)
        RegCloseKey(key);
    return result;
}
