// The journal: every change the engine reports, and the user's own actions,
// as one JSON line each in %LOCALAPPDATA%\Keywarden\events.ndjson and as an
// event of the source "Keywarden" in the Application log, for collectors that
// gather events from many machines.
//
// An event is copied where it happens (the engine's records live only during
// its call), then formatted and written in order by the journal's own thread,
// so the watch thread and the window wait for neither the disk nor the event
// log.
#ifndef KEYWARDEN_APP_JOURNAL_H
#define KEYWARDEN_APP_JOURNAL_H

#include "app/journal_line.h"

#include <atomic>
#include <deque>
#include <string>

class ResyncProbe;

const char kJournalFileName[] = "events.ndjson";
// events.ndjson moves to events.1.ndjson when it would pass this size;
// events.1 to events.2 and so on, up to kJournalKeptFiles.
const unsigned long long kJournalRotateBytes = 5ull * 1024 * 1024;
const int kJournalKeptFiles = 3;

class Journal {
public:
    Journal();
    // Closes: every queued line is written first.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // %LOCALAPPDATA%\Keywarden, from the environment or else the shell; empty
    // when neither tells.
    static std::string DefaultFolder();

    // Opens <folder>\events.ndjson for appending, creating the folder, and
    // starts the writer thread; closes first if open. Returns 1 when open;
    // otherwise 0, and Problem() says why.
    int Open(const std::string& folder);
    // Writes out what is queued, stops the writer thread and closes the file.
    void Close();
    bool IsOpen() const { return open.load(); }

    // Stamps the event with the time and queues it; nothing when closed. Any thread.
    void Submit(JournalEvent event);
    // Returns when every line queued before the call is written.
    void Flush();

    // Empty while every line could be written; else a sentence saying why not.
    std::string Problem() const;
    // The window that hears (message, 0, 0) when a problem first arises, or null.
    void SetProblemWindow(HWND window, UINT message);

    // Set before Open; tests use small sizes.
    unsigned long long rotateBytes;

private:
    static DWORD WINAPI ThreadMain(void* param);
    void WriteLines();
    void WriteEvent(const JournalEvent& event);
    void Rotate();
    bool OpenFile();
    void SetProblem(const char* what, DWORD error);

    // lock guards the fields up to thread; the rest are set by Open and Close
    // while no writer runs, and used by the writer alone meanwhile.
    mutable CRITICAL_SECTION lock;
    CONDITION_VARIABLE wake;        // the writer: lines queued, or stop
    CONDITION_VARIABLE drained;     // Flush: the writer has written its batch
    std::deque<JournalEvent> queue;
    bool stopping;
    bool writing;                   // the writer holds a batch it has not written
    bool writerAsleep;              // waits for wake, not polling: Submit must wake it
    std::string problem;
    HWND problemWindow;
    UINT problemMessage;
    HANDLE thread;                  // the writer, or null

    std::atomic<bool> open;         // read without the lock, to skip closed work
    std::string folder;
    JournalContext context;         // set before the writer starts
    HANDLE eventSource;             // of the Application log, or null
    HANDLE file;                    // only the writer touches it while open
    unsigned long long fileSize;
    unsigned long long rotateAt;
};

// The program's journal; the Changes and Options pages open and close it.
extern Journal theJournal;

// Opens theJournal in the default folder unless the NoJournal setting is on.
void Journal_OpenFromSettings();
// The engine's event, as the sink gets it: copied at once.
void Journal_EngineEvent(const RegWatchEvent* event);
// A baseline taken for the reason given ("start", "Reset Alarm"), with the
// number of values the engine now accepts.
void Journal_BaselineTaken(RegWatchHandle* watch, const char* reason);
// The user's Delete of one value (status: the row's) and its Windows result.
void Journal_UserDeleted(const ResyncProbe& probe, DWORD status, LONG result);
// The user's Revert of one value: the accepted type and data written back
// when wroteBack, else the value deleted (a New one) or only forgotten (a
// Deleted one never accepted); result is the Windows result.
void Journal_UserReverted(const ResyncProbe& probe, DWORD status, bool wroteBack, DWORD type,
                          const std::string& data, LONG result);

#endif
