// regwriter: changes registry values from a process of its own, as another
// program on the machine would. Built with the same bitness as the tests, so
// it sees the same registry view they do.
//
//   regwriter <HKCU|HKLM> <subkey> <command> [args] [<command> [args]] ...
//
//   set NAME TEXT           REG_SZ, stored with its terminator
//   setdword NAME NUMBER    REG_DWORD
//   del NAME                delete the value (a missing value is not an error)
//   burst PREFIX COUNT      set PREFIX0 .. PREFIX<COUNT-1> as fast as it can
//   churn PREFIX COUNT MS   for MS milliseconds set and delete PREFIX0 ..
//                           PREFIX<COUNT-1> in turn, with ever new data
//   stamp NAME COUNT PAUSE  COUNT times: put a QueryPerformanceCounter reading in the
//                           shared section "KeywardenStamp", set NAME to a new text,
//                           wait up to PAUSE ms for the event "KeywardenStampAck"
//   deletekey               delete the key with everything below it
//
// Exit code 0 when every command succeeded, 1 otherwise (with a message).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

int Fail(const char* what, const char* name, LONG status)
{
    fprintf(stderr, "regwriter: %s %s failed: %ld\n", what, name, status);
    return 1;
}

int SetText(HKEY key, const char* name, const char* text)
{
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(strlen(text) + 1));
    return status == ERROR_SUCCESS ? 0 : Fail("set", name, status);
}

int Delete(HKEY key, const char* name)
{
    LONG status = RegDeleteValueA(key, name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : Fail("del", name, status);
}

int Burst(HKEY key, const char* prefix, long count)
{
    char name[256], text[64];
    int result = 0;
    for (long i = 0; i < count && result == 0; ++i) {
        snprintf(name, sizeof name, "%s%ld", prefix, i);
        snprintf(text, sizeof text, "value %ld", i);
        result = SetText(key, name, text);
    }
    return result;
}

int Churn(HKEY key, const char* prefix, long count, long milliseconds)
{
    char name[256], text[64];
    ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    int result = 0;
    for (long round = 0; GetTickCount64() < end && result == 0; ++round) {
        snprintf(name, sizeof name, "%s%ld", prefix, round % count);
        snprintf(text, sizeof text, "round %ld", round);
        result = (round / count) % 2 == 0 ? SetText(key, name, text) : Delete(key, name);
    }
    return result;
}

int Stamp(HKEY key, const char* name, long count, long pause)
{
    HANDLE section = OpenFileMappingA(FILE_MAP_WRITE, FALSE, "KeywardenStamp");
    HANDLE ack = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, "KeywardenStampAck");
    int result = 1;
    LARGE_INTEGER* stamp = nullptr;
    if (!section || !ack) {
        fprintf(stderr, "regwriter: stamp objects missing\n");
        goto close_handles;
    }
    stamp = static_cast<LARGE_INTEGER*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(LARGE_INTEGER)));
    if (!stamp)
        goto close_handles;
    result = 0;
    for (long i = 0; i < count && result == 0; ++i) {
        char text[64];
        snprintf(text, sizeof text, "stamp %ld", i);
        QueryPerformanceCounter(stamp);
        result = SetText(key, name, text);
        WaitForSingleObject(ack, static_cast<DWORD>(pause));
    }
    UnmapViewOfFile(stamp);
close_handles:
    if (section)
        CloseHandle(section);
    if (ack)
        CloseHandle(ack);
    return result;
}

long Number(const char* text)
{
    return strtol(text, nullptr, 10);
}

}  // namespace

int main(int argc, char** argv)
{
    HKEY root = argc < 4 ? nullptr : strcmp(argv[1], "HKCU") == 0 ? HKEY_CURRENT_USER
                                   : strcmp(argv[1], "HKLM") == 0 ? HKEY_LOCAL_MACHINE : nullptr;
    if (!root) {
        fprintf(stderr, "usage: regwriter <HKCU|HKLM> <subkey> <command> [args] ...\n");
        return 1;
    }
    const char* subkey = argv[2];
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return Fail("open", subkey, status);
    int result = 0, i = 3;
    while (i < argc && result == 0) {
        const char* command = argv[i];
        int left = argc - i - 1;
        if (strcmp(command, "set") == 0 && left >= 2) {
            result = SetText(key, argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (strcmp(command, "setdword") == 0 && left >= 2) {
            DWORD value = static_cast<DWORD>(strtoul(argv[i + 2], nullptr, 10));
            status = RegSetValueExA(key, argv[i + 1], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                    sizeof value);
            result = status == ERROR_SUCCESS ? 0 : Fail("setdword", argv[i + 1], status);
            i += 3;
        } else if (strcmp(command, "del") == 0 && left >= 1) {
            result = Delete(key, argv[i + 1]);
            i += 2;
        } else if (strcmp(command, "burst") == 0 && left >= 2) {
            result = Burst(key, argv[i + 1], Number(argv[i + 2]));
            i += 3;
        } else if (strcmp(command, "churn") == 0 && left >= 3) {
            result = Churn(key, argv[i + 1], Number(argv[i + 2]), Number(argv[i + 3]));
            i += 4;
        } else if (strcmp(command, "stamp") == 0 && left >= 3) {
            result = Stamp(key, argv[i + 1], Number(argv[i + 2]), Number(argv[i + 3]));
            i += 4;
        } else if (strcmp(command, "deletekey") == 0) {
            RegCloseKey(key);
            key = nullptr;
            status = RegDeleteTreeA(root, subkey);
            result = status == ERROR_SUCCESS ? 0 : Fail("deletekey", subkey, status);
            i += 1;
        } else {
            fprintf(stderr, "regwriter: bad command %s\n", command);
            result = 1;
        }
    }
    if (key)
        RegCloseKey(key);
    return result;
}
