#include "ui/htmlhelp.h"

#include <shlwapi.h>
#include <stdio.h>
#include <string.h>

HMODULE htmlHelpModule = nullptr;
HtmlHelpEntry htmlHelpEntry = nullptr;
int htmlHelpFailed = 0;
HMODULE (WINAPI* htmlHelpLoadLibrary)(LPCSTR) = nullptr;

namespace {

const char kHtmlHelpServerKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
const WORD kHtmlHelpOrdinal = 14;

HMODULE LoadHelpLibrary(const char* path)
{
    return htmlHelpLoadLibrary ? htmlHelpLoadLibrary(path) : LoadLibraryA(path);
}

// Only full paths are loaded: a bare name would be looked up through the
// search path, which begins with the application's and the current folder.
HMODULE LoadHelpLibraryByFullPath(const char* path)
{
    if (path[0] == '\0' || PathIsRelativeA(path))
        return nullptr;
    return LoadHelpLibrary(path);
}

HMODULE LoadSystemHelpLibrary()
{
    char path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    snprintf(path + length, sizeof path - length, "\\hhctrl.ocx");
    return LoadHelpLibraryByFullPath(path);
}

}  // namespace

int FindHtmlHelpLibrary(char* buffer, DWORD size)
{
    if (size == 0)
        return 0;
    buffer[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    // The stored text need not end in a zero: keep a byte back for one.
    DWORD length = size - 1;
    LONG status = RegQueryValueExA(key, nullptr, nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer), &length);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || length > size - 1) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[length] = '\0';
    return 1;
}

HWND CallHtmlHelp(HWND owner, const char* file, UINT command, DWORD_PTR data)
{
    if (!htmlHelpModule) {
        if (htmlHelpFailed)
            return nullptr;
        char path[MAX_PATH];
        if (FindHtmlHelpLibrary(path, sizeof path))
            htmlHelpModule = LoadHelpLibraryByFullPath(path);
        if (!htmlHelpModule)
            htmlHelpModule = LoadSystemHelpLibrary();
        if (!htmlHelpModule) {
            htmlHelpFailed = 1;
            return nullptr;
        }
    }
    if (!htmlHelpEntry) {
        FARPROC entry = GetProcAddress(htmlHelpModule, MAKEINTRESOURCEA(kHtmlHelpOrdinal));
        if (!entry) {
            htmlHelpFailed = 1;
            return nullptr;
        }
        // Through a generic function pointer: GetProcAddress's own type says
        // nothing about the entry's signature.
        htmlHelpEntry = reinterpret_cast<HtmlHelpEntry>(reinterpret_cast<void (*)()>(entry));
    }
    return htmlHelpEntry(owner, file, command, data);
}
