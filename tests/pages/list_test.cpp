// In process: the texts the Changes page shows for each type of value.
#include "app/record_text.h"

#include <gtest/gtest.h>

TEST(RecordText, EachTypeShowsAsTheRegistryEditorShowsItWithinItsLength)
{
    const std::string longBinary(65, '\xab');
    const struct {
        DWORD type;
        std::string data;
        const char* shown;
    } cases[] = {
        {REG_SZ, std::string("C:\\a.exe\0junk", 13), "C:\\a.exe"},
        {REG_SZ, "no end", "no end"},
        {REG_EXPAND_SZ, std::string("%X%\0", 4), "%X%"},
        {REG_DWORD, std::string("\x00\x01\x00\x00", 4), "0x00000100 (256)"},
        {REG_DWORD, "\x01\x02\x03", "01 02 03"},
        {REG_QWORD, std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8), "0x0000000100000000 (4294967296)"},
        {REG_MULTI_SZ, std::string("one\0two\0\0ignored", 16), "one two"},
        {REG_MULTI_SZ, std::string("one\0tw", 6), "one tw"},
        {REG_BINARY, std::string("\x00\xaa\xbb", 3), "00 aa bb"},
        {REG_NONE, "", ""},
    };
    for (const auto& each : cases) {
        std::string bytes = each.data;  // exactly dataLen bytes: no terminator to lean on
        ValueRecord record{};
        record.type = each.type;
        record.data = reinterpret_cast<BYTE*>(&bytes[0]);
        record.dataLen = static_cast<DWORD>(each.data.size());
        EXPECT_EQ(RecordDataText(&record), each.shown) << each.type << " " << each.shown;
    }
    std::string bytes = longBinary;
    ValueRecord binary{};
    binary.type = REG_BINARY, binary.data = reinterpret_cast<BYTE*>(&bytes[0]), binary.dataLen = 65;
    std::string expected;
    for (int i = 0; i < 64; ++i)
        expected += i ? " ab" : "ab";
    EXPECT_EQ(RecordDataText(&binary), expected + " ...");

    char none[] = "", named[] = "KwA";
    ValueRecord unnamed{}, value{};
    unnamed.name = none, value.name = named, value.nameLen = 3;
    EXPECT_EQ(RecordNameText(&unnamed) + "|" + RecordNameText(&value), "(Default)|KwA");
}
