// stamp_writer: the latency benchmark's other process.
//
//   stamp_writer NAME COUNT PAUSE
//
// COUNT times: puts a QueryPerformanceCounter reading in the shared section
// "KeywardenStamp", sets HKCU Run's value NAME to a new text and waits up to
// PAUSE ms for the event "KeywardenStampAck". Then deletes NAME.
// Exit code 0 when every write succeeded, 1 otherwise.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: stamp_writer NAME COUNT PAUSE\n");
        return 1;
    }
    const char* name = argv[1];
    const long count = strtol(argv[2], nullptr, 10);
    const DWORD pause = static_cast<DWORD>(strtoul(argv[3], nullptr, 10));
    HANDLE section = OpenFileMappingA(FILE_MAP_WRITE, FALSE, "KeywardenStamp");
    HANDLE ack = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, "KeywardenStampAck");
    HKEY key = nullptr;
    LARGE_INTEGER* stamp = nullptr;
    int result = 1;
    if (!section || !ack) {
        fprintf(stderr, "stamp_writer: stamp objects missing\n");
        goto close_handles;
    }
    stamp = static_cast<LARGE_INTEGER*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(LARGE_INTEGER)));
    if (!stamp)
        goto close_handles;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        goto unmap;
    result = 0;
    for (long i = 0; i < count && result == 0; ++i) {
        char text[64];
        snprintf(text, sizeof text, "stamp %ld", i);
        QueryPerformanceCounter(stamp);
        result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>(strlen(text) + 1)) == ERROR_SUCCESS ? 0 : 1;
        WaitForSingleObject(ack, pause);
    }
    RegDeleteValueA(key, name);
    RegCloseKey(key);
unmap:
    UnmapViewOfFile(stamp);
close_handles:
    if (section)
        CloseHandle(section);
    if (ack)
        CloseHandle(ack);
    return result;
}
