#include "app/journal.h"

#include "app/accepted_state.h"

#include "app/json.h"
#include "app/record_text.h"
#include "app/resync_probe.h"
#include "app/settings.h"
#include "keywarden_messages.h"

#include <shlobj.h>

#include <utility>

Journal theJournal;

namespace {

// Past this many lines waiting, new ones are left out rather than let a
// stalled disk take all memory.
const size_t kMaxQueued = 10000;
// An event log string holds at most 31,839 characters; a longer line goes
// there clipped, and every character outside ASCII becomes six.
const size_t kEventLogWhole = 8000;
const size_t kEventLogString = 256;
// After a line the writer looks for more every kPollMs for a second before it
// sleeps until woken: waking it costs the watch thread more than the rest of
// the sink, and changes come in bursts.
const DWORD kPollMs = 10;
const DWORD kLingerPolls = 100;

std::string SystemText(DWORD error)
{
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ' ||
                          text[length - 1] == '.'))
        --length;
    return length ? std::string(text, length) : "error " + std::to_string(error);
}

std::string FileName(const std::string& folder, int generation)
{
    if (generation == 0)
        return folder + "\\" + kJournalFileName;
    return folder + "\\events." + std::to_string(generation) + ".ndjson";
}

bool IsWarning(const JournalEvent& event)
{
    const std::string action = event.action;
    return action == "value-added" || action == "value-changed" || action == "value-deleted" ||
           action == "watch-lost" || (event.outcome && std::string(event.outcome) == "failure");
}

// The key as the registry editor shows it: the 32-bit view's keys lie under
// Software\Wow6432Node.
std::string ShownKey(const ResyncProbe& probe)
{
    static const char kSoftware[] = "Software\\";
    const size_t prefix = sizeof kSoftware - 1;
    if (probe.view == KEY_WOW64_32KEY && probe.subkey.compare(0, prefix, kSoftware) == 0)
        return "Software\\Wow6432Node\\" + probe.subkey.substr(prefix);
    return probe.subkey;
}

JournalEvent UserEvent(const char* action, const ResyncProbe& probe, DWORD status, LONG result)
{
    JournalEvent event;
    event.action = action;
    event.root = probe.root;
    event.key = ShownKey(probe);
    event.view = probe.view;
    event.hasValue = true;
    event.valueName = probe.name;
    event.status = RecordStatusText(status);
    event.outcome = result == ERROR_SUCCESS ? "success" : "failure";
    event.error = result;
    return event;
}

}  // namespace

Journal::Journal()
    : rotateBytes(kJournalRotateBytes), stopping(false), writing(false), writerAsleep(false), problemWindow(nullptr),
      problemMessage(0), thread(nullptr), open(false), eventSource(nullptr), file(INVALID_HANDLE_VALUE), fileSize(0),
      rotateAt(0)
{
    InitializeCriticalSection(&lock);
    InitializeConditionVariable(&wake);
    InitializeConditionVariable(&drained);
}

Journal::~Journal()
{
    Close();
    DeleteCriticalSection(&lock);
}

std::string Journal::DefaultFolder()
{
    return AppDataFolder();
}

int Journal::Open(const std::string& where)
{
    Close();
    EnterCriticalSection(&lock);
    problem.clear();
    LeaveCriticalSection(&lock);
    // Asked once: the writer thread reads it.
    if (context.hostName.empty() && context.userName.empty())
        context = JournalContext_Current();

    folder = where;
    if (folder.empty()) {
        SetProblem("it has no folder, since LOCALAPPDATA is not set", 0);
        return 0;
    }
    const int made = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        SetProblem(("the folder " + folder + " cannot be made").c_str(), static_cast<DWORD>(made));
        return 0;
    }
    if (!OpenFile())
        return 0;

    eventSource = RegisterEventSourceA(nullptr, "Keywarden");
    EnterCriticalSection(&lock);
    stopping = false;
    thread = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    const bool started = thread != nullptr;
    LeaveCriticalSection(&lock);
    if (!started) {
        SetProblem("its thread cannot start", GetLastError());
        Close();
        return 0;
    }
    open.store(true);
    return 1;
}

