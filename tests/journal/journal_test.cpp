// The journal: lines that any JSON reader takes whatever the registry holds, the writer's file
// (order, whole lines, rotation, sharing), the event log's message, and the Options page's part.
#include "app/journal.h"
#include "app/json.h"
#include "app/options_page.h"
#include "app/settings.h"
#include "keywarden_messages.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <list>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

// A strict reader of one line: each leaf under its path ("event.type[0]"), strings decoded. ok is
// false for bad syntax, a repeated key, an array of objects, or bytes that are not UTF-8.
struct Json {
    explicit Json(const std::string& line) : s(line)
    {
        ok = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0) > 0 &&
             Value("", false) && pos == s.size();
    }
    std::string operator[](const std::string& path) const { return leaves.count(path) ? leaves.at(path) : "<none>"; }
    bool Eat(char c) { return pos < s.size() && s[pos] == c && ++pos; }
    bool Hex(unsigned* unit) { return pos + 4 <= s.size() && sscanf(s.substr(pos, 4).c_str(), "%4x", unit) == 1 && (pos += 4); }
    bool Value(const std::string& path, bool inArray)
    {
        if (Eat('{')) {
            if (inArray) return false;
            if (Eat('}')) return true;
            do {
                std::string key;
                if (!String(&key) || !Eat(':') || !keys.insert(path + "." + key).second) return false;
                if (!Value(path.empty() ? key : path + "." + key, false)) return false;
            } while (Eat(','));
            return Eat('}');
        }
        if (Eat('[')) {
            int index = 0;
            if (Eat(']')) return true;
            do
                if (!Value(path + "[" + std::to_string(index++) + "]", true)) return false;
            while (Eat(','));
            return Eat(']');
        }
        if (pos < s.size() && s[pos] == '"') return String(&leaves[path]);
        const size_t start = pos;
        while (pos < s.size() && std::strchr("0123456789truefalsn", s[pos])) ++pos;
        leaves[path] = s.substr(start, pos - start);
        return leaves[path] == "true" || leaves[path] == "false" || (pos > start && isdigit(s[start]));
    }
    bool String(std::string* out)
    {
        if (!Eat('"')) return false;
        while (pos < s.size()) {
            const unsigned char c = static_cast<unsigned char>(s[pos++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') { *out += static_cast<char>(c); continue; }
            const char* escapes = "\"\\/bfnrt", *simple = pos < s.size() ? std::strchr(escapes, s[pos]) : nullptr;
            if (simple && *simple) { *out += "\"\\/\b\f\n\r\t"[simple - escapes]; ++pos; continue; }
            unsigned code = 0, low = 0;
            if (!Eat('u') || !Hex(&code) || (code >= 0xDC00 && code < 0xE000)) return false;
            if (code >= 0xD800 && code < 0xDC00) {
                if (!Eat('\\') || !Eat('u') || !Hex(&low) || low < 0xDC00 || low >= 0xE000) return false;
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            wchar_t wide[2] = {static_cast<wchar_t>(code), 0};
            if (code >= 0x10000) wide[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10)), wide[1] = static_cast<wchar_t>(low);
            char utf8[8] = {};
            out->append(utf8, static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide, wide[1] ? 2 : 1, utf8, 8, nullptr, nullptr)));
        }
        return false;
    }
    std::string s;
    size_t pos = 0;
    bool ok = false;
    std::map<std::string, std::string> leaves;
    std::set<std::string> keys;
};

ValueRecord Record(const std::string& nameText, DWORD type, const std::string& dataText)
{
    static std::list<std::string> kept;   // what the records point into
    const std::string& name = *kept.insert(kept.end(), nameText);
    const std::string& data = *kept.insert(kept.end(), dataText);
    ValueRecord record{};
    record.name = const_cast<char*>(name.c_str()), record.nameLen = static_cast<DWORD>(name.size());
    record.data = reinterpret_cast<BYTE*>(const_cast<char*>(data.c_str())), record.dataLen = static_cast<DWORD>(data.size());
    record.type = type;
    return record;
}

const JournalContext kContext = {"host", "user", "S-1-5-21-1-2-3-1001"};
const SYSTEMTIME kTime = {2026, 3, 2, 4, 5, 6, 7, 89};

