#include "tests/support/test_support.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>

namespace testing_support {

std::string ModulePath(const char* sibling) {
    char path[MAX_PATH] = "";
    const std::string module(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return sibling ? module.substr(0, module.find_last_of('\\') + 1) + sibling : module;
}

HANDLE Launch(std::string command, const std::string& folder) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup, startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError =
        CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    PROCESS_INFORMATION created{};
    CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup, &created);
    CloseHandle(startup.hStdInput), CloseHandle(created.hThread);
    return created.hProcess;
}

long ExitCode(HANDLE process, DWORD timeoutMs) {
    DWORD code = 0;
    return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code) ? static_cast<long>(code) : -1;
}

static std::string Quoted(std::string text) {  // as a .reg file spells it
    for (size_t at = 0; (at = text.find_first_of("\\\"", at)) != std::string::npos; at += 2) text.insert(at, "\\");
    return '"' + text + '"';
}

// The commands become a .reg file (UTF-16, so any name passes) that the system's reg.exe imports into a view.
int RunWriter(const char* root, const char* subkey, const std::string& commands, int line, const char* file) {
    const std::string hive = root, view = hive.size() > 4 ? " /reg:" + hive.substr(4) : "",
                      key = std::string(hive == "HKCU" ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + subkey,
                      path = ModulePath("writer") + std::to_string(GetCurrentThreadId()) + ".reg";
    std::istringstream in(commands);
    std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n[" + key + "]\r\n", command, name, text, type;
    long code = 0;
    for (char dword[32]; !code && in >> command;) {
        if (command == "set" && in >> std::quoted(name) >> std::quoted(text))
            reg += Quoted(name) + "=" + Quoted(text) + "\r\n";
        else if (command == "setdword" && in >> name >> text)
            snprintf(dword, sizeof dword, "=dword:%08lx\r\n", strtoul(text.c_str(), nullptr, 10)), reg += Quoted(name) + dword;
        else if (command == "sethex" && in >> std::quoted(name) >> type >> text)  // TYPE in decimal, bytes as aabb..
            for (size_t at = (reg += Quoted(name) + "=hex(" + type + "):", 0); at < text.size(); at += 2)
                reg += text.substr(at, 2) + (at + 2 < text.size() ? "," : "\r\n");
        else if (command == "del" && in >> std::quoted(name))
            reg += Quoted(name) + "=-\r\n";
        else
            code = command == "deletekey" ? (reg += "[-" + key + "]\r\n", 0) : -2;
    }
    std::wstring wide(reg.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, reg.data(), static_cast<int>(reg.size()), &wide[0],
                                                        static_cast<int>(wide.size()))));
    std::ofstream(path, std::ios::binary).write("\xff\xfe", 2).write(reinterpret_cast<const char*>(wide.data()),
                                                                      static_cast<std::streamsize>(wide.size() * 2));
    const HANDLE writer = code ? nullptr : Launch("reg.exe import \"" + path + "\"" + view);
    code = writer ? ExitCode(writer, 60000) : code ? code : -1;
    if (CloseHandle(writer), DeleteFileA(path.c_str()), code != 0)
        ADD_FAILURE_AT(file, line) << "writing " << commands << ": " << code;
    return static_cast<int>(code);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); !done() && GetTickCount() - start < timeoutMs;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); DispatchMessageA(&message))
            TranslateMessage(&message);
    }
    return done();
}

std::string WindowText(HWND w) { char text[1024] = ""; return w && GetWindowTextA(w, text, sizeof text) ? text : ""; }
std::string ClassName(HWND w) { char name[256] = ""; return GetClassNameA(w, name, sizeof name) ? name : ""; }

static bool CopyKey(HKEY fromRoot, const std::string& from, HKEY toRoot, const std::string& to) {  // false: no from
    HKEY source = nullptr, target = nullptr;
    const bool opened = RegOpenKeyExA(fromRoot, from.c_str(), 0, KEY_READ, &source) == ERROR_SUCCESS;
    if (opened && RegCreateKeyA(toRoot, to.c_str(), &target) == ERROR_SUCCESS) RegCopyTreeA(source, nullptr, target);
    return RegCloseKey(source), RegCloseKey(target), opened;
}

const std::pair<HKEY, std::string> kSaved[] = {{HKEY_CURRENT_USER, "Software\\Velmorra"}, {HKEY_CURRENT_USER, kRunKey},
    {HKEY_CURRENT_USER, kRunKey + std::string("Once")}, {HKEY_CURRENT_USER, kRunKey + std::string("Services")},
    {HKEY_LOCAL_MACHINE, kRunKey}, {HKEY_LOCAL_MACHINE, kRunKey + std::string("Once")},
    {HKEY_LOCAL_MACHINE, kRunKey + std::string("OnceEx")}, {HKEY_LOCAL_MACHINE, kRunKey + std::string("Services")}};

RegistryTest::RegistryTest() : copies("Software\\KeywardenTestCopy" + std::to_string(GetCurrentProcessId()) + "\\") {
    for (size_t i = 0; i < std::size(kSaved); ++i)
        existed.push_back(CopyKey(kSaved[i].first, kSaved[i].second, HKEY_CURRENT_USER, copies + std::to_string(i)));
}

RegistryTest::~RegistryTest() {
    for (size_t i = 0; i < std::size(kSaved); ++i) {
        RegDeleteTreeA(kSaved[i].first, kSaved[i].second.c_str());
        if (existed[i]) CopyKey(HKEY_CURRENT_USER, copies + std::to_string(i), kSaved[i].first, kSaved[i].second);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, copies.c_str());
}

void RegistryTest::Put(HKEY root, const char* subkey, const char* name, const char* text, int line, const char* file) {
    const LONG status = text ? RegSetKeyValueA(root, subkey, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1))
                             : RegDeleteKeyValueA(root, subkey, name);
    if (status != ERROR_SUCCESS && (text || status != ERROR_FILE_NOT_FOUND))
        ADD_FAILURE_AT(file, line) << (text ? "setting " : "deleting ") << name << ": error " << status;
}

bool RegistryTest::Exists(HKEY root, const char* subkey, const char* name) { return !RegGetValueA(root, subkey, name, RRF_RT_ANY, 0, 0, 0); }


std::map<UINT_PTR, std::function<void()>>& ThreadTimer::Timers() { static thread_local std::map<UINT_PTR, std::function<void()>> timers; return timers; }

void CALLBACK ThreadTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (std::function<void()> action = Timers()[id]; Timers().erase(id) && action) action();
}

LRESULT CALLBACK DialogAnswerer::HookProc(int code, WPARAM wParam, LPARAM lParam) {
    const HWND dialog = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && current && ClassName(dialog) == "#32770" && !std::count(current->seen.begin(), current->seen.end(), dialog))
        current->seen.push_back(dialog), current->pending.emplace_back(10, [act = current->action, dialog] { act(dialog); });
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace testing_support
