#include "app/program.h"

#include "app/main_dialog.h"
#include "ui/app.h"

#include <cstring>

const char kStartFailedText[] = "Keywarden could not build its window and has to stop.";

int StartsInTray(const char* commandLine)
{
    return commandLine && std::strstr(commandLine, "-tray") ? 1 : 0;
}

int RunProgram(MainDialog& mainDialog, int templateId, const char* commandLine)
{
    bool created = true;
    try {
        mainDialog.Create(nullptr, templateId);
    } catch (...) {
        created = false;
    }
    if (!created || mainDialog.InitFailed()) {
        if (mainDialog.hwnd)
            DestroyWindow(mainDialog.hwnd);  // takes down what was built
        MessageBoxA(nullptr, kStartFailedText, "Error", MB_ICONEXCLAMATION);
        return 1;
    }

    theApp.mainWindow = &mainDialog;
    if (!StartsInTray(commandLine))
        mainDialog.Show(SW_SHOW);
    theApp.Run();

    DestroyWindow(mainDialog.hwnd);  // WM_DESTROY removes the pages and the tray icon
    theApp.mainWindow = nullptr;
    return 0;
}
