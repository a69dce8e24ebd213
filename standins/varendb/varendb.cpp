// Varendb stand-in: the product's record database as a journal of adds and
// deletes in the stand-ins' store. Appending keeps every call to one write,
// whatever the size of the store; the records that stand are worked out
// only when someone looks.
#include "varendb.h"

#include <cwchar>
#include <algorithm>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "framework/record_log.h"
#include "standins/common/store_root.h"
#include "varendb_standin.h"

namespace {

constexpr wchar_t kJournalName[] = L"\\records.log";
// Payload: operation, value, time, then the path with its NUL.
constexpr size_t kPathOffset = 16;

struct Entry {
    uint32_t operation;
    uint32_t value;
    uint64_t time;
    std::wstring path;
};

fw::RecordLog Journal() { return fw::RecordLog(standin::StoreRoot() + kJournalName); }

int Keep(const void* store, uint32_t operation, const wchar_t* path, int value) {
    if (!store || !path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    fw::Bytes payload;
    fw::PutU32(payload, operation);
    fw::PutU32(payload, static_cast<uint32_t>(value));
    fw::PutU64(payload, fw::Now());
    fw::PutBytes(payload, path, (wcslen(path) + 1) * sizeof(wchar_t));
    return static_cast<const fw::RecordLog*>(store)->Append(payload) ? 1 : 0;
}

bool ReadEntries(std::vector<Entry>& entries) {
    return Journal().Read([&](const uint8_t* payload, size_t size) {
        if (size < kPathOffset + sizeof(wchar_t)) return true;
        const auto* path = reinterpret_cast<const wchar_t*>(payload + kPathOffset);
        entries.push_back({fw::GetU32(payload), fw::GetU32(payload + 4), fw::GetU64(payload + 8),
                           std::wstring(path, wcsnlen(path, (size - kPathOffset) / sizeof(wchar_t)))});
        return true;
    });
}

std::wstring CaseKey(std::wstring path) {
    CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    return path;
}

// Replays the journal: the latest add of each path that no delete followed.
std::vector<Entry> StandingRecords(const std::vector<Entry>& history) {
    std::map<std::wstring, size_t> latestAdd;
    for (size_t i = 0; i < history.size(); ++i) {
        const std::wstring key = CaseKey(history[i].path);
        if (history[i].operation == VARENDB_RECORD_ADDED) latestAdd[key] = i;
        else latestAdd.erase(key);
    }
    std::vector<size_t> order;
    for (const auto& standing : latestAdd) order.push_back(standing.second);
    std::sort(order.begin(), order.end());
    std::vector<Entry> records;
    for (size_t i : order) records.push_back(history[i]);
    return records;
}

}  // namespace

// The object keeps the journal it was made for: a run records into one store
// even when the environment changes under it.
// No exception leaves the library: without memory the object records nothing.
CTzVarenDB::CTzVarenDB() : store_(new (std::nothrow) fw::RecordLog(Journal())) {}
CTzVarenDB::~CTzVarenDB() { delete static_cast<fw::RecordLog*>(store_); }

int CTzVarenDB::AddRecordItem(const wchar_t* path, int value) {
    return Keep(store_, VARENDB_RECORD_ADDED, path, value);
}

int CTzVarenDB::DeleteRecordItemExW(const wchar_t* path) {
    return Keep(store_, VARENDB_RECORD_DELETED, path, 0);
}

extern "C" int WINAPI VarendbReadW(uint32_t history, VarendbVisitor visit, void* context) {
    std::vector<Entry> entries;
    if (!visit || !ReadEntries(entries)) return 0;
    if (!history) entries = StandingRecords(entries);
    for (const Entry& e : entries)
        if (!visit(context, e.operation, e.value, e.time, e.path.c_str())) break;
    return 1;
}

extern "C" uint32_t WINAPI VarendbPathW(wchar_t* out, uint32_t capacity) {
    return standin::CopyOut(Journal().path(), out, capacity);
}
