#include "app/tray_icon.h"

#include "resources/resource.h"

#include <cstring>

TrayIcon* TrayIcon::instance = nullptr;
TrayIconKernel trayIconKernel = {CreateEventA, CreateThread};
BOOL(WINAPI* trayIconNotify)(DWORD, PNOTIFYICONDATAA) = Shell_NotifyIconA;

namespace {

// Any fixed id serves: the add, every modify and the delete use the same one.
const UINT kTrayIconUid = 1;
const DWORD kFramePeriodMs = 600;

HICON LoadTrayImage(int iconId)
{
    // LR_SHARED: the system owns the icon, so it is never destroyed here.
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId & 0xFFFF),
                                         IMAGE_ICON, 16, 16, LR_SHARED));
}

class Locked {
public:
    explicit Locked(CRITICAL_SECTION* section) : held(section) { EnterCriticalSection(held); }
    ~Locked() { LeaveCriticalSection(held); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION* held;
};

}  // namespace

TrayIcon::TrayIcon(HWND owner)
    : flashing(0), stopEvent(nullptr), iconData(), flashThread(nullptr), added(0), iconLock()
{
    if (instance)
        throw TrayException{"Singlton pattern: More than one TrayIcon is not allowed"};
    instance = this;
    InitializeCriticalSection(&iconLock);

    iconData.cbSize = static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE);
    iconData.hWnd = owner;
    iconData.uID = kTrayIconUid;
    iconData.hIcon = LoadTrayImage(IDI_KEYWARDEN);
    std::strncpy(iconData.szTip, "Keywarden", 63);
    iconData.szTip[63] = '\0';
    added = Notify(NIM_ADD, NIF_ICON | NIF_TIP) ? 1 : 0;

    stopEvent = trayIconKernel.createEvent(nullptr, FALSE, FALSE, nullptr);
}

TrayIcon::~TrayIcon()
{
    EndFlashThread();
    if (stopEvent)
        CloseHandle(stopEvent);
    stopEvent = nullptr;
    instance = nullptr;
    Notify(NIM_DELETE, 0);
    DeleteCriticalSection(&iconLock);
}

BOOL TrayIcon::Notify(DWORD action, UINT flags)
{
    iconData.cbSize = static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE);
    iconData.uFlags = flags;
    return trayIconNotify(action, &iconData);
}

void TrayIcon::EndFlashThread()
{
    if (!flashThread)
        return;
    if (stopEvent)
        SetEvent(stopEvent);
    WaitForSingleObject(flashThread, INFINITE);
    CloseHandle(flashThread);
    flashThread = nullptr;
}

void TrayIcon::StartFlashing()
{
    if (flashing != 0)
        return;
    if (!stopEvent)
        return;  // without the event the thread could never be stopped
    flashing = 1;
    ResetEvent(stopEvent);

    // flashing was 0, so the previous thread has done its last act and no
    // longer touches this object; its handle can go.
    if (flashThread) {
        CloseHandle(flashThread);
        flashThread = nullptr;
    }
    flashThread = trayIconKernel.createThread(nullptr, 0, FlashThreadProc, this, 0, nullptr);
    if (!flashThread)
        flashing = 0;
}

void TrayIcon::StopFlashing()
{
    if (stopEvent)
        SetEvent(stopEvent);
}

BOOL TrayIcon::SetCallbackMessage(UINT message)
{
    Locked lock(&iconLock);
    iconData.uCallbackMessage = message;
    return Notify(NIM_MODIFY, NIF_MESSAGE);
}

BOOL TrayIcon::SetIcon(int iconId)
{
    Locked lock(&iconLock);
    iconData.hIcon = LoadTrayImage(iconId);
    return Notify(NIM_MODIFY, NIF_ICON);
}

BOOL TrayIcon::SetTip(const char* tip)
{
    Locked lock(&iconLock);
    std::strncpy(iconData.szTip, tip, 63);
    iconData.szTip[63] = '\0';
    return Notify(NIM_MODIFY, NIF_TIP);
}

BOOL TrayIcon::Add()
{
    // The flashing thread may be changing the picture: the add carries
    // whichever frame is current, and the next frame follows it.
    Locked lock(&iconLock);
    const UINT flags = NIF_ICON | NIF_TIP | (iconData.uCallbackMessage ? NIF_MESSAGE : 0u);
    // A shell that still shows the icon refuses a second add of it.
    const BOOL shown = Notify(NIM_ADD, flags) || Notify(NIM_MODIFY, flags);
    added = shown ? 1 : 0;
    return shown;
}

void TrayIcon::FlashLoop()
{
    // Only a signalled event ends the loop; a time-out shows the next frame.
    if (WaitForSingleObject(stopEvent, 0) != WAIT_OBJECT_0) {
        for (;;) {
            SetIcon(IDI_WARNING);
            if (WaitForSingleObject(stopEvent, kFramePeriodMs) == WAIT_OBJECT_0)
                break;
            SetIcon(IDI_BLANK);
            if (WaitForSingleObject(stopEvent, kFramePeriodMs) == WAIT_OBJECT_0)
                break;
        }
    }
    SetIcon(IDI_KEYWARDEN);
    ResetEvent(stopEvent);
    // The last touch of the object: after this StartFlashing may start anew.
    flashing = 0;
}

DWORD WINAPI FlashThreadProc(LPVOID param)
{
    static_cast<TrayIcon*>(param)->FlashLoop();
    return 0;
}
