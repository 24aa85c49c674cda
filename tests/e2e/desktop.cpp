#include "tests/e2e/desktop.h"

#include "tests/pages/registry_helpers.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

BOOL CALLBACK CollectIcon(HWND window, LPARAM parameter)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "__winex11_tray_icon")
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

// The Unix path of a Windows path, which the X tools want. Wine's own
// converter knows every drive; "Z:\\a" to "/a" is the fallback.
std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * ToUnix)(const WCHAR*);
    const ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH * 2] = L"";
    if (toUnix && MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2) > 0) {
        if (char* unix = toUnix(wide)) {
            std::string result = unix;
            HeapFree(GetProcessHeap(), 0, unix);
            return result;
        }
    }
    std::string unix = path.size() > 2 && path[1] == ':' ? path.substr(2) : path;
    for (char& c : unix)
        if (c == '\\')
            c = '/';
    return unix;
}

}  // namespace

std::vector<HWND> TrayIconWindows()
{
    std::vector<HWND> icons;
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    if (tray)
        EnumChildWindows(tray, CollectIcon, reinterpret_cast<LPARAM>(&icons));
    return icons;
}

HWND WaitForTrayIconOf(HWND owner, DWORD timeoutMs)
{
    // Wine's tray keeps each icon's record in the icon window's user data, in
    // the process that shows the tray: a list link (two pointers) and the
    // image come first, then the owner window.
    const DWORD start = GetTickCount();
    do {
        for (HWND icon : TrayIconWindows()) {
            const LONG_PTR record = GetWindowLongPtrA(icon, GWLP_USERDATA);
            DWORD trayProcessId = 0;
            GetWindowThreadProcessId(icon, &trayProcessId);
            HANDLE tray = OpenProcess(PROCESS_VM_READ, FALSE, trayProcessId);
            if (!record || !tray)
                continue;
            HWND iconOwner = nullptr;
            const BOOL read = ReadProcessMemory(tray, reinterpret_cast<const void*>(record + static_cast<LONG_PTR>(3 * sizeof(void*))),
                                                &iconOwner, sizeof iconOwner, nullptr);
            CloseHandle(tray);
            if (read && iconOwner == owner)
                return icon;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool TrayHasIcon(HWND owner, UINT id)
{
    // A modify that changes nothing succeeds only for an icon the area holds.
    NOTIFYICONDATAA data{};
    data.cbSize = static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE);
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = 0;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

int RunHostProgram(const std::string& commandLine)
{
    // Wine gives no handle to wait on for a Unix process: the shell leaves
    // the exit code in a file of the build tree when the program has ended.
    static int serial = 0;
    const std::string marker = kwtest::ExecutableFolder() + "host-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(++serial) + ".done";
    DeleteFileA(marker.c_str());
    std::string command = "/bin/sh -c \"" + commandLine + "; echo $? > '" + UnixPath(marker) + ".part'; mv '" +
                          UnixPath(marker) + ".part' '" + UnixPath(marker) + "'\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);

    const DWORD start = GetTickCount();
    while (GetFileAttributesA(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > 30000)
            return -1;
        Sleep(10);
    }
    int code = -1;
    if (FILE* file = std::fopen(marker.c_str(), "r")) {
        if (std::fscanf(file, "%d", &code) != 1)
            code = -1;
        std::fclose(file);
    }
    DeleteFileA(marker.c_str());
    return code;
}

bool ClickWithMouse(HWND window, int button)
{
    // Other tests' windows may lie over it for a while: a real click goes to
    // whatever is on top, so wait until the window itself is under the point.
    const DWORD start = GetTickCount();
    for (;;) {
        RECT rect{};
        if (!GetWindowRect(window, &rect))
            return false;
        const POINT middle = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        if (WindowFromPoint(middle) == window) {
            char command[128];
            std::snprintf(command, sizeof command, "/usr/bin/xdotool mousemove %ld %ld click %d", middle.x, middle.y,
                          button);
            return RunHostProgram(command) == 0;
        }
        if (GetTickCount() - start > 20000)
            return false;
        Sleep(50);
    }
}

bool SaveWindowScreenshot(HWND window, const std::string& name)
{
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return false;
    const std::string bin = kwtest::ExecutableFolder();
    const std::string folder = bin.substr(0, bin.find_last_of('\\', bin.size() - 2) + 1) + "screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    char command[1024];
    std::snprintf(command, sizeof command, "/usr/bin/import -window root -crop %ldx%ld+%ld+%ld +repage '%s/%s.png'",
                  rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top,
                  UnixPath(folder).c_str(), name.c_str());
    return RunHostProgram(command) == 0;
}
