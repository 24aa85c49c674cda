#include "tests/pages/page_fixture.h"

#include "app/settings.h"
#include "tests/support/test_support.h"

#undef IDI_WARNING
#include "resources/resource.h"

#include <cstring>

using testing_support::PumpUntil;

void RecordingTrayIcon::StartFlashing()
{
    ++starts;
    flashingNow = true;
}

void RecordingTrayIcon::StopFlashing()
{
    ++stops;
    flashingNow = false;
}

BOOL RecordingTrayIcon::SetIcon(int iconId)
{
    icons.push_back(iconId);
    return TRUE;
}

TestChangesPage::~TestChangesPage()
{
    for (RecordList& copy : released)
        RegWatch_FreeState(&copy);
}

void TestChangesPage::ReleaseState(RecordList* old)
{
    ++rebuilds;
    if (!poison) {
        ChangesPage::ReleaseState(old);
        return;
    }
    for (WatchedKey* key = WatchedKey_First(old); key; key = WatchedKey_Next(key)) {
        key->root = HKEY_CLASSES_ROOT;
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry)) {
            entry->status = static_cast<ChangeStatus>(0x7777);
            for (ValueRecord* record : {entry->current, entry->previous}) {
                if (!record)
                    continue;
                std::memset(record->name, '#', record->nameLen);
                if (record->data)
                    std::memset(record->data, '#', record->dataLen);
            }
        }
    }
    released.push_back(*old);
    RecordList_Init(old);
}

void ChangesPageTest::SetUp()
{
    snapshot.reset(new kwtest::RegistrySnapshot);
    SetSetting(kSettingPopUpAlert, 0);
    SetSetting(kSettingNoTrayIconFlash, 0);
    SetSetting(kSettingOnlyShowChanged, 0);
    host.hwnd = CreateWindowExA(0, "STATIC", "page host", WS_POPUP, 0, 0, 800, 400, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(host.hwnd, nullptr);
    tray = new RecordingTrayIcon(host.hwnd);
}

void ChangesPageTest::TearDown()
{
    ClosePage();
    delete tray;
    tray = nullptr;
    if (host.hwnd)
        DestroyWindow(host.hwnd);
    host.hwnd = nullptr;
    snapshot.reset();
    ChangesPage::alertShowing = 0;
}

void ChangesPageTest::OpenPage()
{
    page = new TestChangesPage;
    page->Create(&host, IDD_CHANGES_PAGE);
    ASSERT_TRUE(PumpUntil([this] { return page->rebuilds > 0; }, 5000)) << "the first rebuild never ran";
}

void ChangesPageTest::ClosePage()
{
    if (!page)
        return;
    if (page->hwnd)
        DestroyWindow(page->hwnd);
    delete page;
    page = nullptr;
    testing_support::PumpMessages(20);
}

void ChangesPageTest::SetSetting(const char* name, DWORD value)
{
    WriteSetting(name, &value);
}

std::vector<kwtest::Row> ChangesPageTest::Rows()
{
    std::vector<kwtest::Row> rows;
    const int count = static_cast<int>(SendMessageA(page->list.hwnd, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        kwtest::Row row;
        for (int column = 0; column < 5; ++column) {
            char text[1024] = "";
            LVITEMA item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(page->list.hwnd, LVM_GETITEMTEXTA, static_cast<WPARAM>(index),
                         reinterpret_cast<LPARAM>(&item));
            row[static_cast<size_t>(column)] = text;
        }
        rows.push_back(row);
    }
    return rows;
}

bool ChangesPageTest::WaitForRows(const std::function<bool(const std::vector<kwtest::Row>&)>& done, DWORD timeoutMs)
{
    return PumpUntil([&] { return done(Rows()); }, timeoutMs);
}

int ChangesPageTest::RowOf(const std::string& name)
{
    std::vector<kwtest::Row> rows = Rows();
    for (size_t index = 0; index < rows.size(); ++index)
        if (rows[index][1] == name)
            return static_cast<int>(index);
    return -1;
}

void ChangesPageTest::Select(const std::vector<int>& rows)
{
    for (int index : rows) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        SendMessageA(page->list.hwnd, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
}

bool ChangesPageTest::SwallowNotification(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    MSG message;
    while (!PeekMessageA(&message, page->hwnd, MSG_REGISTRY_CHANGED, MSG_REGISTRY_CHANGED, PM_REMOVE)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

bool HasRow(const std::vector<kwtest::Row>& rows, const std::string& status, const std::string& name)
{
    for (const kwtest::Row& row : rows)
        if (row[0] == status && row[1] == name)
            return true;
    return false;
}
