// The "Main" tab: every watched value with its status, and the user's
// actions on them. Owns the watch engine.
#ifndef KEYWARDEN_APP_CHANGES_PAGE_H
#define KEYWARDEN_APP_CHANGES_PAGE_H

#include "engine/regwatch.h"
#include "ui/controls.h"

class ChangesPage : public Dialog {
public:
    ChangesPage();
    ~ChangesPage() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual int OnInitDialog();
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam);
    void OnRegistryChanged();
    void RefreshList();
    void OnResetAlarm();
    void OnOnlyShowChanges();
    void DeleteSelected();
    void RevertSelected();

    static int alertShowing;

    ListView list;
    RegWatchHandle* watch;
    RecordList state;   // the private copy the list items point into
    CheckBox onlyShowChangedBox;
};

// Posts MSG_REGISTRY_CHANGED to the page; runs on the watch thread.
int WatchCallback(void* userData);

#endif
