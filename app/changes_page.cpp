#include "app/changes_page.h"

#include "app/accepted_state.h"
#include "app/alert_dialog.h"
#include "app/journal.h"
#include "app/record_text.h"
#include "app/resync_probe.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "ui/app.h"

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

int ChangesPage::alertShowing = 0;

// The watch thread holds this for the life of the process, since the engine
// and its thread never end. The page clears it before it goes away.
struct WatchTarget {
    std::atomic<HWND> page;
};

namespace {

const char kTitle[] = "Keywarden";
const char kErrorCaption[] = "Error";

struct Column {
    const char* header;
    int width;
};

const Column kColumns[] = {
    {"Status", 80}, {"Name", 100}, {"Value", 150}, {"Old Value", 150}, {"Registry Path", 500},
};

bool IsUsable(const ChangeEntry* entry)
{
    return entry && entry->owner && entry->current;
}

const char kCannotStartText[] = "Can't watch the registry because RegWatch_Create() error code";

// Says on the page and in the tray tip whether the registry is watched.
// notice: the page's line while it is not (null keeps the template's).
void ShowWatchState(HWND page, bool watching, const char* notice = nullptr)
{
    const HWND line = GetDlgItem(page, IDC_WATCH_NOTICE);
    if (notice)
        SetWindowTextA(line, notice);
    ShowWindow(line, watching ? SW_HIDE : SW_SHOW);
    if (TrayIcon::instance)
        TrayIcon::instance->SetTip(watching ? "Keywarden" : "Keywarden - not watching");
}

}  // namespace

// What Delete and Revert act on, taken from the rows selected when the user
// pressed the button: a rebuild while a box is up changes neither.
struct RowAction {
    explicit RowAction(const ChangeEntry* entry)
        : probe(entry), status(entry->status), accepted(entry->accepted != 0), type(0)
    {
        // The accepted value: what Revert writes back.
        const ValueRecord* value = ChangeEntry_AcceptedValue(entry);
        if (value && value->data) {
            type = value->type;
            data.assign(reinterpret_cast<const char*>(value->data), value->dataLen);
        }
    }

    ResyncProbe probe;
    DWORD status;
    bool accepted;
    DWORD type;
    std::string data;
};

int WatchCallback(void* userData)
{
    WatchTarget* target = static_cast<WatchTarget*>(userData);
    if (!target)
        return 0;
    HWND page = target->page.load();
    return page ? PostMessageA(page, MSG_REGISTRY_CHANGED, 0, 0) : 0;
}

// On the engine's thread with its lock held: queueing and posting is all it
// may do.
void OnEngineEvent(void* userData, const RegWatchEvent* event)
{
    WatchTarget* target = static_cast<WatchTarget*>(userData);
    if (!target || !event)
        return;
    Journal_EngineEvent(event);
    switch (event->kind) {
    case RegWatchEvent_WatchLost:
    case RegWatchEvent_WatchRestored:
        if (HWND page = target->page.load())
            PostMessageA(page, MSG_WATCH_STATE, event->kind == RegWatchEvent_WatchRestored ? 1 : 0, 0);
        break;
    default:
        break;
    }
}

ChangesPage* ChangesPage::instance = nullptr;

ChangesPage::ChangesPage()
    : watch(nullptr), state(), target(nullptr), refreshPending(false), shownGeneration(0), noticedDifferences(0)
{
    RecordList_Init(&state);
    instance = this;
}

ChangesPage::~ChangesPage()
{
    if (instance == this)
        instance = nullptr;
    if (target)
        target->page.store(nullptr);
    // The engine outlives the page: once this returns, no event reaches the sink.
    if (watch)
        RegWatch_SetEventSink(watch, nullptr, nullptr);
    RegWatch_FreeState(&state);
}

void ChangesPage::ReleaseState(RecordList* old)
{
    RegWatch_FreeState(old);
}

