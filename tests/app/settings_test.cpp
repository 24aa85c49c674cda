// The settings store against the real registry of the test prefix.
#include "app/settings.h"
#include "tests/app/registry_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void Store(DWORD type, const void* data, DWORD size)
    {
        WriteRaw(kSettingsKey, kSettingPopUpAlert, type, data, size);
    }
    SavedSettings saved;
};

TEST_F(SettingsTest, MissingKeyOrValueReadsZero)
{
    saved.DeleteKey();
    ASSERT_FALSE(KeyExists(kSettingsKey));
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));

    const DWORD one = 1;
    Store(REG_DWORD, &one, sizeof one);
    DeleteRaw(kSettingsKey, kSettingPopUpAlert);
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
}

TEST_F(SettingsTest, StoredNumberReadsBackWhole)
{
    const DWORD two = 2;
    Store(REG_DWORD, &two, sizeof two);
    EXPECT_EQ(2u, ReadSetting(kSettingPopUpAlert));

    const DWORD big = 0x89ABCDEFu;
    Store(REG_DWORD, &big, sizeof big);
    EXPECT_EQ(0x89ABCDEFu, ReadSetting(kSettingPopUpAlert));
}

TEST_F(SettingsTest, FourBytesOfAnotherTypeReadAsLittleEndianNumber)
{
    const BYTE binary[4] = {0x01, 0x02, 0x03, 0x04};
    Store(REG_BINARY, binary, sizeof binary);
    EXPECT_EQ(0x04030201u, ReadSetting(kSettingPopUpAlert));

    Store(REG_SZ, "abc", 4);
    EXPECT_EQ(0x00636261u, ReadSetting(kSettingPopUpAlert));
}

TEST_F(SettingsTest, DataLongerThanFourBytesReadsZero)
{
    const BYTE five[5] = {1, 1, 1, 1, 1};
    Store(REG_BINARY, five, sizeof five);
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));

    const unsigned long long qword = 1;
    Store(REG_QWORD, &qword, sizeof qword);
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
}

TEST_F(SettingsTest, DataShorterThanFourBytesIsZeroFilled)
{
    // A read of all ones just before leaves its bytes where an unfilled
    // buffer would pick them up.
    const DWORD ones = 0xFFFFFFFFu;
    WriteRaw(kSettingsKey, kSettingOnlyShowChanged, REG_DWORD, &ones, sizeof ones);
    ASSERT_EQ(0xFFFFFFFFu, ReadSetting(kSettingOnlyShowChanged));
    const BYTE two[2] = {0x34, 0x12};
    Store(REG_BINARY, two, sizeof two);
    EXPECT_EQ(0x1234u, ReadSetting(kSettingPopUpAlert));

    const BYTE one[1] = {0x7F};
    Store(REG_BINARY, one, sizeof one);
    EXPECT_EQ(0x7Fu, ReadSetting(kSettingPopUpAlert));

    Store(REG_BINARY, nullptr, 0);
    EXPECT_EQ(0u, ReadSetting(kSettingPopUpAlert));
}

TEST_F(SettingsTest, WriteCreatesTheKeyAndStoresADword)
{
    saved.DeleteKey();
    const DWORD value = 1;
    EXPECT_EQ(ERROR_SUCCESS, WriteSetting(kSettingNoTrayIconFlash, &value));

    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadRaw(kSettingsKey, kSettingNoTrayIconFlash, &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0}), data);
    EXPECT_EQ(1u, ReadSetting(kSettingNoTrayIconFlash));
}

TEST_F(SettingsTest, WriteReportsAValueThatCouldNotBeStored)
{
    // Longer than any value name the registry accepts.
    const std::string name(20000, 'x');
    const DWORD value = 1;
    EXPECT_NE(ERROR_SUCCESS, WriteSetting(name.c_str(), &value));
    EXPECT_EQ(0u, ReadSetting(name.c_str()));
}

}  // namespace
