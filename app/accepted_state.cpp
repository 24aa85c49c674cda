#include "app/accepted_state.h"

#include "app/settings.h"

#include <shlobj.h>

#include <cstdio>

namespace {

const char kStateFile[] = "baseline.dat";

}  // namespace

std::string AppDataPath(const char* file)
{
    char folder[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder) !=
        S_OK)
        return std::string();
    std::string path = folder;
    path += "\\Keywarden";
    CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\" + file;
}

int RestoreAcceptedState(RegWatchHandle* watch)
{
    if (!watch || ReadSetting(kSettingRememberBaseline) == 0)
        return 1;
    const std::string path = AppDataPath(kStateFile);
    if (path.empty())
        return 0;
    const DWORD result = RegWatch_LoadAccepted(watch, path.c_str());
    if (result != REGWATCH_OK && result != REGWATCH_E_NOT_FOUND) {
        // Kept for whoever wants to look at it; a new name for every start.
        SYSTEMTIME now;
        GetLocalTime(&now);
        char aside[64];
        std::snprintf(aside, sizeof aside, ".unusable-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                      now.wHour, now.wMinute, now.wSecond);
        MoveFileExA(path.c_str(), (path + aside).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    RegWatch_SetAcceptedFile(watch, path.c_str());
    // A missing file is as suspect as a broken one: the option was on, so the
    // last run saved it.
    return result == REGWATCH_OK ? 1 : 0;
}

void RememberAcceptedState(RegWatchHandle* watch, int on)
{
    const std::string path = AppDataPath(kStateFile);
    if (on) {
        if (!path.empty())
            RegWatch_SetAcceptedFile(watch, path.c_str());
        return;
    }
    RegWatch_SetAcceptedFile(watch, nullptr);
    if (!path.empty())
        DeleteFileA(path.c_str());
}
