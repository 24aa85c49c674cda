// ui_bench: figures for the program's window, taken from outside as another
// program sees it. Prints figures, never judges them.
//
//   ui_bench [--exe PATH] [--cap SECONDS] [--idle-seconds SECONDS]
//            [latency] [start] [storm] [idle]          (all four when none is named)
//
//   latency  a write to a watched value until the new data shows in the
//            program's list: 100 changes with 12 and with 1,000 values
//   start    from starting the program until its list is filled: 1,000 and
//            10,000 values
//   storm    10,000 writes over 100 values of one key: the longest wait for
//            WM_NULL during the storm, and when the list equals the registry
//   idle     CPU time of the program while unrelated keys below CurrentVersion
//            are written 100 times a second and one value stays Deleted
//
// --exe names the keywarden.exe to measure (default: the one beside this
// program), so one build of the bench measures an older program too. Every
// wait is cut at --cap seconds (default 60) and reported as cut.
//
// The values go into the current user's Run key; the key and the program's
// settings are copied aside first and put back at the end.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "resources/resource.h"

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSettingsKey[] = "Software\\Velmorra\\Keywarden\\Settings";
const char kSavedKey[] = "Software\\KeywardenBenchSaved";
const char kNoiseKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\KeywardenBenchNoise";

double gCap = 60.0;
double gIdleSeconds = 60.0;
std::string gExe;

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string BenchName(int i)
{
    char name[32];
    snprintf(name, sizeof name, "KeywardenBench%05d", i);
    return name;
}

LONG SetText(HKEY root, const char* subkey, const std::string& name, const std::string& text)
{
    return RegSetKeyValueA(root, subkey, name.c_str(), REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

// Copies the Run key and the settings aside, and puts them back when it goes.
class SavedRegistry {
public:
    SavedRegistry()
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kSavedKey);
        for (int i = 0; i < 2; ++i)
            existed[i] = Copy(HKEY_CURRENT_USER, kKeys[i], Saved(i));
    }
    ~SavedRegistry()
    {
        for (int i = 0; i < 2; ++i) {
            RegDeleteTreeA(HKEY_CURRENT_USER, kKeys[i]);
            if (existed[i])
                Copy(HKEY_CURRENT_USER, Saved(i).c_str(), kKeys[i]);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, kSavedKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, kNoiseKey);
    }
    SavedRegistry(const SavedRegistry&) = delete;
    SavedRegistry& operator=(const SavedRegistry&) = delete;

private:
    static std::string Saved(int i) { return std::string(kSavedKey) + "\\" + static_cast<char>('0' + i); }
    static bool Copy(HKEY root, const char* from, const std::string& to)
    {
        HKEY source = nullptr, target = nullptr;
        const bool opened = RegOpenKeyExA(root, from, 0, KEY_READ, &source) == ERROR_SUCCESS;
        if (opened && RegCreateKeyA(root, to.c_str(), &target) == ERROR_SUCCESS)
            RegCopyTreeA(source, nullptr, target);
        if (source)
            RegCloseKey(source);
        if (target)
            RegCloseKey(target);
        return opened;
    }
    const char* const kKeys[2] = {kRunKey, kSettingsKey};
    bool existed[2] = {};
};

// The Run key holds exactly count bench values, and no alert box will block.
bool PrepareValues(int count)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kRunKey);
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, kRunKey, &key) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        char data[96];
        snprintf(data, sizeof data, "C:\\Program Files\\Bench\\program%05d.exe /background", i);
        ok = RegSetValueExA(key, BenchName(i).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                            static_cast<DWORD>(strlen(data) + 1)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    const DWORD off = 0;
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "PopUpAlert", REG_DWORD, &off, sizeof off);
    return ok;
}

// Values of the watched keys other than the user's Run key: rows the list
// shows besides the bench's own.
int OtherWatchedValues()
{
    const char* const names[] = {"RunOnce", "RunServices", "RunOnceEx", "Run"};
    int total = 0;
    for (REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}})
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (const char* name : names) {
                if (root == HKEY_CURRENT_USER && (view == KEY_WOW64_32KEY || !strcmp(name, "Run") ||
                                                  !strcmp(name, "RunOnceEx")))
                    continue;
                const std::string subkey = std::string("Software\\Microsoft\\Windows\\CurrentVersion\\") + name;
                HKEY key = nullptr;
                DWORD values = 0;
                if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
                    continue;
                if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                     nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                    total += static_cast<int>(values);
                RegCloseKey(key);
            }
    return total;
}