std::string EngineLine(RegWatchEventKind kind, HKEY root, REGSAM view, const char* shown, const ValueRecord* current,
                       const ValueRecord* previous, ChangeStatus status, DWORD flags = 0, size_t maxString = 0)
{
    WatchedKey key{};
    key.root = root, key.view = view, key.subkey = key.shownSubkey = shown;
    ChangeEntry entry{};
    entry.owner = &key, entry.status = status, entry.accepted = 1;
    entry.current = const_cast<ValueRecord*>(current), entry.previous = const_cast<ValueRecord*>(previous);
    const RegWatchEvent event = {kind, flags, &key, current ? &entry : nullptr};
    JournalEvent journalEvent = JournalEvent_FromEngine(event);
    journalEvent.time = kTime;
    return FormatJournalLine(journalEvent, kContext, maxString);
}

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::vector<std::string> Lines(const std::string& path)  // "" for a last line without its newline
{
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()), line;
    std::vector<std::string> lines;
    std::istringstream stream(text);
    while (std::getline(stream, line)) lines.push_back(line);
    if (!text.empty() && text.back() != '\n') lines.push_back("");
    return lines;
}

std::string TempFolder(const char* name)
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string folder = std::string(base) + name + std::to_string(GetCurrentProcessId());
    for (int generation = 0; generation <= 4; ++generation)
        DeleteFileA((folder + (generation ? "\\events." + std::to_string(generation) + ".ndjson" : "\\events.ndjson")).c_str());
    return folder;
}

}  // namespace

TEST(JournalLine, HostileNamesAndDataComeBackWholeFromAnyJsonReader)
{
    const std::string bad("\xff\xfe\xc0\xaf\xed\xa0\x80 ok", 10), replacement = "\xef\xbf\xbd";
    const std::string names[] = {"plain", "q\"uo\"te \\back\\slash\\", "\x01\x1f\t\n\r\b\f\x7f end",
                                 "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9d\x84\x9e", std::string(16383, 'n') + "\"\\", bad};
    for (const std::string& name : names) {
        SCOPED_TRACE(name.substr(0, 40));
        std::string want = name;   // each byte of the invalid sequences replaced
        if (name == bad)
            for (want = " ok"; want.size() < 7 * 3 + 3;) want = replacement + want;
        const ValueRecord now = Record(name, REG_SZ, name + std::string(1, '\0')), before = Record(name, REG_EXPAND_SZ, "old");
        for (size_t maxString : {size_t(0), size_t(256)}) {
            const std::string line = EngineLine(RegWatchEvent_ValueChanged, HKEY_CURRENT_USER, 0, kRun, &now, &before, Changed, 0, maxString);
            const Json json(line), ascii(JsonAsciiOnly(line));
            ASSERT_TRUE(json.ok && ascii.ok) << line.substr(0, 300);
            EXPECT_EQ(json.leaves, ascii.leaves) << "the event log's ASCII text says the same";
            EXPECT_EQ(std::string::npos, line.find('\n'));
            if (maxString && name.size() > 300) {
                EXPECT_EQ("true", json["keywarden.clipped"]);
                EXPECT_LT(JsonAsciiOnly(line).size(), 31839u);
                continue;
            }
            EXPECT_EQ(want, json["registry.value"]);
            EXPECT_EQ(want, json["registry.data.strings[0]"]);
            EXPECT_EQ("<none>", json["registry.data.strings[1]"]);
            EXPECT_EQ(std::string("HKCU\\") + kRun + "\\" + want, json["registry.path"]);
            EXPECT_EQ(std::string("HKU\\S-1-5-21-1-2-3-1001\\") + kRun + "\\" + want, json["TargetObject"]);
            EXPECT_EQ("REG_EXPAND_SZ|old|Changed|SetValue", json["keywarden.old.type"] + "|" +
                      json["keywarden.old.strings[0]"] + "|" + json["keywarden.status"] + "|" + json["EventType"]);
        }
    }
}

