// Run-time access to the HTML Help library, found through its registered
// class and loaded on first use. A library that failed to load is not tried
// again.
#ifndef KEYWARDEN_UI_HTMLHELP_H
#define KEYWARDEN_UI_HTMLHELP_H

#include <windows.h>

// Same arguments and result as HtmlHelpA; 0 when the library or its entry
// point cannot be had.
HWND CallHtmlHelp(HWND owner, const char* file, UINT command, DWORD_PTR data);

// Fills buffer (size bytes) with the registered path of the HTML Help
// control library; 1 when found, else 0.
int FindHtmlHelpLibrary(char* buffer, DWORD size);

#endif
