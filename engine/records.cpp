// Watch records: the intrusive list, record copies and frees, finders and
// the names of the root keys.
#include "engine/regwatch_internal.h"

#include <string.h>

const RegWatchHiveName kHiveNames[kHiveNameCount] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
    {HKEY_PERFORMANCE_TEXT, "HKEY_PERFORMANCE_TEXT"},
    {HKEY_USERS, "HKEY_USERS"},
};

RecordList* RecordList_Init(RecordList* list)
{
    list->first = nullptr;
    list->last = nullptr;
    return list;
}

RecordLink* RecordList_First(RecordList* list)
{
    return list->first;
}

RecordLink* RecordList_Next(RecordLink* node)
{
    return node->next;
}

void RecordList_Append(RecordList* list, RecordLink* node)
{
    node->next = nullptr;
    node->prev = list->last;
    if (list->last)
        list->last->next = node;
    else
        list->first = node;
    list->last = node;
}

void RecordList_Unlink(RecordList* list, RecordLink* node)
{
    if (node->next)
        node->next->prev = node->prev;
    else
        list->last = node->prev;
    if (node->prev)
        node->prev->next = node->next;
    else
        list->first = node->next;
}

// Record, name buffer and data buffer, all or nothing. The byte after the
// data is set to 0 here so that the data can always be read as text.
static ValueRecord* ValueRecord_Duplicate(const ValueRecord* source)
{
    ValueRecord* copy = static_cast<ValueRecord*>(RegWatch_Alloc(sizeof(ValueRecord)));
    if (!copy)
        return nullptr;
    *copy = *source;
    copy->prev = nullptr;
    copy->next = nullptr;
    copy->name = static_cast<char*>(RegWatch_Alloc(size_t(source->nameLen) + 1));
    copy->data = static_cast<BYTE*>(RegWatch_Alloc(size_t(source->dataLen) + 1));
    if (!copy->name || !copy->data)
        goto free_copy;
    memcpy(copy->name, source->name, size_t(source->nameLen) + 1);
    memcpy(copy->data, source->data, size_t(source->dataLen) + 1);
    copy->name[source->nameLen] = '\0';
    copy->data[source->dataLen] = 0;
    return copy;

free_copy:
    RegWatch_Free(copy->name);
    RegWatch_Free(copy->data);
    RegWatch_Free(copy);
    return nullptr;
}

ValueRecord* ValueRecord_Copy(const ValueRecord* source)
{
    if (!source)
        return nullptr;
    return ValueRecord_Duplicate(source);
}

void ValueRecord_Free(ValueRecord** record)
{
    if (!*record)
        return;
    RegWatch_Free((*record)->name);
    RegWatch_Free((*record)->data);
    RegWatch_Free(*record);
    *record = nullptr;
}

void ValueRecordList_Free(RecordList* list)
{
    ValueRecord* record = ValueRecord_First(list);
    while (record) {
        ValueRecord* next = ValueRecord_Next(record);
        ValueRecord_Free(&record);
        record = next;
    }
}

void ChangeEntry_Free(ChangeEntry* entry)
{
    ValueRecord_Free(&entry->current);
    ValueRecord_Free(&entry->previous);
    RegWatch_Free(entry);
}

void RegWatch_CollectValue(RecordList* list, const ValueRecord* enumerated)
{
    // No way to report: a value that cannot be copied is simply not in the list.
    ValueRecord* record = ValueRecord_Duplicate(enumerated);
    if (record)
        RecordList_Append(list, record);
}

void RegWatch_FreeState(RecordList* list)
{
    if (!list)
        return;
    WatchedKey* key;
    while ((key = WatchedKey_First(list)) != nullptr) {
        ChangeEntry* entry;
        while ((entry = ChangeEntry_First(&key->entries)) != nullptr) {
            RecordList_Unlink(&key->entries, entry);
            ChangeEntry_Free(entry);
        }
        RecordList_Unlink(list, key);
        RegWatch_Free(key);
    }
}

ChangeEntry* ChangeEntry_FindByName(RecordList* entries, const ValueRecord* probe)
{
    for (ChangeEntry* entry = ChangeEntry_First(entries); entry; entry = ChangeEntry_Next(entry))
        if (strcmp(entry->current->name, probe->name) == 0)
            return entry;
    return nullptr;
}

ValueRecord* ValueRecord_FindByName(RecordList* records, const ChangeEntry* probe)
{
    for (ValueRecord* record = ValueRecord_First(records); record; record = ValueRecord_Next(record))
        if (strcmp(record->name, probe->current->name) == 0)
            return record;
    return nullptr;
}

// Both walk from start to the tail, then from the head up to start.
ChangeEntry* ChangeEntry_FindByNameFrom(RecordList* entries, ChangeEntry* start, const ValueRecord* probe)
{
    ChangeEntry* head = ChangeEntry_First(entries);
    for (ChangeEntry* entry = start ? start : head; entry; entry = ChangeEntry_Next(entry))
        if (strcmp(entry->current->name, probe->name) == 0)
            return entry;
    for (ChangeEntry* entry = head; entry && entry != start; entry = ChangeEntry_Next(entry))
        if (strcmp(entry->current->name, probe->name) == 0)
            return entry;
    return nullptr;
}

ValueRecord* ValueRecord_FindByNameFrom(RecordList* records, ValueRecord* start, const ChangeEntry* probe)
{
    ValueRecord* head = ValueRecord_First(records);
    for (ValueRecord* record = start ? start : head; record; record = ValueRecord_Next(record))
        if (strcmp(record->name, probe->current->name) == 0)
            return record;
    for (ValueRecord* record = head; record && record != start; record = ValueRecord_Next(record))
        if (strcmp(record->name, probe->current->name) == 0)
            return record;
    return nullptr;
}

WatchedKey* WatchedKey_Find(RegWatchHandle* watch, const WatchedKey* probe)
{
    for (WatchedKey* key = WatchedKey_First(&watch->watched); key; key = WatchedKey_Next(key))
        if (key->root == probe->root && key->view == probe->view && strcmp(key->subkey, probe->subkey) == 0)
            return key;
    return nullptr;
}

const char* RegWatch_HiveName(HKEY root)
{
    for (size_t i = 0; i < kHiveNameCount; ++i)
        if (kHiveNames[i].root == root)
            return kHiveNames[i].name;
    return nullptr;
}
