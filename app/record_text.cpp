#include "app/record_text.h"

#include <stdio.h>
#include <string.h>

namespace {

// Past this many bytes a hex text ends in "...": the list shows one line.
const DWORD kHexBytesShown = 64;

std::string HexText(const BYTE* data, DWORD length)
{
    std::string text;
    const DWORD shown = length < kHexBytesShown ? length : kHexBytesShown;
    for (DWORD i = 0; i < shown; ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, i ? " %02x" : "%02x", data[i]);
        text += byte;
    }
    if (shown < length)
        text += " ...";
    return text;
}

// Little-endian, as the registry stores numbers; length is 4 or 8.
unsigned long long Number(const BYTE* data, DWORD length)
{
    unsigned long long value = 0;
    for (DWORD i = length; i-- > 0;)
        value = value << 8 | data[i];
    return value;
}

// The strings up to the empty one that ends the list, or to the end of the
// data when that is missing.
std::string MultiText(const char* data, DWORD length)
{
    std::string text;
    for (DWORD at = 0; at < length;) {
        const std::string item = BoundedText(data + at, length - at);
        if (item.empty())
            break;
        if (!text.empty())
            text += ' ';
        text += item;
        at += static_cast<DWORD>(item.size()) + 1;
    }
    return text;
}

}  // namespace

const char* RecordStatusText(DWORD status)
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

std::string BoundedText(const char* text, DWORD length)
{
    if (!text)
        return std::string();
    const void* end = memchr(text, 0, length);
    const size_t size = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : length;
    return std::string(text, size);
}

std::string RecordDataText(const ValueRecord* record)
{
    if (!record || !record->data)
        return std::string();
    const BYTE* data = record->data;
    const DWORD length = record->dataLen;
    char number[48];
    switch (record->type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return BoundedText(reinterpret_cast<const char*>(data), length);
    case REG_MULTI_SZ:
        return MultiText(reinterpret_cast<const char*>(data), length);
    case REG_DWORD:
        if (length != 4)
            break;
        snprintf(number, sizeof number, "0x%08lx (%lu)", static_cast<unsigned long>(Number(data, 4)),
                 static_cast<unsigned long>(Number(data, 4)));
        return number;
    case REG_QWORD:
        if (length != 8)
            break;
        snprintf(number, sizeof number, "0x%016llx (%llu)", Number(data, 8), Number(data, 8));
        return number;
    default:
        break;
    }
    return HexText(data, length);
}

std::string RecordNameText(const ValueRecord* record)
{
    if (!record)
        return std::string();
    const std::string name = BoundedText(record->name, record->nameLen);
    return name.empty() ? "(Default)" : name;
}

std::string KeyPathText(const WatchedKey* key)
{
    if (!key)
        return std::string();
    const char* hive = RegWatch_HiveName(key->root);
    const char* subkey = key->shownSubkey ? key->shownSubkey : key->subkey;
    std::string path = hive ? hive : "";
    path += '\\';
    path += subkey ? subkey : "";
    return path;
}

ListRow EntryRow(const ChangeEntry* entry)
{
    const WatchedKey* key = entry->owner;
    const ValueRecord* value = entry->current;
    char where[64];
    snprintf(where, sizeof where, "%p|%lx|", static_cast<void*>(key->root), static_cast<unsigned long>(key->view));
    ListRow row;
    row.key = std::string(where) + (key->subkey ? key->subkey : "") + '|' + BoundedText(value->name, value->nameLen);
    row.texts = {RecordStatusText(entry->status), RecordNameText(value), RecordDataText(value),
                 RecordDataText(ChangeEntry_ShownOldValue(entry)), KeyPathText(key)};
    return row;
}