TEST(JournalLine, EachEventAndTypeOfDataIsToldAsCollectorsExpect)
{
    const std::string qword("\x01\0\0\0\0\0\0\x80", 8), dword("\x00\x01\0\0", 4);
    const ValueRecord multi = Record("", REG_MULTI_SZ, std::string("a\0\0b\0\0\0", 7)), number = Record("n", REG_DWORD, dword),
                      big = Record("b", REG_DWORD_BIG_ENDIAN, dword), wide = Record("q", REG_QWORD, qword),
                      binary = Record("x", REG_BINARY, "\x01\x02\xff"), odd = Record("o", REG_DWORD, "\x01\x02");
    const std::string wow = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
    const struct { std::string line; std::map<std::string, std::string> want; } cases[] = {
        {EngineLine(RegWatchEvent_ValueAdded, HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, wow.c_str(), &multi, nullptr, New, REGWATCH_EVENT_WHILE_AWAY),
         {{"event.action", "value-added"}, {"event.type[0]", "creation"}, {"event.category[0]", "registry"}, {"EventType", "SetValue"},
          {"registry.hive", "HKLM"}, {"registry.key", wow}, {"registry.data.strings[0]", "a"}, {"registry.data.strings[1]", ""},
          {"registry.data.strings[2]", "b"}, {"registry.data.strings[3]", "<none>"}, {"keywarden.view", "32-bit"},
          {"TargetObject", "HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run\\(Default)"},
          {"keywarden.while_away", "true"}, {"keywarden.status", "New (Added)"}, {"@timestamp", "2026-03-04T05:06:07.089Z"}}},
        {EngineLine(RegWatchEvent_ValueDeleted, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, kRun, &number, &big, Deleted),
         {{"event.action", "value-deleted"}, {"event.type[0]", "deletion"}, {"EventType", "DeleteValue"}, {"registry.data.type", "REG_DWORD"},
          {"registry.data.strings[0]", "256"}, {"keywarden.old.type", "REG_DWORD_BIG_ENDIAN"}, {"keywarden.old.strings[0]", "65536"},
          {"keywarden.view", "64-bit"}, {"keywarden.while_away", "false"}, {"host.hostname", "host"}, {"user.name", "user"}}},
        {EngineLine(RegWatchEvent_ValueChanged, HKEY_CURRENT_USER, 0, kRun, &wide, &binary, New),
         {{"registry.data.strings[0]", "9223372036854775809"}, {"keywarden.old", "<none>"}, {"keywarden.view", "<none>"}}},
        {EngineLine(RegWatchEvent_ValueChanged, HKEY_CURRENT_USER, 0, kRun, &binary, &odd, Changed),
         {{"registry.data.bytes", "AQL/"}, {"registry.data.strings[0]", "<none>"}, {"keywarden.old.bytes", "AQI="}}},
        {EngineLine(RegWatchEvent_KeyWritten, HKEY_CURRENT_USER, 0, kRun, nullptr, nullptr, New),
         {{"event.action", "key-written"}, {"event.type[0]", "change"}, {"registry.path", std::string("HKCU\\") + kRun},
          {"registry.value", "<none>"}, {"EventType", "<none>"}}},
        {EngineLine(RegWatchEvent_WatchLost, nullptr, 0, nullptr, nullptr, nullptr, New),
         {{"event.action", "watch-lost"}, {"event.type[0]", "info"}, {"registry.hive", "<none>"}, {"event.module", "keywarden"},
          {"event.dataset", "keywarden.autostart"}, {"event.kind", "event"}}},
    };
    for (const auto& c : cases) {
        const Json json(c.line);
        ASSERT_TRUE(json.ok) << c.line;
        for (const auto& field : c.want)
            EXPECT_EQ(field.second, json[field.first]) << field.first << " in " << c.line;
        EXPECT_NE(std::string::npos, json["message"].find('.')) << "a sentence";
    }
}

