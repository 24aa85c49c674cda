// The "Main" tab: every watched value with its status, and the user's
// actions on them. Owns the watch engine.
#ifndef KEYWARDEN_APP_CHANGES_PAGE_H
#define KEYWARDEN_APP_CHANGES_PAGE_H

#include "engine/regwatch.h"
#include "ui/controls.h"

#include <vector>

struct WatchTarget;
struct RowAction;

class ChangesPage : public Dialog {
public:
    ChangesPage();
    ~ChangesPage() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Creates the engine and starts its thread; 1 when both worked.
    virtual int OnInitDialog();
    LRESULT OnCommand(UINT message, WPARAM wParam, LPARAM lParam);
    void OnRegistryChanged();
    // Posts MSG_REFRESH_LIST unless one is on its way already: a flood of
    // requests ends in one rebuild.
    void RequestRefresh();
    void RefreshList();
    void OnResetAlarm();
    void OnOnlyShowChanges();
    void DeleteSelected();
    void RevertSelected();

    // Nonzero while OnRegistryChanged runs the alert: one alert at a time.
    static int alertShowing;
    // The page while it exists, for the other pages' re-reads.
    static ChangesPage* instance;

    ListView list;
    RegWatchHandle* watch;
    RecordList state;   // the private copy the rows point into
    CheckBox onlyShowChangedBox;
    std::vector<const ChangeEntry*> rows;  // the entry of each list item, in the list's order

protected:
    // Frees a copy the list no longer points into. A rebuild inside a message
    // box of DeleteSelected or RevertSelected frees the copy their walk
    // started from: after a box has been up, the walk reads no entry of it.
    virtual void ReleaseState(RecordList* old);

private:
    int NextSelected(int after);
    std::vector<RowAction> SelectedRows();

    WatchTarget* target;  // the watch thread's way back to the page; see WatchCallback
    bool refreshPending;
    DWORD shownGeneration;     // of the engine state the list shows
    DWORD noticedDifferences;  // the engine's count of differences at the last change notice
};

// The watch thread's callback. userData is what OnInitDialog registered: a
// record that outlives the page, so a page destroyed while the engine's thread
// runs on is never touched. Posts MSG_REGISTRY_CHANGED to the page's window.
int WatchCallback(void* userData);

// The engine's event sink, with the same user data: runs on the thread that
// compared, with the engine's lock held, so it only queues the event for the
// journal and posts MSG_WATCH_STATE to the page when the engine stops or
// starts watching again.
void OnEngineEvent(void* userData, const RegWatchEvent* event);

#endif
