// Each scenario starts the real keywarden.exe in the test prefix and puts
// the watched keys and the settings back as it found them.
#ifndef KEYWARDEN_TESTS_E2E_E2E_FIXTURE_H
#define KEYWARDEN_TESTS_E2E_E2E_FIXTURE_H

#include "tests/e2e/keywarden_process.h"
#include "tests/pages/registry_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Control ids of the program's windows.
enum {
    kOk = 1, kGoAway = 2, kTabs = 1007, kList = 1022, kDelete = 1023, kRegistryEditor = 1025, kRevert = 1026,
    kOnlyShowChanges = 1027, kResetAlarm = 1028, kShowChanges = 1034, kHelp = 1038,
};

extern const char kAlertCaption[];

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program and waits for its main window.
    KeywardenProcess& Start(const std::string& arguments = "");
    // Asks the main window to end the program, as another program would.
    long Quit();
    void SetSetting(const char* name, DWORD value);
    DWORD Setting(const char* name);
    // regwriter from a process of its own: "<commands>" on HKCU or HKLM.
    void WriteFromOutside(HKEY root, const char* subkey, const std::string& commands);

    std::unique_ptr<kwtest::RegistrySnapshot> snapshot;
    std::unique_ptr<KeywardenProcess> app;
};

// The row of that value, or an empty row.
kwtest::Row RowNamed(const std::vector<kwtest::Row>& rows, const std::string& name);
kwtest::Row MakeRow(const char* status, const std::string& name, const std::string& value,
                    const std::string& oldValue, HKEY root, const char* subkey);

#endif