TEST(Journal, LinesFromTwoThreadsAreWrittenWholeInOrderAndRotateKeepingThree)
{
    const std::string folder = TempFolder("kwjournal");
    Journal journal;
    journal.rotateBytes = 4096;
    ASSERT_EQ(1, journal.Open(folder)) << journal.Problem();
    auto submit = [&](long long first, long long count) {
        JournalEvent event;
        event.action = "baseline-taken";
        for (long long i = 0; i < count; ++i)
            event.values = first + i, journal.Submit(event);
    };
    // A collector reads the file while it is written, and does not keep it from moving away.
    submit(0, 1);
    journal.Flush();
    HANDLE reader = CreateFileA((folder + "\\events.ndjson").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    char first[4096];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(reader, first, sizeof first, &read, nullptr) && read > 0 && first[read - 1] == '\n');
    submit(1, 14);
    journal.Flush();
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder + "\\events.1.ndjson").c_str())) << "not moved";
    CloseHandle(reader);
    std::thread other(submit, 1000000, 200);
    submit(15, 185);
    other.join();
    journal.Close();

    long long last[2] = {-1, -1};
    for (int generation = 3; generation >= 0; --generation) {   // oldest first
        const std::string path = folder + (generation ? "\\events." + std::to_string(generation) + ".ndjson" : "\\events.ndjson");
        const std::vector<std::string> lines = Lines(path);
        ASSERT_FALSE(lines.empty()) << path;
        EXPECT_EQ('{', lines[0][0]) << "no byte-order mark";
        size_t bytes = 0;
        for (const std::string& line : lines) bytes += line.size() + 1;
        EXPECT_LE(bytes, 4096u) << path;
        for (const std::string& line : lines) {
            const Json json(line);
            ASSERT_TRUE(json.ok) << path << ": " << line;
            const long long value = std::stoll(json["keywarden.values"]);
            EXPECT_LT(last[value >= 1000000], value) << "out of order";
            last[value >= 1000000] = value;
        }
    }
    EXPECT_TRUE(last[0] == 199 || last[1] == 1000199) << "the newest line is missing";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder + "\\events.4.ndjson").c_str()));
}

TEST(Journal, TheEventLogMessageIsTheLineAndAJournalThatCannotBeWrittenIsToldOnTheOptionsPage)
{
    const char* line = "{\"message\":\"100% sure\"}";
    char shown[256] = "";
    DWORD_PTR inserts[1] = {reinterpret_cast<DWORD_PTR>(line)};
    FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, MSG_JOURNAL_EVENT, 0, shown, sizeof shown,
                   reinterpret_cast<va_list*>(inserts));
    EXPECT_STREQ(line, shown);

    const DWORD saved = ReadSetting(kSettingNoJournal), on = 0;
    WriteSetting(kSettingNoJournal, &on);
    const std::string good = TempFolder("kwoptions"), blocker = good + "-file";
    DeleteFileA((good + "\\Keywarden\\events.ndjson").c_str());  // from an earlier run: process ids come again
    std::ofstream(blocker).put('x');
    SetEnvironmentVariableA("LOCALAPPDATA", (blocker + "\\sub").c_str());
    Window host;
    host.hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    OptionsPage page;
    page.Create(&host, IDD_OPTIONS_PAGE);
    auto problem = [&] { char text[1024] = ""; GetDlgItemTextA(page.hwnd, IDC_JOURNAL_PROBLEM, text, sizeof text); return std::string(text); };
    EXPECT_EQ(1, page.journalBox.IsChecked());
    EXPECT_EQ("", problem());
    SendMessageA(page.journalBox.hwnd, BM_CLICK, 0, 0);   // off
    EXPECT_EQ(1u, ReadSetting(kSettingNoJournal));
    SendMessageA(page.journalBox.hwnd, BM_CLICK, 0, 0);   // on, where no folder can be made
    EXPECT_EQ(0u, ReadSetting(kSettingNoJournal));
    EXPECT_FALSE(theJournal.IsOpen());
    EXPECT_EQ(0u, problem().find("The journal cannot be written: the folder ")) << problem();
    JournalEvent event;
    event.action = "watch-lost";
    theJournal.Submit(event);   // dropped, quietly

    SetEnvironmentVariableA("LOCALAPPDATA", good.c_str());
    SendMessageA(page.journalBox.hwnd, BM_CLICK, 0, 0), SendMessageA(page.journalBox.hwnd, BM_CLICK, 0, 0);
    EXPECT_TRUE(theJournal.IsOpen());
    EXPECT_EQ("", problem());
    theJournal.Submit(event);
    theJournal.Close();
    const std::vector<std::string> lines = Lines(good + "\\Keywarden\\events.ndjson");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("watch-lost", Json(lines[0])["event.action"]);
    DestroyWindow(host.hwnd);
    DeleteFileA(blocker.c_str());
    WriteSetting(kSettingNoJournal, &saved);
}
