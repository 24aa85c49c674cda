// The program's one icon in the notification area, and its flashing.
//
// The user-interface thread constructs, destroys and calls StartFlashing /
// StopFlashing; while flashing, a thread of the object's own alternates the
// warning frames every 600 ms until stopEvent is signalled.
#ifndef KEYWARDEN_APP_TRAY_ICON_H
#define KEYWARDEN_APP_TRAY_ICON_H

#include <windows.h>
#include <shellapi.h>
#include <atomic>
#include <string>

// Thrown when a second TrayIcon is constructed.
struct TrayException {
    std::string message;
};

class TrayIcon {
public:
    // Adds the icon (128, tip "Keywarden") for the owner window at once; added
    // says whether the shell took it. Throws TrayException while another
    // TrayIcon exists.
    explicit TrayIcon(HWND owner);
    // Stops the flashing thread and waits for it, then removes the icon.
    virtual ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Starts the flashing thread unless one runs or is finishing. If the
    // thread cannot be started, flashing stays 0 and the icon stays at rest.
    virtual void StartFlashing();
    // Signals the flashing thread to stop; returns at once.
    virtual void StopFlashing();
    virtual BOOL SetCallbackMessage(UINT message);
    // Shows the icon resource with that id; the flashing thread calls it too.
    virtual BOOL SetIcon(int iconId);
    // Sets the tip, cut to 63 characters. A tip set while the icon is missing
    // comes with the next Add.
    BOOL SetTip(const char* tip);
    // Adds the icon again with its present picture, tip and callback message,
    // as after the taskbar has been (re)created. An icon the shell still shows
    // is brought up to date instead. TRUE when the icon is there.
    BOOL Add();

    // Runs on the flashing thread until stopEvent is signalled; restores 128.
    void FlashLoop();
    // Stops the flashing thread and waits until it has ended. A subclass that
    // overrides SetIcon calls this in its own destructor, so that the thread
    // never calls into a half-destroyed object.
    void EndFlashThread();

    static TrayIcon* instance;

    std::atomic<int> flashing;  // 1 from StartFlashing until the thread's last act
    HANDLE stopEvent;           // auto-reset; owned
    NOTIFYICONDATAA iconData;   // version-1 layout: cbSize is NOTIFYICONDATAA_V1_SIZE
    HANDLE flashThread;         // the latest flashing thread; owned, joined by EndFlashThread
    std::atomic<int> added;     // 1 when the shell took the latest add

private:
    // Each use of iconData and the shell call made with it, on either thread.
    BOOL Notify(DWORD action, UINT flags);

    CRITICAL_SECTION iconLock;  // guards iconData
};

DWORD WINAPI FlashThreadProc(LPVOID param);

// The kernel calls the tray icon makes that can fail; tests replace them to
// see how a failure is handled.
struct TrayIconKernel {
    HANDLE(WINAPI* createEvent)(LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCSTR);
    HANDLE(WINAPI* createThread)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);
};
extern TrayIconKernel trayIconKernel;
// Every Shell_NotifyIconA call of the tray icon goes through this, so that a
// test can make the shell refuse the icon.
extern BOOL(WINAPI* trayIconNotify)(DWORD action, PNOTIFYICONDATAA data);

#endif
