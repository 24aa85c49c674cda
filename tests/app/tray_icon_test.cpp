// The tray icon and its flashing thread, on the real notification area.
#include "app/tray_icon.h"
#include "tests/app/modal.h"
#include "tests/app/recording_tray_icon.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Replaces the tray icon's kernel calls for one test: counts thread starts,
// keeps a handle of the latest thread, and can fail or hold back creation.
class KernelHooks {
public:
    KernelHooks()
    {
        saved = trayIconKernel;
        current = this;
        trayIconKernel.createEvent = &CreateEventHook;
        trayIconKernel.createThread = &CreateThreadHook;
    }
    ~KernelHooks()
    {
        trayIconKernel = saved;
        current = nullptr;
        if (lastThread)
            CloseHandle(lastThread);
    }
    KernelHooks(const KernelHooks&) = delete;
    KernelHooks& operator=(const KernelHooks&) = delete;

    int threadsStarted = 0;
    bool failEvent = false;
    bool failThread = false;
    bool startSuspended = false;
    HANDLE lastThread = nullptr;  // our own duplicate

private:
    static HANDLE WINAPI CreateEventHook(LPSECURITY_ATTRIBUTES sa, BOOL manual, BOOL initial, LPCSTR name)
    {
        if (current->failEvent) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        return CreateEventA(sa, manual, initial, name);
    }
    static HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                          LPVOID param, DWORD flags, LPDWORD id)
    {
        if (current->failThread) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        HANDLE thread =
            CreateThread(sa, stack, start, param, flags | (current->startSuspended ? CREATE_SUSPENDED : 0), id);
        if (thread) {
            ++current->threadsStarted;
            if (current->lastThread)
                CloseHandle(current->lastThread);
            DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &current->lastThread, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        }
        return thread;
    }

    TrayIconKernel saved;
    static KernelHooks* current;
};
KernelHooks* KernelHooks::current = nullptr;

// An owner window that logs the tray's callback messages.
struct Callback {
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Callback> callbacks;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MSG_TRAY_CALLBACK)
        callbacks.push_back(Callback{wParam, lParam});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND CreateLoggingOwner()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KeywardenTrayOwner";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "KeywardenTrayOwner", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Wine's notification area without a desktop tray: one child window per icon,
// which passes mouse messages on to the icon's owner.
HWND FindStandaloneTray()
{
    return FindWindowA("__winex11_standalone_tray", nullptr);
}

// Our icon's window in the tray: the one whose mouse moves reach our owner.
// A mouse move does nothing to other programs' icons.
HWND FindOwnIconWindow(HWND tray)
{
    for (HWND child = FindWindowExA(tray, nullptr, nullptr, nullptr); child;
         child = FindWindowExA(tray, child, nullptr, nullptr)) {
        callbacks.clear();
        PostMessageA(child, WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
        for (int i = 0; i < 40 && callbacks.empty(); ++i)
            PumpMessages(5);
        if (!callbacks.empty())
            return child;
    }
    return nullptr;
}

bool WaitForRest(const TrayIcon& icon, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (icon.flashing != 0) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(1);
    }
    return true;
}

class TrayIconTest : public ::testing::Test {
protected:
    HostWindow owner;
    KernelHooks hooks;
    std::shared_ptr<FrameLog> log = std::make_shared<FrameLog>();
};

TEST_F(TrayIconTest, FlashesWarningAndBlankInTurnEvery600Ms)
{
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StartFlashing();
    ASSERT_TRUE(log->WaitForCount(5, 10000));
    icon.StopFlashing();
    ASSERT_TRUE(log->WaitForLast(IDI_KEYWARDEN, 5000));
    ASSERT_TRUE(WaitForRest(icon, 5000));

    std::vector<Frame> frames = log->Frames();
    const int expected[5] = {IDI_WARNING, IDI_BLANK, IDI_WARNING, IDI_BLANK, IDI_WARNING};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(expected[i], frames[i].iconId) << "frame " << i;
        EXPECT_NE(GetCurrentThreadId(), frames[i].threadId) << "frames come from the flashing thread";
    }
    for (size_t i = 1; i < 5; ++i) {
        const DWORD gap = frames[i].atMs - frames[i - 1].atMs;
        EXPECT_GE(gap, 450u) << "frame " << i << " came early";
        EXPECT_LE(gap, 6000u) << "frame " << i << " came late";
    }
    EXPECT_EQ(IDI_KEYWARDEN, frames.back().iconId);
}

