#include "app/journal_line.h"

#include "app/json.h"
#include "app/record_text.h"

#include <sddl.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

const char kEcsVersion[] = "8.11.0";

// Registry texts come in the ANSI code page, which the manifest makes UTF-8;
// on a system that ignores it they are converted, so the line stays UTF-8.
std::string ToUtf8(const std::string& text)
{
    static const UINT codePage = GetACP();
    if (codePage == CP_UTF8 || text.empty())
        return text;
    const int size = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (wideLength <= 0)
        return text;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], wideLength);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return text;
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

const char* HiveText(HKEY root)
{
    if (root == HKEY_LOCAL_MACHINE)
        return "HKLM";
    if (root == HKEY_CURRENT_USER)
        return "HKCU";
    if (root == HKEY_USERS)
        return "HKU";
    return "HKCR";
}

const char* TypeName(DWORD type)
{
    static const char* const kNames[] = {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
                                         "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
                                         "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST",
                                         "REG_QWORD"};
    return type < sizeof kNames / sizeof kNames[0] ? kNames[type] : "REG_UNKNOWN";
}

unsigned long long Number(const BYTE* data, DWORD length, bool bigEndian)
{
    unsigned long long number = 0;
    for (DWORD i = 0; i < length; ++i)
        number |= static_cast<unsigned long long>(data[bigEndian ? length - 1 - i : i]) << (8 * i);
    return number;
}

// A record that reads the copied bytes, for the list's own text of them.
ValueRecord View(const JournalData& data)
{
    ValueRecord record{};
    record.data = reinterpret_cast<BYTE*>(const_cast<char*>(data.bytes.c_str()));
    record.dataLen = static_cast<DWORD>(data.bytes.size());
    record.type = data.type;
    return record;
}

