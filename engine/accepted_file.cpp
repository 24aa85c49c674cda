// The accepted state on disk, so that changes made while the program was not
// running are found at its next start.
//
// The file is text, one record a line, so a person can read it:
//
//   Keywarden accepted state 1
//   key HKEY_LOCAL_MACHINE 512 Software\Microsoft\Windows\CurrentVersion\Run
//   value 1 Updater C:\Program%20Files\Updater\up.exe%00
//   end 2 1c291ca3
//
// A key line names a watched key (hive, view flag in decimal, path); the value
// lines after it are that key's accepted values (type in decimal, name, data).
// Paths, names and data are bytes written as they are when printable ASCII
// other than '%', and as %XX otherwise, so every byte comes back exact and no
// field holds a space. The end line gives the number of lines before it and
// the CRC-32 of every byte before it; a file that does not end so is not used.
#include "engine/regwatch_internal.h"
#include "engine/regwatch_sys.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char kHeader[] = "Keywarden accepted state 1\n";
// Far above ten thousand values of the longest names and data Windows runs.
const DWORD kMaxFileSize = 64u * 1024 * 1024;

static DWORD Crc32(const BYTE* bytes, size_t length)
{
    DWORD crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// --- Writing ---------------------------------------------------------------

// A growing byte buffer on the engine's heap; ok turns 0 for good when memory
// runs out.
struct Text {
    char* bytes;
    size_t length;
    size_t capacity;
    int ok;
    DWORD lines;
};

static void Text_Append(Text* text, const char* bytes, size_t length)
{
    if (!text->ok)
        return;
    if (text->length + length > text->capacity) {
        size_t capacity = text->capacity ? text->capacity : 4096;
        while (capacity < text->length + length)
            capacity *= 2;
        char* grown = static_cast<char*>(RegWatch_Alloc(capacity));
        if (!grown) {
            text->ok = 0;
            return;
        }
        if (text->bytes)
            memcpy(grown, text->bytes, text->length);
        RegWatch_Free(text->bytes);
        text->bytes = grown;
        text->capacity = capacity;
    }
    memcpy(text->bytes + text->length, bytes, length);
    text->length += length;
}

static void Text_Escaped(Text* text, const BYTE* bytes, size_t length)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < length; ++i) {
        const BYTE b = bytes[i];
        if (b > 0x20 && b < 0x7F && b != '%') {
            Text_Append(text, reinterpret_cast<const char*>(&b), 1);
        } else {
            char escaped[3] = {'%', kHex[b >> 4], kHex[b & 15]};
            Text_Append(text, escaped, 3);
        }
    }
}

static void Text_Line(Text* text, const char* head, const BYTE* a, size_t aLength, const BYTE* b, size_t bLength)
{
    Text_Append(text, head, strlen(head));
    Text_Escaped(text, a, aLength);
    if (b) {
        Text_Append(text, " ", 1);
        Text_Escaped(text, b, bLength);
    }
    Text_Append(text, "\n", 1);
    ++text->lines;
}

static void FormatState(Text* text, RecordList* watched)
{
    Text_Append(text, kHeader, sizeof kHeader - 1);
    ++text->lines;
    for (WatchedKey* key = WatchedKey_First(watched); key; key = WatchedKey_Next(key)) {
        char head[64];
        const char* hive = RegWatch_HiveName(key->root);
        snprintf(head, sizeof head, "key %s %lu ", hive ? hive : "?", static_cast<unsigned long>(key->view));
        Text_Line(text, head, reinterpret_cast<const BYTE*>(key->subkey), strlen(key->subkey), nullptr, 0);
        for (ChangeEntry* entry = ChangeEntry_First(&key->entries); entry; entry = ChangeEntry_Next(entry)) {
            const ValueRecord* value = ChangeEntry_AcceptedValue(entry);
            if (!value)
                continue;
            snprintf(head, sizeof head, "value %lu ", static_cast<unsigned long>(value->type));
            Text_Line(text, head, reinterpret_cast<const BYTE*>(value->name), value->nameLen, value->data,
                      value->dataLen);
        }
    }
    char end[48];
    snprintf(end, sizeof end, "end %lu %08lx\n", static_cast<unsigned long>(text->lines + 1),
             static_cast<unsigned long>(text->ok ? Crc32(reinterpret_cast<const BYTE*>(text->bytes), text->length)
                                                 : 0));
    Text_Append(text, end, strlen(end));
}