TEST_F(TrayIconTest, SecondStartWhileFlashingStartsNoSecondThread)
{
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StartFlashing();
    icon.StartFlashing();
    ASSERT_TRUE(log->WaitForCount(3, 10000));
    icon.StartFlashing();
    icon.StopFlashing();
    ASSERT_TRUE(WaitForRest(icon, 5000));

    EXPECT_EQ(1, hooks.threadsStarted);
    std::vector<Frame> frames = log->Frames();
    // A second thread would show a second warning frame at once.
    EXPECT_EQ(IDI_WARNING, frames[0].iconId);
    EXPECT_EQ(IDI_BLANK, frames[1].iconId);
    for (const Frame& frame : frames)
        EXPECT_EQ(frames[0].threadId, frame.threadId);
}

TEST_F(TrayIconTest, StopBeforeTheFirstFrameShowsOnlyTheRestingIcon)
{
    hooks.startSuspended = true;
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StartFlashing();
    ASSERT_EQ(1, hooks.threadsStarted);
    EXPECT_EQ(1, icon.flashing);
    icon.StopFlashing();
    ResumeThread(hooks.lastThread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hooks.lastThread, 10000));

    std::vector<Frame> frames = log->Frames();
    ASSERT_EQ(1u, frames.size());
    EXPECT_EQ(IDI_KEYWARDEN, frames[0].iconId);
    EXPECT_EQ(0, icon.flashing);
}

TEST_F(TrayIconTest, StopInTheMiddleOfAFrameRestoresTheIconAtOnce)
{
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StartFlashing();
    ASSERT_TRUE(log->WaitForCount(1, 10000));
    Sleep(100);  // well inside the first 600 ms frame
    const DWORD stoppedAt = GetTickCount();
    icon.StopFlashing();
    ASSERT_TRUE(log->WaitForLast(IDI_KEYWARDEN, 5000));

    std::vector<Frame> frames = log->Frames();
    ASSERT_EQ(2u, frames.size()) << "no further frame after the stop";
    EXPECT_EQ(IDI_WARNING, frames[0].iconId);
    // Waiting out the frame would take about 500 ms more.
    EXPECT_LT(frames[1].atMs - stoppedAt, 400u);
    EXPECT_TRUE(WaitForRest(icon, 5000));
}

TEST_F(TrayIconTest, StopAtRestIsHarmlessAndEachLaterStartFlashes)
{
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StopFlashing();
    icon.StopFlashing();
    EXPECT_EQ(0, icon.flashing);
    EXPECT_EQ(0, hooks.threadsStarted);
    Sleep(50);
    EXPECT_EQ(0u, log->Count());

    // The stop left signalled at rest must not end the new run at once.
    icon.StartFlashing();
    ASSERT_TRUE(log->WaitForCount(2, 10000));
    std::vector<Frame> frames = log->Frames();
    EXPECT_EQ(IDI_WARNING, frames[0].iconId);
    EXPECT_EQ(IDI_BLANK, frames[1].iconId);

    // After a stop, a fresh thread flashes again from the warning frame.
    icon.StopFlashing();
    ASSERT_TRUE(WaitForRest(icon, 5000));
    const size_t before = log->Count();
    icon.StartFlashing();
    ASSERT_TRUE(log->WaitForCount(before + 1, 10000));
    EXPECT_EQ(2, hooks.threadsStarted);
    EXPECT_EQ(IDI_WARNING, log->Frames()[before].iconId);
}

TEST_F(TrayIconTest, StartWhileStoppingIsIgnored)
{
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StartFlashing();
    ASSERT_TRUE(log->WaitForCount(1, 10000));
    log->HoldRestingFrame();
    icon.StopFlashing();
    ASSERT_TRUE(log->WaitUntilHeld(5000));

    // The thread has seen the stop but not yet cleared flashing.
    EXPECT_EQ(1, icon.flashing);
    icon.StartFlashing();
    log->ReleaseRestingFrame();
    ASSERT_TRUE(WaitForRest(icon, 5000));

    EXPECT_EQ(1, hooks.threadsStarted);
    Sleep(1300);  // two frame periods: a run started anyway would show
    std::vector<Frame> frames = log->Frames();
    EXPECT_EQ(IDI_KEYWARDEN, frames.back().iconId);
    EXPECT_EQ(0, icon.flashing);
}

