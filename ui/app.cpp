#include "ui/app.h"
#include "ui/window.h"
#include "ui/htmlhelp.h"

#include <commctrl.h>
#include <htmlhelp.h>
#include <shlwapi.h>
#include <stdio.h>
#include <string.h>

BOOL (WINAPI* appGetMessage)(LPMSG, HWND, UINT, UINT) = nullptr;

int BuildHelpPath(const char* modulePath, char* buffer, DWORD size)
{
    static const char extension[] = ".chm";
    if (size == 0)
        return 0;
    buffer[0] = '\0';
    size_t length = strlen(modulePath);
    if (length >= size)
        return 0;
    memcpy(buffer, modulePath, length + 1);
    char* dot = PathFindExtensionA(buffer);
    size_t stem = static_cast<size_t>(dot - buffer);
    if (stem + sizeof extension > size) {
        buffer[0] = '\0';
        return 0;
    }
    memcpy(dot, extension, sizeof extension);
    return 1;
}

App::App() : mainWindow(nullptr), watch(nullptr), helpCookie(0)
{
    InitCommonControls();

    helpPath[0] = '\0';
    // A truncated module path would name some other file: leave the help path
    // empty instead, so Help reports that it cannot open the file.
    char modulePath[APP_HELP_PATH_SIZE];
    DWORD length = GetModuleFileNameA(nullptr, modulePath, APP_HELP_PATH_SIZE);
    if (length > 0 && length < APP_HELP_PATH_SIZE)
        BuildHelpPath(modulePath, helpPath, APP_HELP_PATH_SIZE);

    CallHtmlHelp(nullptr, nullptr, HH_INITIALIZE, reinterpret_cast<DWORD_PTR>(&helpCookie));
}

App::~App()
{
    CallHtmlHelp(nullptr, nullptr, HH_UNINITIALIZE, helpCookie);
}

void App::Run()
{
    BOOL (WINAPI* fetch)(LPMSG, HWND, UINT, UINT) = appGetMessage ? appGetMessage : &GetMessageA;
    MSG message;
    BOOL result;
    while ((result = fetch(&message, nullptr, 0, 0)) != 0) {
        if (result == -1)
            continue;
        // Modal dialogs and message boxes run loops of their own: only the
        // main window, the one modeless dialog, is served here.
        Window* main = mainWindow;
        if (main && main->hwnd && main->PreTranslateMessage(&message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void App::ShowHelp()
{
    if (CallHtmlHelp(GetDesktopWindow(), helpPath, HH_DISPLAY_TOPIC, 0))
        return;
    static const char prefix[] = "Can't open the help file ";
    char text[sizeof prefix + APP_HELP_PATH_SIZE];
    snprintf(text, sizeof text, "%s%s", prefix, helpPath);
    MessageBoxA(nullptr, text, "Disaster", MB_OK);
}