// The program under test, started in its own folder, and its list read
// across the process boundary.
class Program {
public:
    bool Start()
    {
        const std::string folder = gExe.substr(0, gExe.find_last_of('\\') + 1);
        std::string command = "\"" + gExe + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created{};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                            &created))
            return false;
        process = created.hProcess;
        processId = created.dwProcessId;
        CloseHandle(created.hThread);
        remote = static_cast<char*>(
            VirtualAllocEx(process, nullptr, 1 << 16, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        for (double start = Now(); !list && Now() - start < gCap; Sleep(5))
            FindList();
        return list != nullptr;
    }
    ~Program()
    {
        if (!process)
            return;
        PostMessageA(main, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process, 10000) == WAIT_TIMEOUT)
            TerminateProcess(process, 99);
        CloseHandle(process);
    }

    // -1 while the window does not answer within the cap.
    int Count()
    {
        DWORD_PTR count = 0;
        if (!SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, static_cast<UINT>(gCap * 1000), &count))
            return -1;
        return static_cast<int>(count);
    }
    std::string Text(int row, int column)
    {
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = remote + sizeof item;
        item.cchTextMax = 1 << 12;
        WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        DWORD_PTR length = 0;
        SendMessageTimeoutA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                            SMTO_NORMAL, static_cast<UINT>(gCap * 1000), &length);
        std::string text(length, '\0');
        if (length)
            ReadProcessMemory(process, item.pszText, &text[0], length, nullptr);
        return text;
    }
    int RowOf(const std::string& name)
    {
        for (int row = Count() - 1; row >= 0; --row)
            if (Text(row, 1) == name)
                return row;
        return -1;
    }
    // Seconds from now until the list has that many rows; negative when cut.
    double WaitForRows(int rows)
    {
        const double start = Now();
        while (Count() != rows) {
            if (Now() - start >= gCap)
                return -1;
            Sleep(2);
        }
        return Now() - start;
    }

    HANDLE process = nullptr;
    DWORD processId = 0;
    HWND main = nullptr;
    HWND list = nullptr;

private:
    void FindList()
    {
        for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, "#32770", "Keywarden"));) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            HWND tabs = GetDlgItem(window, IDC_TABS);
            if (owner != processId || !tabs)
                continue;
            for (HWND page = nullptr; (page = FindWindowExA(tabs, page, "#32770", nullptr));)
                if ((list = GetDlgItem(page, IDC_VALUE_LIST)))
                    break;
            main = window;
        }
    }
    char* remote = nullptr;
};

double Percentile(std::vector<double> samples, double q)
{
    if (samples.empty())
        return -1;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, static_cast<size_t>(q * static_cast<double>(samples.size())))];
}

int BenchLatency(int values)
{
    if (!PrepareValues(values))
        return 1;
    Program program;
    const int rows = values + OtherWatchedValues();
    if (!program.Start() || program.WaitForRows(rows) < 0) {
        printf("latency, %5d values: the list was not filled within %.0f s\n", values, gCap);
        return 1;
    }
    const std::string target = BenchName(values / 2);
    const int row = program.RowOf(target);
    std::vector<double> samples;
    int cut = 0;
    double spent = 0;
    for (int change = 0; change < 100 && spent < gCap; ++change) {
        const std::string data = "latency " + std::to_string(change);
        const double start = Now();
        SetText(HKEY_CURRENT_USER, kRunKey, target, data);
        while (program.Text(row, 2) != data && Now() - start < gCap)
            Sleep(1);
        const double elapsed = Now() - start;
        spent += elapsed;
        if (elapsed >= gCap)
            ++cut;
        samples.push_back(elapsed);
        Sleep(20);
    }
    printf("latency, %5d values, %zu changes%s: p50 %.1f ms  p95 %.1f ms  p99 %.1f ms  max %.1f ms", values,
           samples.size(), samples.size() < 100 ? " (cut)" : "", Percentile(samples, 0.5) * 1e3,
           Percentile(samples, 0.95) * 1e3, Percentile(samples, 0.99) * 1e3, Percentile(samples, 1.0) * 1e3);
    printf(cut ? "  (%d cut at %.0f s)\n" : "\n", cut, gCap);
    return 0;
}