bool Journal::OpenFile()
{
    const std::string path = FileName(folder, 0);
    // Collectors read, and may move or delete, the file while it is written.
    file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetProblem((path + " cannot be opened").c_str(), GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    fileSize = GetFileSizeEx(file, &size) ? static_cast<unsigned long long>(size.QuadPart) : 0;
    rotateAt = rotateBytes;
    return true;
}

void Journal::Close()
{
    open.store(false);
    EnterCriticalSection(&lock);
    stopping = true;
    const HANDLE writer = thread;
    LeaveCriticalSection(&lock);
    if (writer) {
        WakeAllConditionVariable(&wake);
        WaitForSingleObject(writer, INFINITE);
        CloseHandle(writer);
        EnterCriticalSection(&lock);
        thread = nullptr;
        LeaveCriticalSection(&lock);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }
    if (eventSource) {
        DeregisterEventSource(eventSource);
        eventSource = nullptr;
    }
}

void Journal::Submit(JournalEvent event)
{
    if (!open.load() || !event.action)
        return;
    GetSystemTime(&event.time);
    EnterCriticalSection(&lock);
    const bool queued = thread && !stopping && queue.size() < kMaxQueued;
    if (queued)
        queue.push_back(std::move(event));
    const bool overflow = thread && !stopping && !queued;
    const bool wakeWriter = queued && writerAsleep;
    LeaveCriticalSection(&lock);
    if (wakeWriter)
        WakeConditionVariable(&wake);
    else if (overflow)
        SetProblem("events came faster than they could be written, and some were left out", 0);
}

void Journal::Flush()
{
    EnterCriticalSection(&lock);
    while (thread && (!queue.empty() || writing))
        SleepConditionVariableCS(&drained, &lock, INFINITE);
    LeaveCriticalSection(&lock);
}

std::string Journal::Problem() const
{
    EnterCriticalSection(&lock);
    std::string text = problem;
    LeaveCriticalSection(&lock);
    return text;
}

void Journal::SetProblemWindow(HWND window, UINT message)
{
    EnterCriticalSection(&lock);
    problemWindow = window;
    problemMessage = message;
    LeaveCriticalSection(&lock);
}

void Journal::SetProblem(const char* what, DWORD error)
{
    std::string text = std::string("The journal cannot be written: ") + what;
    if (error)
        text += " (" + SystemText(error) + ")";
    text += ".";
    EnterCriticalSection(&lock);
    // The first problem is the one to tell; the rest follow from it.
    const bool first = problem.empty();
    if (first)
        problem = text;
    HWND window = problemWindow;
    const UINT message = problemMessage;
    LeaveCriticalSection(&lock);
    if (first && window)
        PostMessageA(window, message, 0, 0);
}

DWORD WINAPI Journal::ThreadMain(void* param)
{
    static_cast<Journal*>(param)->WriteLines();
    return 0;
}

void Journal::WriteLines()
{
    EnterCriticalSection(&lock);
    for (;;) {
        for (DWORD polls = 0; queue.empty() && !stopping; ++polls) {
            writerAsleep = polls >= kLingerPolls;
            SleepConditionVariableCS(&wake, &lock, writerAsleep ? INFINITE : kPollMs);
            writerAsleep = false;
        }
        if (queue.empty())
            break;  // stopping, and everything is written
        std::deque<JournalEvent> batch;
        batch.swap(queue);
        writing = true;
        LeaveCriticalSection(&lock);
        for (const JournalEvent& event : batch)
            WriteEvent(event);
        EnterCriticalSection(&lock);
        writing = false;
        WakeAllConditionVariable(&drained);
    }
    LeaveCriticalSection(&lock);
}

void Journal::WriteEvent(const JournalEvent& event)
{
    std::string text = FormatJournalLine(event, context);
    text += '\n';
    if (file == INVALID_HANDLE_VALUE)
        OpenFile();  // a rotation could not open the new file: try again
    else if (fileSize > 0 && fileSize + text.size() > rotateAt)
        Rotate();
    DWORD written = 0;
    // One WriteFile per whole line: a reader never sees half of one.
    if (file == INVALID_HANDLE_VALUE ||
        !WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size())
        SetProblem("a line could not be added to it", file == INVALID_HANDLE_VALUE ? 0 : GetLastError());
    fileSize += written;

    if (eventSource) {
        text.pop_back();
        if (text.size() > kEventLogWhole)
            text = FormatJournalLine(event, context, kEventLogString);
        // ASCII only, so the text reads the same whatever the code page.
        const std::string ascii = JsonAsciiOnly(text);
        const char* strings[1] = {ascii.c_str()};
        ReportEventA(eventSource, IsWarning(event) ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
                     MSG_JOURNAL_EVENT, nullptr, 1, 0, strings, nullptr);
    }
}

void Journal::Rotate()
{
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    DeleteFileA(FileName(folder, kJournalKeptFiles).c_str());
    for (int generation = kJournalKeptFiles - 1; generation >= 0; --generation)
        MoveFileExA(FileName(folder, generation).c_str(), FileName(folder, generation + 1).c_str(),
                    MOVEFILE_REPLACE_EXISTING);
    if (!OpenFile())
        return;
    // A file a reader keeps from moving is tried again a little later, not
    // at every line.
    if (fileSize > 0)
        rotateAt = fileSize + rotateBytes / 8;
}

void Journal_OpenFromSettings()
{
    if (ReadSetting(kSettingNoJournal) == 0)
        theJournal.Open(Journal::DefaultFolder());
}

void Journal_EngineEvent(const RegWatchEvent* event)
{
    if (!event || !theJournal.IsOpen())
        return;
    theJournal.Submit(JournalEvent_FromEngine(*event));
}

void Journal_BaselineTaken(RegWatchHandle* watch, const char* reason)
{
    if (!theJournal.IsOpen())
        return;
    JournalEvent event;
    event.action = "baseline-taken";
    event.type = "info";
    event.reason = reason;
    RecordList state;
    RecordList_Init(&state);
    if (watch && RegWatch_CopyState(watch, &state) == REGWATCH_OK) {
        // The values of the baseline: a value found since is not accepted.
        event.values = 0;
        for (WatchedKey* key = WatchedKey_First(&state); key; key = WatchedKey_Next(key))
            for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry))
                event.values += entry->accepted ? 1 : 0;
    }
    RegWatch_FreeState(&state);
    theJournal.Submit(std::move(event));
}

void Journal_UserDeleted(const ResyncProbe& probe, DWORD status, LONG result)
{
    if (!theJournal.IsOpen())
        return;
    JournalEvent event = UserEvent("user-deleted", probe, status, result);
    event.type = "deletion";
    event.sysmonType = "DeleteValue";
    theJournal.Submit(std::move(event));
}

void Journal_UserReverted(const ResyncProbe& probe, DWORD status, bool wroteBack, DWORD type,
                          const std::string& data, LONG result)
{
    if (!theJournal.IsOpen())
        return;
    JournalEvent event = UserEvent("user-reverted", probe, status, result);
    if (wroteBack) {
        event.data.present = true;
        event.data.type = type;
        event.data.bytes = data;
        event.type = "change";
        event.sysmonType = "SetValue";
    } else if (status != Deleted) {
        event.type = "deletion";
        event.sysmonType = "DeleteValue";
    } else {
        event.type = "info";
    }
    theJournal.Submit(std::move(event));
}
