#include "app/changes_page.h"

#include "app/alert_dialog.h"
#include "app/record_text.h"
#include "app/resync_probe.h"
#include "app/settings.h"
#include "app/tray_icon.h"
#include "resources/resource.h"
#include "ui/app.h"

#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

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

const char* StatusText(DWORD status)
{
    switch (status) {
    case Unchanged:
        return "Unchanged";
    case New:
        return "New (Added)";
    case Changed:
        return "Changed";
    case Deleted:
        return "Deleted";
    default:
        return "Unknown";
    }
}

bool IsUsable(const ChangeEntry* entry)
{
    return entry && entry->owner && entry->current;
}

LONG WriteRecord(HKEY key, const ValueRecord* record)
{
    if (!record)
        return ERROR_INVALID_DATA;
    return RegSetValueExA(key, record->name, 0, record->type, record->data, record->dataLen);
}

}  // namespace

int WatchCallback(void* userData)
{
    WatchTarget* target = static_cast<WatchTarget*>(userData);
    if (!target)
        return 0;
    HWND page = target->page.load();
    return page ? PostMessageA(page, MSG_REGISTRY_CHANGED, 0, 0) : 0;
}

ChangesPage::ChangesPage() : watch(nullptr), state(), target(nullptr)
{
    RecordList_Init(&state);
}

ChangesPage::~ChangesPage()
{
    if (target)
        target->page.store(nullptr);
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
    if (result != REGWATCH_OK) {
        ShowMessageBox("Can't watch the registry because RegWatch_Create() error code", kErrorCaption,
                       MB_ICONEXCLAMATION);
    } else {
        theApp.watch = watch;
        target = new WatchTarget;
        target->page.store(hwnd);
        result = RegWatch_StartThread(watch, target, WatchCallback);
        if (result != REGWATCH_OK) {
            delete target;  // no thread holds it
            target = nullptr;
        }
        Post(MSG_REFRESH_LIST, 0, 0);
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
    if (ReadSetting(kSettingNoTrayIconFlash) == 0 && TrayIcon::instance)
        TrayIcon::instance->StartFlashing();
    Post(MSG_REFRESH_LIST, 0, 0);
    if (ReadSetting(kSettingPopUpAlert) == 0 || alertShowing)
        return;

    alertShowing = 1;
    AlertDialog alert;
    const INT_PTR result = alert.RunModal(IDD_ALERT, this);
    if (result == 2) {
        if (theApp.mainWindow)
            theApp.mainWindow->Send(MSG_SHOW_PAGE, 0, 0);
    } else if (result == 1) {
        // The list keeps its statuses until the next rebuild.
        if (watch)
            RegWatch_Rebaseline(watch);
    }
    alertShowing = 0;
}

void ChangesPage::RefreshList()
{
    const int onlyChanges = onlyShowChangedBox.IsChecked();
    list.DeleteAllItems();
    ReleaseState(&state);
    RecordList_Init(&state);
    if (!watch || RegWatch_CopyState(watch, &state) != REGWATCH_OK)
        return;

    bool anyChange = false;
    for (WatchedKey* key = WatchedKey_First(&state); key; key = WatchedKey_Next(key)) {
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry)) {
            if (onlyChanges && entry->status == Unchanged)
                continue;
            InsertRow(entry);
            if (entry->status != Unchanged)
                anyChange = true;
        }
    }
    if (!anyChange && TrayIcon::instance)
        TrayIcon::instance->StopFlashing();
}

void ChangesPage::InsertRow(const ChangeEntry* entry)
{
    if (!IsUsable(entry))
        return;
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = const_cast<char*>(StatusText(entry->status));
    item.lParam = reinterpret_cast<LPARAM>(entry);
    SendMessageA(list.hwnd, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));

    auto setText = [this](int subItem, const std::string& text) {
        LVITEMA cell{};
        cell.iSubItem = subItem;
        cell.pszText = const_cast<char*>(text.c_str());
        SendMessageA(list.hwnd, LVM_SETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&cell));
    };
    setText(1, RecordNameText(entry->current));
    setText(2, RecordDataText(entry->current));
    if (entry->previous && entry->previous->dataLen != 0)
        setText(3, RecordDataText(entry->previous));
    const char* hive = RegWatch_HiveName(entry->owner->root);
    std::string path = hive ? hive : "";
    path += '\\';
    path += entry->owner->subkey ? entry->owner->subkey : "";
    setText(4, path);
}

