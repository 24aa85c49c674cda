// Run-time access to the HTML Help library, found through its registered
// class and loaded on first use. A library that failed to load is not tried
// again; once loaded it stays loaded for the life of the process.
#ifndef KEYWARDEN_UI_HTMLHELP_H
#define KEYWARDEN_UI_HTMLHELP_H

#include <windows.h>

typedef HWND (WINAPI* HtmlHelpEntry)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

// Same arguments and result as HtmlHelpA; 0 when the library or its entry
// point cannot be had. User-interface thread only.
HWND CallHtmlHelp(HWND owner, const char* file, UINT command, DWORD_PTR data);

// Fills buffer (size bytes) with the registered path of the HTML Help
// control library, always terminated; 1 when found, else 0 with buffer empty.
int FindHtmlHelpLibrary(char* buffer, DWORD size);

// The loader's state, all zero at start. Visible so that tests can start
// from a known state and put it back.
extern HMODULE htmlHelpModule;
extern HtmlHelpEntry htmlHelpEntry;
extern int htmlHelpFailed;

// How the loader loads a library file: LoadLibraryA while null. A test may
// put a failing or counting load in its place.
extern HMODULE (WINAPI* htmlHelpLoadLibrary)(LPCSTR path);

#endif
