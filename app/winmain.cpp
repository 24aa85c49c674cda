#include "app/main_dialog.h"
#include "app/program.h"
// <windows.h> names a system icon IDI_WARNING; the program's own icon takes the name.
#undef IDI_WARNING
#include "resources/resource.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    MainDialog mainDialog;
    return RunProgram(mainDialog, IDD_MAIN, commandLine);
}