int BenchStart(int values)
{
    if (!PrepareValues(values))
        return 1;
    const int rows = values + OtherWatchedValues();
    const double start = Now();
    Program program;
    if (!program.Start()) {
        printf("start, %5d values: no window within %.0f s\n", values, gCap);
        return 1;
    }
    const double window = Now() - start;
    const double filled = program.WaitForRows(rows);
    if (filled < 0)
        printf("start, %5d values: window after %.2f s, list not filled after %.0f s (cut)\n", values, window,
               window + gCap);
    else
        printf("start, %5d values: window after %.2f s, list filled after %.2f s\n", values, window, window + filled);
    return 0;
}

// The longest round trip of WM_NULL to the window while it runs.
class Prober {
public:
    explicit Prober(HWND window)
        : thread([this, window] {
              while (!stop) {
                  const double start = Now();
                  DWORD_PTR ignored = 0;
                  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(gCap * 1000), &ignored);
                  const double elapsed = Now() - start;
                  double seen = longest.load();
                  while (elapsed > seen && !longest.compare_exchange_weak(seen, elapsed)) {}
                  Sleep(5);
              }
          })
    {
    }
    ~Prober() { Stop(); }
    double Stop()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        return longest;
    }

private:
    std::atomic<bool> stop{false};
    std::atomic<double> longest{0};
    std::thread thread;
};

int BenchStorm()
{
    const int values = 100, writes = 10000;
    if (!PrepareValues(values))
        return 1;
    Program program;
    if (!program.Start() || program.WaitForRows(values + OtherWatchedValues()) < 0) {
        printf("storm: the list was not filled within %.0f s\n", gCap);
        return 1;
    }
    std::vector<int> rows(values);
    for (int i = 0; i < values; ++i)
        rows[static_cast<size_t>(i)] = program.RowOf(BenchName(i));

    Prober prober(program.main);
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key);
    const double start = Now();
    for (int i = 0; i < writes; ++i) {
        const std::string data = "storm " + std::to_string(i);
        RegSetValueExA(key, BenchName(i % values).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>(data.size() + 1));
    }
    const double stormEnd = Now();
    RegCloseKey(key);

    auto listIsRight = [&] {
        for (int i = 0; i < values; ++i)
            if (program.Text(rows[static_cast<size_t>(i)], 2) != "storm " + std::to_string(writes - values + i))
                return false;
        return true;
    };
    while (!listIsRight() && Now() - stormEnd < gCap)
        Sleep(10);
    const double right = Now() - stormEnd;
    const double longest = prober.Stop();
    printf("storm, %d writes over %d values in %.2f s: longest WM_NULL wait %.0f ms; list right %.2f s after the "
           "storm%s\n",
           writes, values, stormEnd - start, longest * 1e3, right, right >= gCap ? " (cut)" : "");
    return 0;
}

