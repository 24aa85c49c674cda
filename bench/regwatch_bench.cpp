// regwatch_bench: figures for the watch engine, printed, never judged.
//
//   regwatch_bench [compare] [idle] [latency] [journal]   (the first three when none is named)
//
//   compare  time of one RegWatch_CompareAll after a write that touches no
//            watched key, with 10, 100, 1,000 and 10,000 values in one
//            watched key, reading every key and skipping unwritten ones
//   idle     CPU time of this process over 10 s with the watch thread armed
//   latency  from another process's RegSetValueExA on a watched value to the
//            callback, over 600 changes: p50, p95, p99, max
//   journal  latency with the journal's sink registered, writing to
//            %TEMP%\KeywardenBenchJournal
//
// It writes only values named KeywardenBench* under the user's RunServices
// and Run keys and removes them again.
#include "app/journal.h"
#include "engine/regwatch_internal.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kRunServicesKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kStampValue[] = "KeywardenBenchStamp";
// Below CurrentVersion, where a notification covers it, but not watched.
const char kUnrelatedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\KeywardenBenchUnrelated";
const int kLatencySamples = 600;

double Frequency()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

double Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / Frequency();
}

void BenchName(char* name, size_t size, int i)
{
    snprintf(name, size, "KeywardenBench%05d", i);
}

bool WriteValues(HKEY key, int count)
{
    for (int i = 0; i < count; ++i) {
        char name[64];
        char data[96];
        BenchName(name, sizeof name, i);
        snprintf(data, sizeof data, "C:\\Program Files\\Bench\\program%05d.exe /background", i);
        if (RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                           static_cast<DWORD>(strlen(data) + 1)) != ERROR_SUCCESS)
            return false;
    }
    return true;
}

void DeleteValues(HKEY key, int count)
{
    for (int i = 0; i < count; ++i) {
        char name[64];
        BenchName(name, sizeof name, i);
        RegDeleteValueA(key, name);
    }
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Drops what the comparison knows of every key, so that it reads them all as
// it did before it could skip an unwritten key.
void ForgetReadings(RegWatchHandle* watch)
{
    FILETIME zero = {};
    for (WatchedKey* key = WatchedKey_First(&watch->watched); key; key = WatchedKey_Next(key))
        key->readAt = zero;
}

// One comparison after a write below CurrentVersion that touches no watched
// key, as a notification for an unrelated write causes.
double TimeUnrelatedCompare(RegWatchHandle* watch, HKEY unrelated, bool full)
{
    DWORD tick = GetTickCount();
    RegSetValueExA(unrelated, "Tick", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&tick), sizeof tick);
    WaitForSingleObject(watch->mutex, INFINITE);
    if (full)
        ForgetReadings(watch);
    double start = Now();
    RegWatch_CompareAll(watch);
    double elapsed = Now() - start;
    ReleaseMutex(watch->mutex);
    return elapsed;
}

int BenchCompare(RegWatchHandle* watch)
{
    HKEY key = nullptr;
    HKEY unrelated = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunServicesKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS ||
        RegCreateKeyExA(HKEY_CURRENT_USER, kUnrelatedKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &unrelated,
                        nullptr) != ERROR_SUCCESS) {
        fprintf(stderr, "compare: cannot open the keys\n");
        return 1;
    }
    printf("RegWatch_CompareAll after a write that touches no watched key, values in one watched key\n"
           "(median of runs; full: every key read as before, skip: unwritten keys not read again):\n");
    int written = 0;
    int result = 0;
    for (int count : {10, 100, 1000, 10000}) {
        if (!WriteValues(key, count)) {
            fprintf(stderr, "compare: cannot write %d values\n", count);
            result = 1;
            break;
        }
        written = count;
        Sleep(300);  // until the keys count as settled
        RegWatch_Rebaseline(watch);
        double median[2] = {};
        size_t runCount[2] = {};
        for (int full = 1; full >= 0; --full) {
            std::vector<double> runs;
            double spent = 0;
            // At least three runs, more while they are cheap.
            while (runs.size() < 3 || (spent < 1.0 && runs.size() < 200)) {
                runs.push_back(TimeUnrelatedCompare(watch, unrelated, full != 0));
                spent += runs.back();
            }
            median[full] = Median(runs);
            runCount[full] = runs.size();
        }
        printf("  %6d values: full %10.3f ms (%zu runs)   skip %8.3f ms (%zu runs)\n", count, median[1] * 1000.0,
               runCount[1], median[0] * 1000.0, runCount[0]);
    }
    DeleteValues(key, written);
    RegCloseKey(key);
    RegCloseKey(unrelated);
    RegDeleteKeyA(HKEY_CURRENT_USER, kUnrelatedKey);
    RegWatch_Rebaseline(watch);
    return result;
}

double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return static_cast<double>(k.QuadPart + u.QuadPart) / 1e7;
}

