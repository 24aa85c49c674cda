// The desktop around the program: Wine's notification area, real mouse
// clicks and screenshots, both done by X tools that the driver starts
// (Wine runs Unix programs given by their Unix path).
#ifndef KEYWARDEN_TESTS_E2E_DESKTOP_H
#define KEYWARDEN_TESTS_E2E_DESKTOP_H

#include <windows.h>

#include <string>
#include <vector>

// The icons in Wine's notification area, one window each, in order.
std::vector<HWND> TrayIconWindows();
// The icon window showing the icon that this window added; null if none
// comes within the time. Other programs' icons may come and go meanwhile.
HWND WaitForTrayIconOf(HWND owner, DWORD timeoutMs = 5000);
// Whether the notification area holds the icon with this owner and id.
bool TrayHasIcon(HWND owner, UINT id);

// Runs a Unix program with these arguments and waits; its exit code or -1.
int RunHostProgram(const std::string& commandLine);
// A real click of the X pointer in the middle of the window.
bool ClickWithMouse(HWND window, int button = 1);
// Saves what the screen shows of the window as <build>/screenshots/<name>.png.
bool SaveWindowScreenshot(HWND window, const std::string& name);

#endif
