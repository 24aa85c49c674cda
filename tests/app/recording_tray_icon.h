// A TrayIcon that logs every frame it is asked to show, with the time and
// the thread, and can hold the flashing thread at the resting frame.
#ifndef KEYWARDEN_TESTS_APP_RECORDING_TRAY_ICON_H
#define KEYWARDEN_TESTS_APP_RECORDING_TRAY_ICON_H

#include "app/tray_icon.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

struct Frame {
    int iconId;
    DWORD atMs;  // GetTickCount
    DWORD threadId;
};

// Outlives the icon, so a test can look for frames after destruction.
class FrameLog {
public:
    void Add(int iconId);
    std::vector<Frame> Frames();
    size_t Count();
    // Waits until at least count frames are logged; false on time-out.
    bool WaitForCount(size_t count, DWORD timeoutMs);
    // Waits until the latest frame is iconId; false on time-out.
    bool WaitForLast(int iconId, DWORD timeoutMs);

    // While set, a request for the resting frame blocks until released.
    void HoldRestingFrame();
    void ReleaseRestingFrame();
    // True once the flashing thread is blocked at the resting frame.
    bool WaitUntilHeld(DWORD timeoutMs);

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Frame> frames;
    bool hold = false;
    bool held = false;
};

class RecordingTrayIcon : public TrayIcon {
public:
    RecordingTrayIcon(HWND owner, std::shared_ptr<FrameLog> log);
    // Ends the flashing thread while this override still exists.
    ~RecordingTrayIcon() override;
    BOOL SetIcon(int iconId) override;

    std::shared_ptr<FrameLog> log;
};

#endif
