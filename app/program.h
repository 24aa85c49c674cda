// The program's run from start to exit, apart from the entry point itself so
// that tests can run it with a template of their choosing.
#ifndef KEYWARDEN_APP_PROGRAM_H
#define KEYWARDEN_APP_PROGRAM_H

class MainDialog;

// 1 when the command line holds "-tray" anywhere (case-sensitive).
int StartsInTray(const char* commandLine);

// Creates the main window from the template, shows it unless the command line
// asks for the tray, runs the message loop until WM_QUIT and takes the window
// down. Returns the exit code: 0, or 1 when the window could not be built, in
// which case the user has been told in a message box.
int RunProgram(MainDialog& mainDialog, int templateId, const char* commandLine);

// The text of that message box.
extern const char kStartFailedText[];

#endif
