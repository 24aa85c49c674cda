// The tray icon's flashing thread, watched through the frames it asks for.
#include "app/tray_icon.h"
#include "tests/support/test_support.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

// Records each frame; only the flashing thread writes. While holdRest is set, that
// thread waits at the resting frame, having seen the stop but not cleared flashing.
class RecordingTrayIcon : public TrayIcon {
public:
    struct Frame { int iconId; DWORD atMs; };
    using TrayIcon::TrayIcon;
    ~RecordingTrayIcon() override { EndFlashThread(); }
    BOOL SetIcon(int iconId) override
    {
        frames[count % 64] = Frame{iconId, GetTickCount()};
        ++count;
        for (held = iconId == IDI_KEYWARDEN && holdRest; held && holdRest;)
            Sleep(1);
        return TrayIcon::SetIcon(iconId);
    }
    // Waits for the latest flashing thread to end; returns the number of frames.
    size_t Ended()
    {
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(flashThread, 10000));
        EXPECT_EQ(0, flashing);
        return count;
    }
    Frame frames[64] = {};
    std::atomic<size_t> count{0};
    std::atomic<bool> holdRest{false}, held{false};
};

HANDLE WINAPI NoEvent(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR)
{
    return nullptr;
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD)
{
    return nullptr;
}

class TrayIconTest : public ::testing::Test {
protected:
    ~TrayIconTest() override { DestroyWindow(owner); }
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
};

TEST_F(TrayIconTest, FlashesWarningAndBlankInTurnEvery600MsOnOneThreadPerRun)
{
    RecordingTrayIcon icon(owner);
    icon.StopFlashing();  // at rest: the stop left signalled must not end the next run at once
    icon.StartFlashing();
    icon.StartFlashing();  // a second thread would show a second warning frame at once
    ASSERT_TRUE(testing_support::PumpUntil([&] { return icon.count >= 5; }, 10000));
    icon.StopFlashing();
    const size_t n = icon.Ended();
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(i + 1 == n ? IDI_KEYWARDEN : i % 2 ? IDI_BLANK : IDI_WARNING, icon.frames[i].iconId);
        const DWORD gap = i > 0 && i < 5 ? icon.frames[i].atMs - icon.frames[i - 1].atMs : 600;
        EXPECT_TRUE(gap >= 450 && gap <= 6000) << gap << " ms";
    }
    icon.StartFlashing();  // a new run, from the warning frame
    ASSERT_TRUE(testing_support::PumpUntil([&] { return icon.count > n; }, 10000));
    EXPECT_EQ(IDI_WARNING, icon.frames[n].iconId);
}

TEST_F(TrayIconTest, StopRestoresTheRestingIconAtOnceAndAStartMeanwhileIsIgnored)
{
    RecordingTrayIcon icon(owner);
    icon.StopFlashing();
    icon.FlashLoop();  // as a thread that starts only after the stop
    ASSERT_EQ(1u, icon.count);
    EXPECT_EQ(IDI_KEYWARDEN, icon.frames[0].iconId);

    icon.StartFlashing();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return icon.count > 1; }, 10000));
    Sleep(100);
    icon.holdRest = true;
    const DWORD stoppedAt = GetTickCount();
    icon.StopFlashing();
    ASSERT_TRUE(testing_support::PumpUntil([&] { return icon.held.load(); }, 10000));
    const HANDLE stopping = icon.flashThread;
    icon.StartFlashing();  // the thread has seen the stop but not yet cleared flashing
    EXPECT_EQ(stopping, icon.flashThread) << "a second thread was started";
    icon.holdRest = false;
    const size_t n = icon.Ended();
    EXPECT_EQ(IDI_KEYWARDEN, icon.frames[n - 1].iconId);
    EXPECT_NE(IDI_KEYWARDEN, icon.frames[n - 2].iconId) << "a frame came after the stop";
    EXPECT_LT(icon.frames[n - 1].atMs - stoppedAt, 400u) << "the frame was waited out";
}

TEST_F(TrayIconTest, OneIconAtATimeWhoseDestructionWaitsForItsThread)
{
    TrayIcon* icon = new TrayIcon(owner);
    std::string message = "nothing thrown";
    try {
        TrayIcon second(owner);
    } catch (const TrayException& e) {
        message = e.message;
    }
    EXPECT_EQ("Singlton pattern: More than one TrayIcon is not allowed", message);

    icon->StartFlashing();
    const HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, GetThreadId(icon->flashThread));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 100));
    delete icon;
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 0)) << "the thread outlived the icon";
    CloseHandle(thread);
}

TEST_F(TrayIconTest, WithoutItsEventOrThreadTheIconStaysAtRest)
{
    const TrayIconKernel real = trayIconKernel;
    for (const TrayIconKernel& failing : {TrayIconKernel{NoEvent, real.createThread}, {real.createEvent, NoThread}}) {
        SCOPED_TRACE(failing.createEvent == NoEvent ? "no event" : "no thread");
        trayIconKernel = failing;
        TrayIcon icon(owner);
        icon.StartFlashing();
        trayIconKernel = real;
        EXPECT_EQ(0, icon.flashing);
    }
}

}  // namespace
