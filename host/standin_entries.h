#pragma once
// The entries that the stand-ins of the event log and the record database
// keep, as docman prints them, read through the stand-ins' own exports.
#include <windows.h>

#include <cstdint>

#include "host/output.h"

namespace docman {

// A reading of the entries: the first `skip` are counted but not printed.
struct EntryReading {
    Output* out;
    uint64_t skip = 0;
    uint64_t seen = 0;
};

// Visitors for TzEvtLogReadW and VarendbReadW; context is an EntryReading.
int WINAPI ShowEvent(void* context, uint32_t id, uint64_t time, const void* data, uint32_t size);
int WINAPI ShowRecord(void* context, uint32_t operation, uint32_t value, uint64_t time, const wchar_t* path);

// Reads every event, or every add and delete of the record history, into
// reading. False when the library beside docman is not the stand-in or
// its file cannot be read.
bool ReadEvents(EntryReading* reading);
bool ReadRecordHistory(EntryReading* reading);

}  // namespace docman
