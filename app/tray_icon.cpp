#include "app/tray_icon.h"

#include "resources/resource.h"

#include <cstring>

TrayIcon* TrayIcon::instance = nullptr;
TrayIconKernel trayIconKernel = {CreateEventA, CreateThread};

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

}  // namespace

TrayIcon::TrayIcon(HWND owner) : flashing(0), stopEvent(nullptr), iconData(), flashThread(nullptr)
{
    if (instance)
        throw TrayException{"Singlton pattern: More than one TrayIcon is not allowed"};
    instance = this;

    iconData.cbSize = static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE);
    iconData.hWnd = owner;
    iconData.uID = kTrayIconUid;
    iconData.uFlags = NIF_ICON | NIF_TIP;
    iconData.hIcon = LoadTrayImage(IDI_KEYWARDEN);
    std::strncpy(iconData.szTip, "Keywarden", 63);
    iconData.szTip[63] = '\0';
    Shell_NotifyIconA(NIM_ADD, &iconData);

    stopEvent = trayIconKernel.createEvent(nullptr, FALSE, FALSE, nullptr);
}

TrayIcon::~TrayIcon()
{
    EndFlashThread();
    if (stopEvent)
        CloseHandle(stopEvent);
    stopEvent = nullptr;
    instance = nullptr;
    Shell_NotifyIconA(NIM_DELETE, &iconData);
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
    iconData.uCallbackMessage = message;
    iconData.uFlags = NIF_MESSAGE;
    return Shell_NotifyIconA(NIM_MODIFY, &iconData);
}

BOOL TrayIcon::SetIcon(int iconId)
{
    iconData.cbSize = static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE);
    iconData.uFlags = NIF_ICON;
    iconData.hIcon = LoadTrayImage(iconId);
    return Shell_NotifyIconA(NIM_MODIFY, &iconData);
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
