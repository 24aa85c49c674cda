// Registry data shown as text: bounded by its length, ended by its first
// zero byte.
#include "app/record_text.h"

#include <gtest/gtest.h>

TEST(RecordDataText, StopsAtTheFirstZeroByteAndNeverReadsPastTheData)
{
    // The data ends where a page of no access begins: a read past it faults.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const SIZE_T pageSize = system.dwPageSize;
    BYTE* block = static_cast<BYTE*>(VirtualAlloc(nullptr, pageSize * 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(block + pageSize, pageSize, PAGE_NOACCESS, &old));

    BYTE* data = block + pageSize - 3;
    data[0] = 'A';
    data[1] = 'B';
    data[2] = 'C';
    ValueRecord record{};
    record.data = data;
    record.dataLen = 3;
    EXPECT_EQ(RecordDataText(&record), "ABC");

    data[1] = 0;
    EXPECT_EQ(RecordDataText(&record), "A");

    const DWORD one = 1, zero = 0;
    record.data = const_cast<BYTE*>(reinterpret_cast<const BYTE*>(&one));
    record.dataLen = sizeof one;
    EXPECT_EQ(RecordDataText(&record), std::string(1, '\x01'));
    record.data = const_cast<BYTE*>(reinterpret_cast<const BYTE*>(&zero));
    EXPECT_EQ(RecordDataText(&record), "");
    record.data = nullptr;
    EXPECT_EQ(RecordDataText(&record), "");
    EXPECT_EQ(RecordDataText(nullptr), "");

    VirtualFree(block, 0, MEM_RELEASE);
}