// The Unix process of the program: Wine's /proc, through drive Z:, names
// the program's path on its command line and this prefix in its environment.
int UnixPidOf(DWORD windowsPid)
{
    char prefix[MAX_PATH] = "";
    GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix);
    std::string exeName = gExe.substr(gExe.find_last_of('\\') + 1);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    int best = 0;
    unsigned long long bestStart = 0;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    auto readAll = [](const std::string& path) {
        std::string text;
        FILE* file = fopen(path.c_str(), "rb");
        if (!file)
            return text;
        char buffer[4096];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, got);
        fclose(file);
        return text;
    };
    do {
        const int pid = atoi(found.cFileName);
        if (pid <= 0)
            continue;
        const std::string dir = std::string("Z:\\proc\\") + found.cFileName + "\\";
        const std::string command = readAll(dir + "cmdline");
        if (command.find(exeName) == std::string::npos)
            continue;
        const std::string environment = readAll(dir + "environ");
        if (*prefix && environment.find(std::string("WINEPREFIX=") + prefix + '\0') == std::string::npos)
            continue;
        const std::string stat = readAll(dir + "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        // Field 22, the start time, counted from the state (field 3).
        const char* field = stat.c_str() + close + 2;
        for (int i = 3; i < 22 && field; ++i)
            field = strchr(field + 1, ' ');
        const unsigned long long started = field ? strtoull(field, nullptr, 10) : 0;
        if (started >= bestStart) {
            bestStart = started;
            best = pid;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    (void)windowsPid;
    return best;
}

// utime + stime from a /proc stat file, in seconds (100 ticks a second).
double CpuSeconds(const std::string& statPath)
{
    FILE* file = fopen(statPath.c_str(), "rb");
    if (!file)
        return -1;
    char text[1024] = "";
    const size_t got = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[got] = 0;
    const char* field = strrchr(text, ')');
    for (int i = 2; i < 14 && field; ++i)
        field = strchr(field + 1, ' ');
    if (!field)
        return -1;
    char* end = nullptr;
    const double user = static_cast<double>(strtoull(field + 1, &end, 10));
    const double system = static_cast<double>(strtoull(end, nullptr, 10));
    return (user + system) / 100.0;
}

// CPU seconds of each thread of a Unix process, by thread id; 0 is the whole process.
std::vector<std::pair<int, double>> ThreadCpuSeconds(int pid)
{
    const std::string base = "Z:\\proc\\" + std::to_string(pid);
    std::vector<std::pair<int, double>> seconds{{0, CpuSeconds(base + "\\stat")}};
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((base + "\\task\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return seconds;
    do {
        const int thread = atoi(found.cFileName);
        if (thread > 0)
            seconds.emplace_back(thread, CpuSeconds(base + "\\task\\" + found.cFileName + "\\stat"));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return seconds;
}

int BenchIdle()
{
    const int values = 12;
    if (!PrepareValues(values))
        return 1;
    Program program;
    if (!program.Start() || program.WaitForRows(values + OtherWatchedValues()) < 0) {
        printf("idle: the list was not filled within %.0f s\n", gCap);
        return 1;
    }
    const std::string gone = BenchName(5);
    const int row = program.RowOf(gone);
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kRunKey, gone.c_str());
    for (const double start = Now(); program.Text(row, 0) != "Deleted" && Now() - start < gCap;)
        Sleep(10);
    Sleep(500);
    const int pid = UnixPidOf(program.processId);
    const std::vector<std::pair<int, double>> before = ThreadCpuSeconds(pid);
    HKEY noise = nullptr;
    RegCreateKeyA(HKEY_CURRENT_USER, kNoiseKey, &noise);
    const double start = Now();
    int written = 0;
    for (double now = start; now - start < gIdleSeconds; now = Now()) {
        const int due = static_cast<int>((now - start) * 100);
        for (; written <= due; ++written) {
            const DWORD data = static_cast<DWORD>(written);
            RegSetValueExA(noise, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
        }
        Sleep(5);
    }
    RegCloseKey(noise);
    std::vector<std::pair<int, double>> used = ThreadCpuSeconds(pid);
    for (auto& thread : used)
        for (const auto& earlier : before)
            if (earlier.first == thread.first)
                thread.second -= earlier.second;
    printf("idle, %d unrelated writes in %.0f s with one value Deleted: the program (Unix pid %d) used %.2f s of "
           "CPU; by thread:",
           written, gIdleSeconds, pid, used.empty() ? -1.0 : used[0].second);
    for (size_t i = 1; i < used.size(); ++i)
        if (used[i].second >= 0.01)
            printf(" %d: %.2f s", used[i].first, used[i].second);
    printf("\n");
    return 0;
}

std::string Beside(const char* name)
{
    char path[MAX_PATH];
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of('\\') + 1) + name;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    gExe = Beside("keywarden.exe");
    std::vector<std::string> runs;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--exe") && i + 1 < argc)
            gExe = argv[++i];
        else if (!strcmp(argv[i], "--cap") && i + 1 < argc)
            gCap = atof(argv[++i]);
        else if (!strcmp(argv[i], "--idle-seconds") && i + 1 < argc)
            gIdleSeconds = atof(argv[++i]);
        else
            runs.push_back(argv[i]);
    }
    std::replace(gExe.begin(), gExe.end(), '/', '\\');
    if (runs.empty())
        runs = {"latency", "start", "storm", "idle"};
    printf("program: %s\n", gExe.c_str());

    SavedRegistry saved;
    int result = 0;
    for (const std::string& run : runs) {
        if (run == "latency")
            result |= BenchLatency(12) | BenchLatency(1000);
        else if (run == "start")
            result |= BenchStart(1000) | BenchStart(10000);
        else if (run == "storm")
            result |= BenchStorm();
        else if (run == "idle")
            result |= BenchIdle();
        else
            fprintf(stderr, "ui_bench: unknown run %s\n", run.c_str()), result = 1;
    }
    return result;
}
