#include "app/accepted_state.h"

#include "app/settings.h"

#include <shlobj.h>

#include <cstdio>

namespace {

const char kStateFile[] = "baseline.dat";

}  // namespace

std::string AppDataFolder()
{
    // The variable first, so a test or an administrator can move it.
    char base[MAX_PATH + 1] = "";
    DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", base, sizeof base);
    if (length == 0 || length >= sizeof base) {
        if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK)
            return std::string();
    }
    std::string folder = base;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder.empty() ? folder : folder + "\\Keywarden";
}

std::string AppDataPath(const char* file)
{
    const std::string folder = AppDataFolder();
    if (folder.empty() || SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr) == ERROR_BAD_PATHNAME)
        return std::string();
    return folder + "\\" + file;
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