// ECS: text types as their strings, numbers in decimal; false for the types
// that go out as bytes.
bool DataStrings(const ValueRecord* record, std::vector<std::string>* strings)
{
    const char* text = reinterpret_cast<const char*>(record->data);
    const DWORD length = record->data ? record->dataLen : 0;
    switch (record->type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        strings->push_back(BoundedText(text, length));
        return true;
    case REG_MULTI_SZ: {
        for (DWORD at = 0; at < length;) {
            std::string item = BoundedText(text + at, length - at);
            at += static_cast<DWORD>(item.size()) + 1;
            strings->push_back(std::move(item));
        }
        while (!strings->empty() && strings->back().empty())
            strings->pop_back();
        return true;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
    case REG_QWORD:
        if (length != (record->type == REG_QWORD ? 8u : 4u))
            return false;
        strings->push_back(std::to_string(Number(record->data, length, record->type == REG_DWORD_BIG_ENDIAN)));
        return true;
    default:
        return false;
    }
}

void WriteData(JsonWriter& json, const char* key, const JournalData& data)
{
    const ValueRecord view = View(data);
    const ValueRecord* record = &view;
    json.BeginObject(key);
    json.String("type", TypeName(record->type));
    std::vector<std::string> strings;
    if (DataStrings(record, &strings)) {
        json.BeginArray("strings");
        for (const std::string& text : strings)
            json.ArrayString(ToUtf8(text));
        json.EndArray();
    } else {
        json.String("bytes", Base64(record->data, record->data ? record->dataLen : 0));
    }
    json.EndObject();
}

// The key's path as Sysmon writes it: the machine's software hive in capitals,
// the user's hive under HKU and the user's SID.
std::string SysmonKey(const JournalEvent& event, const JournalContext& context)
{
    std::string key = event.key;
    if (event.root == HKEY_LOCAL_MACHINE) {
        if (key.compare(0, 9, "Software\\") == 0)
            key.replace(0, 8, "SOFTWARE");
        const size_t node = key.find("Wow6432Node");
        if (node != std::string::npos)
            key.replace(node, 3, "WOW");
        return "HKLM\\" + key;
    }
    if (event.root == HKEY_CURRENT_USER && !context.userSid.empty())
        return "HKU\\" + context.userSid + "\\" + key;
    return std::string(HiveText(event.root)) + "\\" + key;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string Message(const JournalEvent& event, const std::string& valueName, const std::string& where,
                    const std::string& details)
{
    const std::string name = Quoted(valueName.empty() ? std::string("(Default)") : valueName);
    const std::string action = event.action;
    std::string text;
    if (action == "value-added") {
        text = name + " was added to " + where + " with " + Quoted(details);
    } else if (action == "value-changed") {
        text = name + " in " + where + " changed";
        if (event.old.present) {
            const ValueRecord old = View(event.old);
            text += " from " + Quoted(ToUtf8(RecordDataText(&old)));
        }
        text += " to " + Quoted(details);
    } else if (action == "value-deleted") {
        text = name + " was deleted from " + where + "; it held " + Quoted(details);
    } else if (action == "key-written") {
        text = where + " was written to, but no value in it differs";
    } else if (action == "baseline-taken") {
        text = "Keywarden took a new baseline";
        if (event.values >= 0)
            text += " of " + std::to_string(event.values) + (event.values == 1 ? " value" : " values");
        if (event.reason)
            text += std::string(" (") + event.reason + ")";
    } else if (action == "user-deleted" || action == "user-reverted") {
        const char* verb = action == "user-deleted" ? "delete" : "revert";
        if (event.outcome && strcmp(event.outcome, "failure") == 0) {
            text = std::string("The user's ") + verb + " of " + name + " in " + where + " failed with error " +
                   std::to_string(event.error);
        } else if (action == "user-deleted") {
            text = "The user deleted " + name + " from " + where;
        } else if (event.data.present) {
            text = "The user reverted " + name + " in " + where + " to " + Quoted(details);
        } else if (event.sysmonType) {
            text = "The user reverted " + name + " in " + where + " by deleting it";
        } else {
            text = "The user reverted " + name + " in " + where + ", which is gone and was never accepted";
        }
    } else if (action == "watch-lost") {
        text = "Keywarden cannot watch every autostart key: changes may go unseen until the watch is back";
    } else if (action == "watch-restored") {
        text = "Keywarden watches every autostart key again";
    } else {
        text = action;
    }
    if (event.whileAway)
        text += ", while Keywarden was not running";
    return text + ".";
}

}  // namespace

JournalContext JournalContext_Current()
{
    JournalContext context;
    char text[256 + 1];
    DWORD size = sizeof text;
    if (GetComputerNameExA(ComputerNameDnsHostname, text, &size))
        context.hostName.assign(text, size);
    size = sizeof text;
    if (GetUserNameA(text, &size) && size > 0)
        context.userName.assign(text, size - 1);

    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        union {
            TOKEN_USER user;
            BYTE room[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        } info;
        DWORD length = 0;
        char* sid = nullptr;
        if (GetTokenInformation(token, TokenUser, &info, sizeof info, &length) &&
            ConvertSidToStringSidA(info.user.User.Sid, &sid)) {
            context.userSid = sid;
            LocalFree(sid);
        }
        CloseHandle(token);
    }
    context.hostName = ToUtf8(context.hostName);
    context.userName = ToUtf8(context.userName);
    return context;
}

JournalEvent JournalEvent_FromEngine(const RegWatchEvent& source)
{
    struct Kind {
        RegWatchEventKind kind;
        const char *action, *type, *sysmonType;
    };
    static const Kind kKinds[] = {
        {RegWatchEvent_ValueAdded, "value-added", "creation", "SetValue"},
        {RegWatchEvent_ValueChanged, "value-changed", "change", "SetValue"},
        {RegWatchEvent_ValueDeleted, "value-deleted", "deletion", "DeleteValue"},
        {RegWatchEvent_KeyWritten, "key-written", "change", nullptr},
        {RegWatchEvent_WatchLost, "watch-lost", "info", nullptr},
        {RegWatchEvent_WatchRestored, "watch-restored", "info", nullptr},
    };
    JournalEvent event;
    const Kind* found = nullptr;
    for (const Kind& kind : kKinds)
        if (kind.kind == source.kind)
            found = &kind;
    if (!found)
        return event;
    event.action = found->action;
    event.type = found->type;
    event.sysmonType = found->sysmonType;
    event.whileAway = (source.flags & REGWATCH_EVENT_WHILE_AWAY) != 0;
    const WatchedKey* key = source.entry && source.entry->owner ? source.entry->owner : source.key;
    if (key) {
        event.root = key->root;
        const char* shown = key->shownSubkey ? key->shownSubkey : key->subkey;
        event.key = shown ? shown : "";
        event.view = key->view;
    }
    const ChangeEntry* entry = source.entry;
    if (entry && entry->current) {
        event.hasValue = true;
        event.valueName = RecordNameText(entry->current);
        event.data = JournalData_Of(entry->current);
        event.status = RecordStatusText(entry->status);
        event.old = JournalData_Of(ChangeEntry_ShownOldValue(entry));
    }
    return event;
}

JournalData JournalData_Of(const ValueRecord* record)
{
    JournalData data;
    if (!record)
        return data;
    data.present = true;
    data.type = record->type;
    if (record->data)
        data.bytes.assign(reinterpret_cast<const char*>(record->data), record->dataLen);
    return data;
}

std::string FormatJournalLine(const JournalEvent& event, const JournalContext& context, size_t maxString)
{
    const SYSTEMTIME& utc = event.time;
    JsonWriter json(maxString);
    char stamp[40];
    snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
             utc.wMinute, utc.wSecond, utc.wMilliseconds);
    json.String("@timestamp", stamp);
    json.BeginObject("ecs");
    json.String("version", kEcsVersion);
    json.EndObject();

    json.BeginObject("event");
    json.String("kind", "event");
    json.BeginArray("category");
    json.ArrayString("registry");
    json.EndArray();
    json.BeginArray("type");
    json.ArrayString(event.type ? event.type : "info");
    json.EndArray();
    json.String("action", event.action ? event.action : "");
    json.String("module", "keywarden");
    json.String("dataset", "keywarden.autostart");
    if (event.outcome)
        json.String("outcome", event.outcome);
    if (event.reason)
        json.String("reason", event.reason);
    json.EndObject();

    json.BeginObject("host");
    json.String("hostname", context.hostName);
    json.EndObject();
    json.BeginObject("user");
    json.String("name", context.userName);
    if (!context.userSid.empty())
        json.String("id", context.userSid);
    json.EndObject();

    const std::string name = ToUtf8(event.valueName);
    const std::string key = ToUtf8(event.key);
    const std::string keyPath = std::string(HiveText(event.root)) + "\\" + key;
    const ValueRecord dataView = View(event.data);
    const std::string details = event.data.present ? ToUtf8(RecordDataText(&dataView)) : std::string();
    if (event.root) {
        json.BeginObject("registry");
        json.String("hive", HiveText(event.root));
        json.String("key", key);
        if (event.hasValue) {
            json.String("value", name);
            json.String("path", keyPath + "\\" + name);
        } else {
            json.String("path", keyPath);
        }
        if (event.data.present)
            WriteData(json, "data", event.data);
        json.EndObject();
    }
    if (event.outcome && strcmp(event.outcome, "failure") == 0) {
        json.BeginObject("error");
        json.String("code", std::to_string(event.error));
        json.EndObject();
    }

    if (event.sysmonType)
        json.String("EventType", event.sysmonType);
    if (event.root) {
        std::string target = ToUtf8(SysmonKey(event, context));
        if (event.hasValue)
            target += "\\" + (name.empty() ? std::string("(Default)") : name);
        json.String("TargetObject", target);
    }
    if (event.data.present)
        json.String("Details", details);
    json.String("message", Message(event, name, keyPath, details));

    json.BeginObject("keywarden");
    if (event.status)
        json.String("status", event.status);
    if (event.view == KEY_WOW64_64KEY || event.view == KEY_WOW64_32KEY)
        json.String("view", event.view == KEY_WOW64_64KEY ? "64-bit" : "32-bit");
    if (event.old.present)
        WriteData(json, "old", event.old);
    json.Bool("while_away", event.whileAway);
    if (event.values >= 0)
        json.Number("values", static_cast<unsigned long long>(event.values));
    if (json.Clipped())
        json.Bool("clipped", true);
    json.EndObject();
    return json.Finish();
}
