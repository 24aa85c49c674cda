#include "tests/app/recording_tray_icon.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <chrono>

void FrameLog::Add(int iconId)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (iconId == IDI_KEYWARDEN && hold) {
        held = true;
        changed.notify_all();
        changed.wait(lock, [this] { return !hold; });
        held = false;
    }
    frames.push_back(Frame{iconId, GetTickCount(), GetCurrentThreadId()});
    changed.notify_all();
}

std::vector<Frame> FrameLog::Frames()
{
    std::lock_guard<std::mutex> lock(mutex);
    return frames;
}

size_t FrameLog::Count()
{
    std::lock_guard<std::mutex> lock(mutex);
    return frames.size();
}

bool FrameLog::WaitForCount(size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return frames.size() >= count; });
}

bool FrameLog::WaitForLast(int iconId, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return !frames.empty() && frames.back().iconId == iconId; });
}

void FrameLog::HoldRestingFrame()
{
    std::lock_guard<std::mutex> lock(mutex);
    hold = true;
}

void FrameLog::ReleaseRestingFrame()
{
    std::lock_guard<std::mutex> lock(mutex);
    hold = false;
    changed.notify_all();
}

bool FrameLog::WaitUntilHeld(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return held; });
}

RecordingTrayIcon::RecordingTrayIcon(HWND owner, std::shared_ptr<FrameLog> frameLog)
    : TrayIcon(owner), log(std::move(frameLog))
{
}

RecordingTrayIcon::~RecordingTrayIcon()
{
    EndFlashThread();
}

BOOL RecordingTrayIcon::SetIcon(int iconId)
{
    log->Add(iconId);
    return TrayIcon::SetIcon(iconId);
}