LRESULT ChangesPage::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Nothing may unwind through the system's dialog code: a failed allocation
    // leaves the list as far as it got.
    try {
        switch (message) {
        case WM_INITDIALOG:
            OnInitDialog();
            return 1;
        case WM_COMMAND:
            return OnCommand(message, wParam, lParam);
        case MSG_REGISTRY_CHANGED:
            OnRegistryChanged();
            return 1;
        case MSG_REFRESH_LIST:
            RefreshList();
            return 1;
        case MSG_WATCH_STATE:
            ShowWatchState(hwnd, wParam != 0);
            return 1;
        default:
            return Dialog::WindowProc(message, wParam, lParam);
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int ChangesPage::OnInitDialog()
{
    list.Create(this, IDC_VALUE_LIST);
    list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    for (int column = 0; column < 5; ++column)
        list.InsertColumn(column, kColumns[column].header, LVCFMT_LEFT, kColumns[column].width, column);

    DWORD result = RegWatch_Create(&watch);
    if (result == REGWATCH_OK) {
        theApp.watch = watch;
        if (!RestoreAcceptedState(watch))
            SetDlgItemTextA(hwnd, IDC_STATE_NOTICE,
                            "The accepted state saved by the last run could not be used: a fresh one was taken.");
        Journal_OpenFromSettings();
        Journal_BaselineTaken(watch, "start");
        noticedDifferences = RegWatch_Differences(watch);
        // Held by the engine from here on, thread or not: the sink keeps it.
        target = new WatchTarget;
        target->page.store(hwnd);
        RegWatch_SetEventSink(watch, target, OnEngineEvent);
        result = RegWatch_StartThread(watch, target, WatchCallback);
        RequestRefresh();
    }
    // A thread that never started watches as little as an engine never built.
    if (result != REGWATCH_OK) {
        ShowMessageBox(kCannotStartText, kErrorCaption, MB_ICONEXCLAMATION);
        ShowWatchState(hwnd, false, "Keywarden cannot watch the registry for changes.");
    }

    RecordList_Init(&state);
    onlyShowChangedBox.Create(this, IDC_ONLY_SHOW_CHANGES);
    onlyShowChangedBox.SetCheck(ReadSetting(kSettingOnlyShowChanged) != 0);
    return result == REGWATCH_OK ? 1 : 0;
}

LRESULT ChangesPage::OnCommand(UINT, WPARAM wParam, LPARAM)
{
    switch (LOWORD(wParam)) {
    case IDC_DELETE:
        DeleteSelected();
        return 1;
    case IDC_REGEDIT: {
        // The system's own editor by its full path: a regedit.exe lying in
        // the current folder or beside this program is never started.
        char path[MAX_PATH + 16];
        const UINT length = GetWindowsDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return 1;
        const char* tail = path[length - 1] == '\\' ? "regedit.exe" : "\\regedit.exe";
        std::strcpy(path + length, tail);
        ShellExecuteA(hwnd, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
        return 1;
    }
    case IDC_REVERT:
        RevertSelected();
        return 1;
    case IDC_ONLY_SHOW_CHANGES:
        OnOnlyShowChanges();
        return 1;
    case IDC_RESET_ALARM:
        OnResetAlarm();
        return 1;
    default:
        return 0;
    }
}

void ChangesPage::OnRegistryChanged()
{
    // The engine calls back at every comparison while a value stays Deleted,
    // also for writes elsewhere: a state with nothing new changes nothing
    // here and raises no second alert.
    const DWORD differences = RegWatch_Differences(watch);
    if (differences == noticedDifferences)
        return;
    noticedDifferences = differences;
    if (ReadSetting(kSettingNoTrayIconFlash) == 0 && TrayIcon::instance)
        TrayIcon::instance->StartFlashing();
    if (RegWatch_Generation(watch) != shownGeneration)
        RequestRefresh();
    if (ReadSetting(kSettingPopUpAlert) == 0 || alertShowing)
        return;

    alertShowing = 1;
    AlertDialog alert;
    const INT_PTR result = alert.RunModal(IDD_ALERT, this);
    if (result == 2) {
        if (theApp.mainWindow)
            theApp.mainWindow->Send(MSG_SHOW_PAGE, 0, 0);
    } else if (result == 1) {
        if (watch) {
            RegWatch_Rebaseline(watch);
            Journal_BaselineTaken(watch, "Reset Alarm in the alert");
        }
        RequestRefresh();
    }
    alertShowing = 0;
}

void ChangesPage::RequestRefresh()
{
    if (!refreshPending)
        refreshPending = Post(MSG_REFRESH_LIST, 0, 0) != FALSE;
}

// The list is brought in line with a fresh copy, item by item: a rebuild
// costs what changed, not what is listed.
void ChangesPage::RefreshList()
{
    refreshPending = false;
    const int onlyChanges = onlyShowChangedBox.IsChecked();
    const DWORD generation = RegWatch_Generation(watch);
    RecordList next;
    RecordList_Init(&next);
    if (!watch || RegWatch_CopyState(watch, &next) != REGWATCH_OK) {
        rows.clear();
        list.SetRows(std::vector<ListRow>());
        ReleaseState(&state);
        RecordList_Init(&state);
        return;
    }

    bool anyChange = false;
    std::vector<const ChangeEntry*> nextRows;
    std::vector<ListRow> texts;
    for (WatchedKey* key = WatchedKey_First(&next); key; key = WatchedKey_Next(key)) {
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry)) {
            if (entry->status != Unchanged)
                anyChange = true;
            if ((onlyChanges && entry->status == Unchanged) || !IsUsable(entry))
                continue;
            nextRows.push_back(entry);
            texts.push_back(EntryRow(entry));
        }
    }
    // The latest entry first, as the list has always shown them.
    std::reverse(nextRows.begin(), nextRows.end());
    std::reverse(texts.begin(), texts.end());
    list.SetRows(std::move(texts));
    rows.swap(nextRows);
    ReleaseState(&state);
    state = next;
    shownGeneration = generation;
    if (!anyChange && TrayIcon::instance)
        TrayIcon::instance->StopFlashing();
}

void ChangesPage::OnResetAlarm()
{
    if (TrayIcon::instance)
        TrayIcon::instance->StopFlashing();
    if (watch) {
        RegWatch_Rebaseline(watch);
        Journal_BaselineTaken(watch, "Reset Alarm");
    }
    RequestRefresh();
}

void ChangesPage::OnOnlyShowChanges()
{
    const DWORD checked = static_cast<DWORD>(onlyShowChangedBox.IsChecked());
    WriteSetting(kSettingOnlyShowChanged, &checked);
    RequestRefresh();
}

int ChangesPage::NextSelected(int after)
{
    return static_cast<int>(SendMessageA(list.hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(after),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

std::vector<RowAction> ChangesPage::SelectedRows()
{
    std::vector<RowAction> selected;
    for (int index = NextSelected(-1); index >= 0; index = NextSelected(index)) {
        if (static_cast<size_t>(index) < rows.size())
            selected.emplace_back(rows[static_cast<size_t>(index)]);
    }
    return selected;
}

// The rows are taken before the first box: a rebuild inside any box below
// frees the copy the rows point into, and what the user chose stays chosen.
void ChangesPage::DeleteSelected()
{
    const std::vector<RowAction> chosen = SelectedRows();
    // Only a clear Yes deletes: a question that could not be shown is a No.
    if (ShowMessageBox("Are you sure you want to delete the selected items?", kTitle,
                       MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;

    for (const RowAction& row : chosen) {
        if (row.status == Deleted) {
            ShowMessageBox("That value IS deleted already. Use revert to bring it back.", kErrorCaption,
                           MB_ICONEXCLAMATION);
            return;
        }
        HKEY key = nullptr;
        LONG result = row.probe.OpenKey(KEY_SET_VALUE, &key);
        if (result != ERROR_SUCCESS) {
            Journal_UserDeleted(row.probe, row.status, result);
            continue;
        }
        result = RegDeleteValueA(key, row.probe.name.c_str());
        Journal_UserDeleted(row.probe, row.status, result);
        if (result != ERROR_SUCCESS)
            ShowMessageBox("Can't delete that value.", kErrorCaption, MB_ICONEXCLAMATION);
        RegCloseKey(key);
        row.probe.Resync(watch);
        RequestRefresh();
    }
}

// Revert restores what the user accepted: an accepted value gets its accepted
// type and data back; a value that was never accepted is deleted, or, when it
// is gone already, only re-read so that its row goes.
void ChangesPage::RevertSelected()
{
    for (const RowAction& row : SelectedRows()) {
        if (row.status == Unchanged) {
            ShowMessageBox("That item hasn't chaned as far as I know - let me re-check then try again",
                           kErrorCaption, MB_ICONEXCLAMATION);
            continue;
        }
        if (row.status != New && row.status != Changed && row.status != Deleted) {
            ShowMessageBox("Don't know how to revert that item", kErrorCaption, MB_ICONEXCLAMATION);
            continue;
        }

        LONG result = ERROR_SUCCESS;
        if (row.accepted || row.status != Deleted) {
            HKEY key = nullptr;
            result = row.probe.OpenKey(KEY_SET_VALUE, &key);
            if (result == ERROR_SUCCESS) {
                if (row.accepted)
                    result = RegSetValueExA(key, row.probe.name.c_str(), 0, row.type,
                                            reinterpret_cast<const BYTE*>(row.data.data()),
                                            static_cast<DWORD>(row.data.size()));
                else
                    result = RegDeleteValueA(key, row.probe.name.c_str());
                RegCloseKey(key);
            }
        }
        Journal_UserReverted(row.probe, row.status, row.accepted, row.type, row.data, result);
        if (result != ERROR_SUCCESS) {
            ShowMessageBox("Can't revert that item.", kErrorCaption, MB_ICONEXCLAMATION);
            continue;
        }
        row.probe.Resync(watch);
        RequestRefresh();
    }
}