// Written beside the file and moved over it in one step, so a crash leaves
// the old state or the new one, whole.
static DWORD WriteWhole(const char* path, const Text* text)
{
    char temporary[MAX_PATH + 8];
    if (snprintf(temporary, sizeof temporary, "%s.new", path) >= static_cast<int>(sizeof temporary))
        return REGWATCH_E_SAVE;
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return REGWATCH_E_SAVE;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, text->bytes, static_cast<DWORD>(text->length), &written, nullptr) &&
                       written == text->length && FlushFileBuffers(file);
    CloseHandle(file);
    if (!wrote || !Sys_MoveFileEx(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary);
        return REGWATCH_E_SAVE;
    }
    return REGWATCH_OK;
}

// Caller holds the mutex.
DWORD RegWatch_SaveAcceptedLocked(RegWatchHandle* watch)
{
    if (!watch->acceptedFile)
        return REGWATCH_OK;
    Text text = {nullptr, 0, 0, 1, 0};
    FormatState(&text, &watch->watched);
    DWORD result = REGWATCH_E_NO_MEMORY;
    if (text.ok)
        result = text.length < kMaxFileSize ? WriteWhole(watch->acceptedFile, &text) : REGWATCH_E_SAVE;
    RegWatch_Free(text.bytes);
    return result;
}

DWORD RegWatch_SetAcceptedFile(RegWatchHandle* watch, const char* path)
{
    if (RegWatch_Lock(watch) != REGWATCH_OK)
        return REGWATCH_E_LOCK;
    RegWatch_Free(watch->acceptedFile);
    watch->acceptedFile = nullptr;
    DWORD result = REGWATCH_OK;
    if (path) {
        const size_t length = strlen(path);
        watch->acceptedFile = static_cast<char*>(RegWatch_Alloc(length + 1));
        if (watch->acceptedFile) {
            memcpy(watch->acceptedFile, path, length + 1);
            result = RegWatch_SaveAcceptedLocked(watch);
        } else {
            result = REGWATCH_E_NO_MEMORY;
        }
    }
    ReleaseMutex(watch->mutex);
    return result;
}

// --- Reading -----------------------------------------------------------------

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Unescapes a field in place; its length, or -1 when it is malformed.
static long Unescape(char* field)
{
    char* out = field;
    for (const char* in = field; *in; ++in) {
        if (*in != '%') {
            *out++ = *in;
            continue;
        }
        const int high = HexDigit(in[1]);
        const int low = high < 0 ? -1 : HexDigit(in[2]);
        if (low < 0)
            return -1;
        *out++ = static_cast<char>(high * 16 + low);
        in += 2;
    }
    *out = '\0';
    return static_cast<long>(out - field);
}

// Splits a line at single spaces into at most count fields; the number found.
static size_t Split(char* line, char** fields, size_t count)
{
    size_t found = 0;
    fields[found++] = line;
    for (char* c = line; *c && found < count; ++c)
        if (*c == ' ') {
            *c = '\0';
            fields[found++] = c + 1;
        }
    return found;
}

static HKEY HiveByName(const char* name)
{
    for (size_t i = 0; i < kHiveNameCount; ++i)
        if (strcmp(kHiveNames[i].name, name) == 0)
            return kHiveNames[i].root;
    return nullptr;
}

static WatchedKey* FindKey(RecordList* keys, HKEY root, REGSAM view, const char* subkey)
{
    for (WatchedKey* key = WatchedKey_First(keys); key; key = WatchedKey_Next(key))
        if (key->root == root && key->view == view && strcmp(key->subkey, subkey) == 0)
            return key;
    return nullptr;
}

