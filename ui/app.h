// The one application object: the message loop and the few values that live
// as long as the process.
#ifndef KEYWARDEN_UI_APP_H
#define KEYWARDEN_UI_APP_H

#include <windows.h>

class Window;
struct RegWatchHandle;

// Long enough for any path GetModuleFileNameA returns plus ".chm".
const DWORD APP_HELP_PATH_SIZE = 32768 + 8;

class App {
public:
    // Initialises the common controls, works out the help path (the
    // executable's with the extension ".chm") and initialises the help system.
    App();
    // Uninitialises the help system.
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The message loop; returns when WM_QUIT arrives.
    virtual void Run();
    // Opens the help file, or says "Can't open the help file <path>" under "Disaster".
    void ShowHelp();

    Window* mainWindow;         // set once the main window exists
    RegWatchHandle* watch;      // set once the watch engine runs
    char helpPath[APP_HELP_PATH_SIZE];
    DWORD helpCookie;
};

// Defined by the program (and by each test that needs one).
extern App theApp;

#endif
