// Dialogs built from the program's dialog templates, modeless or modal.
#ifndef KEYWARDEN_UI_DIALOG_H
#define KEYWARDEN_UI_DIALOG_H

#include "ui/window.h"

// Dialog procedure of every Dialog: binds the object at WM_INITDIALOG (the
// creation parameter) and routes every message through StaticWindowProc. The
// object's result goes to the dialog manager unchanged.
INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

class Dialog : public Window {
public:
    // Creates a modeless dialog from the template with that id, owned by the
    // parent (may be null); a child-window template becomes the parent's
    // child. WM_INITDIALOG arrives before this returns, with hwnd already set.
    // Never shows the window. Throws int 0 when the dialog cannot be created.
    int Create(Window* parent, int templateId) override;
    // Ends the dialog with 0 on WM_CLOSE; everything else goes to Window's,
    // which answers 0 (default dialog processing).
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The dialog manager's keyboard handling (Tab, Enter, Esc, mnemonics) for
    // a modeless dialog; it dispatches whatever it takes. Child dialogs with
    // DS_CONTROL are navigated as part of the dialog that holds them.
    int PreTranslateMessage(MSG* message) override;

    // Runs the dialog modally; returns the value given to End, or -1 when the
    // dialog could not be created. The object must outlive the call.
    INT_PTR RunModal(int templateId, Window* owner);
    BOOL End(INT_PTR result);
};

#endif