TEST_F(TrayIconTest, DestructionWhileFlashingEndsTheThreadFirst)
{
    TrayIcon* icon = new RecordingTrayIcon(owner.hwnd, log);
    icon->StartFlashing();
    ASSERT_TRUE(log->WaitForCount(1, 10000));
    delete icon;

    EXPECT_EQ(nullptr, TrayIcon::instance);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hooks.lastThread, 0));
    const size_t after = log->Count();
    Sleep(1300);
    EXPECT_EQ(after, log->Count()) << "a frame was shown after destruction";
}

TEST_F(TrayIconTest, PlainIconDestroyedWhileFlashingWaitsForItsThread)
{
    TrayIcon* icon = new TrayIcon(owner.hwnd);
    icon->StartFlashing();
    Sleep(100);
    ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hooks.lastThread, 0));
    delete icon;
    // The thread used the object and its event: it must be gone already.
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hooks.lastThread, 0));
}

TEST_F(TrayIconTest, SecondIconThrowsButOneCanFollowTheFirst)
{
    {
        TrayIcon first(owner.hwnd);
        try {
            TrayIcon second(owner.hwnd);
            FAIL() << "a second TrayIcon was constructed";
        } catch (const TrayException& e) {
            EXPECT_EQ("Singlton pattern: More than one TrayIcon is not allowed", e.message);
        }
        EXPECT_EQ(&first, TrayIcon::instance);
    }
    EXPECT_EQ(nullptr, TrayIcon::instance);
    TrayIcon next(owner.hwnd);
    EXPECT_EQ(&next, TrayIcon::instance);
}

TEST_F(TrayIconTest, FailedThreadStartLeavesTheIconAtRest)
{
    RecordingTrayIcon icon(owner.hwnd, log);
    hooks.failThread = true;
    icon.StartFlashing();
    EXPECT_EQ(0, icon.flashing);

    hooks.failThread = false;
    icon.StartFlashing();
    EXPECT_TRUE(log->WaitForCount(1, 10000)) << "a later start is not blocked";
    EXPECT_EQ(1, hooks.threadsStarted);
}

TEST_F(TrayIconTest, WithoutItsStopEventTheIconNeverFlashes)
{
    hooks.failEvent = true;
    RecordingTrayIcon icon(owner.hwnd, log);
    icon.StartFlashing();
    icon.StopFlashing();
    EXPECT_EQ(0, icon.flashing);
    EXPECT_EQ(0, hooks.threadsStarted);
}

TEST_F(TrayIconTest, IconDataUsesTheFirstLayout)
{
    TrayIcon icon(owner.hwnd);
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE), icon.iconData.cbSize);
#if !defined(_WIN64)
    EXPECT_EQ(88u, icon.iconData.cbSize);
#endif
    EXPECT_STREQ("Keywarden", icon.iconData.szTip);
    EXPECT_NE(nullptr, icon.iconData.hIcon) << "icon 128 is in the resources";
}

TEST_F(TrayIconTest, IconSitsInTheTrayAndReportsClicksToItsOwnerUntilDestroyed)
{
    HWND tray = FindStandaloneTray();
    if (!tray)
        GTEST_SKIP() << "no standalone notification area to look into";
    HWND loggingOwner = CreateLoggingOwner();
    ASSERT_NE(nullptr, loggingOwner);

    HWND iconWindow = nullptr;
    {
        TrayIcon icon(loggingOwner);
        icon.SetCallbackMessage(MSG_TRAY_CALLBACK);
        iconWindow = FindOwnIconWindow(tray);
        ASSERT_NE(nullptr, iconWindow) << "the icon is not in the tray";
        EXPECT_EQ(static_cast<LPARAM>(WM_MOUSEMOVE), callbacks.back().lParam);

        callbacks.clear();
        PostMessageA(iconWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        for (int i = 0; i < 200 && callbacks.empty(); ++i)
            PumpMessages(5);
        ASSERT_EQ(1u, callbacks.size());
        EXPECT_EQ(static_cast<LPARAM>(WM_LBUTTONDOWN), callbacks[0].lParam);
        EXPECT_EQ(static_cast<WPARAM>(icon.iconData.uID), callbacks[0].wParam);

        // Flashing changes the picture of the same icon, not the icon.
        EXPECT_TRUE(icon.SetIcon(IDI_WARNING));
        EXPECT_TRUE(IsWindow(iconWindow));
    }
    for (int i = 0; i < 400 && IsWindow(iconWindow); ++i)
        PumpMessages(5);
    EXPECT_FALSE(IsWindow(iconWindow)) << "the icon stayed in the tray after destruction";
    DestroyWindow(loggingOwner);
}

}  // namespace