void BenchIdle()
{
    Sleep(500);  // let the thread's first pass finish
    double before = ProcessCpuSeconds();
    Sleep(10000);
    double used = ProcessCpuSeconds() - before;
    printf("idle: %.1f ms of CPU time in 10 s with the watch thread armed\n", used * 1000.0);
}

// Shared with the writer: it stores its QueryPerformanceCounter reading
// just before each write and waits for the acknowledgement.
struct LatencyProbe {
    volatile LONGLONG* stamp;
    HANDLE ack;
    LONGLONG lastStamp;
    CRITICAL_SECTION lock;  // samples: filled on the watch thread
    std::vector<double> samples;
};
LatencyProbe gProbe;

int OnChange(void*)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    LONGLONG stamp = *gProbe.stamp;
    // A comparison that a write did not cause gets no sample.
    if (stamp != 0 && stamp != gProbe.lastStamp) {
        gProbe.lastStamp = stamp;
        EnterCriticalSection(&gProbe.lock);
        gProbe.samples.push_back(static_cast<double>(now.QuadPart - stamp) / Frequency());
        LeaveCriticalSection(&gProbe.lock);
        SetEvent(gProbe.ack);
    }
    return 0;
}

std::string WriterPath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string exe(path, length);
    return exe.substr(0, exe.find_last_of("\\/") + 1) + "stamp_writer.exe";
}

// What the sink itself adds to the latency, which the thread pays before
// the callback: a figure the noise of the end-to-end one hides.
std::vector<double> gSinkSamples;

void JournalSink(void*, const RegWatchEvent* event)
{
    const double start = Now();
    Journal_EngineEvent(event);
    const double spent = Now() - start;
    EnterCriticalSection(&gProbe.lock);
    gSinkSamples.push_back(spent);
    LeaveCriticalSection(&gProbe.lock);
}

void PrintQuantiles(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[std::min(samples.size() - 1, static_cast<size_t>(q * static_cast<double>(samples.size())))]; };
    printf("  p50 %.3f ms  p95 %.3f ms  p99 %.3f ms  max %.3f ms\n", at(0.50) * 1000.0, at(0.95) * 1000.0,
           at(0.99) * 1000.0, samples.back() * 1000.0);
}

int BenchLatency(bool journal)
{
    HANDLE section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONGLONG),
                                        "KeywardenStamp");
    gProbe.ack = CreateEventA(nullptr, FALSE, FALSE, "KeywardenStampAck");
    if (!section || !gProbe.ack)
        return 1;
    gProbe.stamp = static_cast<volatile LONGLONG*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(LONGLONG)));
    if (!gProbe.stamp)
        return 1;

    std::string exe = WriterPath();
    std::string commandLine = "\"" + exe + "\" " + kStampValue + " " + std::to_string(kLatencySamples) + " 1000";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        fprintf(stderr, "latency: cannot start %s\n", exe.c_str());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EnterCriticalSection(&gProbe.lock);
    std::vector<double> samples = gProbe.samples;
    std::vector<double> sinkSamples = gSinkSamples;
    LeaveCriticalSection(&gProbe.lock);
    if (samples.empty()) {
        fprintf(stderr, "latency: no callbacks\n");
        return 1;
    }
    printf("latency, another process's RegSetValueExA to the callback%s, %zu changes:\n",
           journal ? " with the journal's sink" : "", samples.size());
    PrintQuantiles(samples);
    if (!sinkSamples.empty()) {
        printf("time in the journal's sink, %zu events:\n", sinkSamples.size());
        PrintQuantiles(sinkSamples);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    bool compare = argc < 2, idle = argc < 2, latency = argc < 2, journal = false;
    for (int i = 1; i < argc; ++i) {
        compare = compare || strcmp(argv[i], "compare") == 0;
        idle = idle || strcmp(argv[i], "idle") == 0;
        latency = latency || strcmp(argv[i], "latency") == 0;
        journal = journal || strcmp(argv[i], "journal") == 0;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    InitializeCriticalSection(&gProbe.lock);

    RegWatchHandle* watch = nullptr;
    if (RegWatch_Create(&watch) != REGWATCH_OK) {
        fprintf(stderr, "RegWatch_Create failed\n");
        return 1;
    }
    int result = 0;
    // Before the thread starts, so that its comparisons do not share the CPU.
    if (compare)
        result |= BenchCompare(watch);
    if (!idle && !latency && !journal)
        return result;
    if (journal) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        if (!theJournal.Open(std::string(temp) + "KeywardenBenchJournal")) {
            fprintf(stderr, "%s\n", theJournal.Problem().c_str());
            return 1;
        }
        RegWatch_SetEventSink(watch, nullptr, JournalSink);
    }
    if (RegWatch_StartThread(watch, nullptr, OnChange) != REGWATCH_OK) {
        fprintf(stderr, "RegWatch_StartThread failed\n");
        return 1;
    }
    if (idle)
        BenchIdle();
    if (latency || journal)
        result |= BenchLatency(journal);
    RegWatch_SetEventSink(watch, nullptr, nullptr);
    theJournal.Close();
    return result;
}
