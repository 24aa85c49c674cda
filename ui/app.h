// The one application object: the message loop and the few values that live
// as long as the process.
#ifndef KEYWARDEN_UI_APP_H
#define KEYWARDEN_UI_APP_H

#include <windows.h>

class Window;
struct RegWatchHandle;

// Room for the longest path GetModuleFileNameA can return plus ".chm".
const DWORD APP_HELP_PATH_SIZE = 32768 + 8;

class App {
public:
    // Initialises the common controls, works out the help path (the
    // executable's with the extension ".chm") and initialises the help system,
    // which loads the HTML Help library.
    App();
    // Uninitialises the help system.
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The message loop; skips a failed fetch and returns when WM_QUIT arrives.
    // Each message is offered to the main window first (PreTranslateMessage),
    // which gives its dialog keyboard handling.
    virtual void Run();
    // Opens the help file, or says "Can't open the help file <path>" in an
    // unowned box under "Disaster".
    void ShowHelp();

    Window* mainWindow;         // set once the main window exists
    RegWatchHandle* watch;      // set once the watch engine runs
    char helpPath[APP_HELP_PATH_SIZE];
    DWORD helpCookie;
};

// Writes into buffer (size bytes) the help path for the executable at
// modulePath: its last component's extension replaced by ".chm", or ".chm"
// appended when it has none. Returns 1, or 0 with an empty buffer when the
// result would not fit.
int BuildHelpPath(const char* modulePath, char* buffer, DWORD size);

// How Run fetches messages: GetMessageA while null. A test may put a failing
// fetch in its place.
extern BOOL (WINAPI* appGetMessage)(LPMSG message, HWND window, UINT first, UINT last);

// Defined by the program (and by each test that needs one).
extern App theApp;

#endif