// One key or value line into the new state; false when it is malformed or
// memory runs out. *key is the key that later value lines belong to.
static bool ParseLine(char* line, RecordList* keys, WatchedKey** key)
{
    char* fields[5] = {};
    const size_t count = Split(line, fields, 5);
    if (count == 4 && strcmp(fields[0], "key") == 0) {
        const HKEY root = HiveByName(fields[1]);
        const long length = Unescape(fields[3]);
        if (!root || length < 0)
            return false;
        // A key this Windows does not watch is passed over with its values.
        *key = FindKey(keys, root, strtoul(fields[2], nullptr, 10), fields[3]);
        return true;
    }
    if (count == 4 && strcmp(fields[0], "value") == 0) {
        const long nameLength = Unescape(fields[2]);
        const long dataLength = Unescape(fields[3]);
        if (nameLength < 0 || dataLength < 0)
            return false;
        if (!*key)
            return true;
        ValueRecord value = {};
        value.name = fields[2];
        value.nameLen = static_cast<DWORD>(nameLength);
        value.data = reinterpret_cast<BYTE*>(fields[3]);
        value.dataLen = static_cast<DWORD>(dataLength);
        value.type = strtoul(fields[1], nullptr, 10);
        // The data buffer must hold a byte after the data: the field's own
        // terminator is there, since unescaping only shortens it.
        return RegWatch_AppendEntry(*key, Unchanged, &value) != nullptr;
    }
    return false;
}

// The whole file in a buffer with a 0 after it; null when it is missing,
// unreadable, empty or too large.
static char* ReadWhole(const char* path, DWORD* size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    char* bytes = nullptr;
    DWORD high = 0;
    *size = GetFileSize(file, &high);
    if (*size != INVALID_FILE_SIZE && high == 0 && *size > 0 && *size <= kMaxFileSize) {
        bytes = static_cast<char*>(RegWatch_Alloc(size_t(*size) + 1));
        DWORD read = 0;
        if (bytes && !(ReadFile(file, bytes, *size, &read, nullptr) && read == *size)) {
            RegWatch_Free(bytes);
            bytes = nullptr;
        }
    }
    CloseHandle(file);
    return bytes;
}

// Checks the header and the end line; the length of the lines before it, or 0.
static size_t CheckedBody(char* bytes, DWORD size)
{
    if (size < sizeof kHeader || memcmp(bytes, kHeader, sizeof kHeader - 1) != 0 || bytes[size - 1] != '\n')
        return 0;
    bytes[size - 1] = '\0';
    char* end = strrchr(bytes, '\n');
    if (!end || strncmp(end + 1, "end ", 4) != 0)
        return 0;
    const size_t body = static_cast<size_t>(end + 1 - bytes);
    unsigned long lines = 0;
    unsigned long crc = 0;
    char extra = 0;
    if (sscanf(end + 5, "%lu %8lx%c", &lines, &crc, &extra) != 2 ||
        crc != Crc32(reinterpret_cast<const BYTE*>(bytes), body))
        return 0;
    DWORD counted = 0;
    for (size_t i = 0; i < body; ++i)
        counted += bytes[i] == '\n';
    return counted + 1 == lines ? body : 0;
}

DWORD RegWatch_LoadAccepted(RegWatchHandle* watch, const char* path)
{
    DWORD size = 0;
    char* bytes = ReadWhole(path, &size);
    if (!bytes)
        return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? REGWATCH_E_NOT_FOUND : REGWATCH_E_BAD_FILE;

    DWORD result = REGWATCH_E_BAD_FILE;
    RecordList keys;
    RecordList_Init(&keys);
    const size_t body = CheckedBody(bytes, size);
    if (body == 0)
        goto free_bytes;
    // The state the file gives, in the order of the watched-key table.
    if (RegWatch_BuildKeys(&keys) != REGWATCH_OK) {
        result = REGWATCH_E_NO_MEMORY;
        goto free_keys;
    }
    {
        // Every line of the body ends in '\n'.
        WatchedKey* key = nullptr;
        for (char* line = bytes + sizeof kHeader - 1; line < bytes + body;) {
            char* next = strchr(line, '\n');
            *next = '\0';
            if (!ParseLine(line, &keys, &key))
                goto free_keys;
            line = next + 1;
        }
    }

    if (RegWatch_Lock(watch) != REGWATCH_OK) {
        result = REGWATCH_E_LOCK;
        goto free_keys;
    }
    RegWatch_FreeState(&watch->watched);
    watch->watched = keys;
    RecordList_Init(&keys);
    // The first comparison finds what changed meanwhile, and says so.
    watch->eventFlags = REGWATCH_EVENT_WHILE_AWAY;
    InterlockedIncrement(&watch->generation);
    ReleaseMutex(watch->mutex);
    result = REGWATCH_OK;

free_keys:
    RegWatch_FreeState(&keys);
free_bytes:
    RegWatch_Free(bytes);
    return result;
}
