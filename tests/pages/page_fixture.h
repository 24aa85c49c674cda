// In-process fixture for the Changes page: a hidden host window, a tray icon
// that records instead of flashing, and the registry put back afterwards.
#ifndef KEYWARDEN_TESTS_PAGES_PAGE_FIXTURE_H
#define KEYWARDEN_TESTS_PAGES_PAGE_FIXTURE_H

#include "app/changes_page.h"
#include "app/tray_icon.h"
#include "tests/pages/registry_helpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

class RecordingTrayIcon : public TrayIcon {
public:
    explicit RecordingTrayIcon(HWND owner) : TrayIcon(owner) {}
    void StartFlashing() override;
    void StopFlashing() override;
    BOOL SetIcon(int iconId) override;

    int starts = 0;
    int stops = 0;
    bool flashingNow = false;
    std::vector<int> icons;
};

// Counts rebuilds; with poison set it keeps every released copy, scribbled
// over, until the page goes, so that a walk still using one reads nonsense.
class TestChangesPage : public ChangesPage {
public:
    ~TestChangesPage() override;

    int rebuilds = 0;
    bool poison = false;

protected:
    void ReleaseState(RecordList* old) override;

private:
    std::vector<RecordList> released;
};

class ChangesPageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the page and waits for its first rebuild.
    void OpenPage();
    void ClosePage();
    void SetSetting(const char* name, DWORD value);

    std::vector<kwtest::Row> Rows();
    // Pumps messages until the rows satisfy the predicate.
    bool WaitForRows(const std::function<bool(const std::vector<kwtest::Row>&)>& done, DWORD timeoutMs = 5000);
    int RowOf(const std::string& name);
    void Select(const std::vector<int>& rows);
    // Waits for the watch thread's notification and takes it off the queue,
    // so that no rebuild runs before the test wants one.
    bool SwallowNotification(DWORD timeoutMs = 5000);

    std::unique_ptr<kwtest::RegistrySnapshot> snapshot;
    Window host;
    RecordingTrayIcon* tray = nullptr;
    TestChangesPage* page = nullptr;
};

bool HasRow(const std::vector<kwtest::Row>& rows, const std::string& status, const std::string& name);

#endif