void ChangesPage::OnResetAlarm()
{
    if (TrayIcon::instance)
        TrayIcon::instance->StopFlashing();
    if (watch)
        RegWatch_Rebaseline(watch);
    Post(MSG_REFRESH_LIST, 0, 0);
}

void ChangesPage::OnOnlyShowChanges()
{
    const DWORD checked = static_cast<DWORD>(onlyShowChangedBox.IsChecked());
    WriteSetting(kSettingOnlyShowChanged, &checked);
    Post(MSG_REFRESH_LIST, 0, 0);
}

int ChangesPage::NextSelected(int after)
{
    return static_cast<int>(SendMessageA(list.hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(after),
                                         MAKELPARAM(LVNI_SELECTED, 0)));
}

// A rebuild may run inside any message box below and free the entry being
// worked on; after a box, only the probe is used. The rebuild also empties
// the selection, which ends the walk.
void ChangesPage::DeleteSelected()
{
    // Only a clear Yes deletes: a question that could not be shown is a No.
    if (ShowMessageBox("Are you sure you want to delete the selected items?", kTitle,
                       MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;

    for (int index = NextSelected(-1); index >= 0; index = NextSelected(index)) {
        const ChangeEntry* entry = reinterpret_cast<const ChangeEntry*>(list.GetItemParam(index));
        if (!IsUsable(entry))
            continue;
        if (entry->status == Deleted) {
            ShowMessageBox("That value IS deleted already. Use revert to bring it back.", kErrorCaption,
                           MB_ICONEXCLAMATION);
            return;
        }
        const ResyncProbe probe(entry);
        entry = nullptr;

        HKEY key = nullptr;
        if (RegOpenKeyA(probe.root, probe.subkey.c_str(), &key) != ERROR_SUCCESS)
            continue;
        if (RegDeleteValueA(key, probe.name.c_str()) != ERROR_SUCCESS)
            ShowMessageBox("Can't delete that value.", kErrorCaption, MB_ICONEXCLAMATION);
        RegCloseKey(key);
        probe.Resync(watch);
        Post(MSG_REFRESH_LIST, 0, 0);
    }
}

void ChangesPage::RevertSelected()
{
    for (int index = NextSelected(-1); index >= 0; index = NextSelected(index)) {
        const ChangeEntry* entry = reinterpret_cast<const ChangeEntry*>(list.GetItemParam(index));
        if (!IsUsable(entry))
            continue;
        const ResyncProbe probe(entry);

        HKEY key = nullptr;
        if (RegOpenKeyA(probe.root, probe.subkey.c_str(), &key) != ERROR_SUCCESS)
            continue;

        LONG result = ERROR_SUCCESS;
        switch (entry->status) {
        case Unchanged:
            ShowMessageBox("That item hasn't chaned as far as I know - let me re-check then try again",
                           kErrorCaption, MB_ICONEXCLAMATION);
            break;
        case New:
            result = RegDeleteValueA(key, probe.name.c_str());
            break;
        case Changed:
            result = WriteRecord(key, entry->previous);
            break;
        case Deleted:
            result = WriteRecord(key, entry->current);
            break;
        default:
            ShowMessageBox("Don't know how to revert that item", kErrorCaption, MB_ICONEXCLAMATION);
            break;
        }
        entry = nullptr;

        if (result != ERROR_SUCCESS) {
            ShowMessageBox("Can't revert that item.", kErrorCaption, MB_ICONEXCLAMATION);
            RegCloseKey(key);
            continue;
        }
        probe.Resync(watch);
        Post(MSG_REFRESH_LIST, 0, 0);
        RegCloseKey(key);
    }
}
