#include "app/record_text.h"

#include <cstring>

std::string BoundedText(const char* text, DWORD length)
{
    if (!text)
        return std::string();
    const void* end = std::memchr(text, 0, length);
    const size_t size = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : length;
    return std::string(text, size);
}

std::string RecordDataText(const ValueRecord* record)
{
    if (!record || !record->data)
        return std::string();
    return BoundedText(reinterpret_cast<const char*>(record->data), record->dataLen);
}

std::string RecordNameText(const ValueRecord* record)
{
    return record ? BoundedText(record->name, record->nameLen) : std::string();
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
