#include "tests/support/test_support.h"

#include <map>

namespace testing_support {

namespace {

thread_local std::map<UINT_PTR, ThreadTimer*>* liveTimers = nullptr;

}  // namespace

ThreadTimer::ThreadTimer(UINT delayMs, std::function<void()> act)
    : action(std::move(act)), id(0), hasFired(false)
{
    if (!liveTimers)
        liveTimers = new std::map<UINT_PTR, ThreadTimer*>();
    id = SetTimer(nullptr, 0, delayMs, &TimerProc);
    if (id)
        (*liveTimers)[id] = this;
}

ThreadTimer::~ThreadTimer()
{
    if (id && !hasFired) {
        KillTimer(nullptr, id);
        liveTimers->erase(id);
    }
}

void CALLBACK ThreadTimer::TimerProc(HWND, UINT, UINT_PTR timerId, DWORD)
{
    KillTimer(nullptr, timerId);
    auto found = liveTimers->find(timerId);
    if (found == liveTimers->end())
        return;
    ThreadTimer* timer = found->second;
    liveTimers->erase(found);
    timer->hasFired = true;
    timer->action();
}

void PumpMessages(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed < 10 ? timeoutMs - elapsed : 10,
                                  QS_ALLINPUT);
    }
}

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string BuildTreePath(const std::string& relative)
{
    char path[MAX_PATH * 4] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    std::string folder(path);
    for (int up = 0; up < 2; ++up) {
        size_t slash = folder.find_last_of("\\/");
        if (slash == std::string::npos)
            return std::string();
        folder.erase(slash);
    }
    return folder + "\\" + relative;
}

}  // namespace testing_support
