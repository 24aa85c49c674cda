#include "app/main_dialog.h"
#include "app/program.h"
#include "resources/resource.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    MainDialog mainDialog;
    return RunProgram(mainDialog, IDD_MAIN, commandLine);
}
