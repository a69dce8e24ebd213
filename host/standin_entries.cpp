#include "host/standin_entries.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "host/product_library.h"
#include "standins/tzevtlog/tzevtlog_standin.h"
#include "standins/varendb/varendb_standin.h"

namespace docman {
namespace {

using EventReadFn = int(WINAPI*)(TzEvtLogVisitor, void*);
using RecordReadFn = int(WINAPI*)(uint32_t, VarendbVisitor, void*);

constexpr uint32_t kEncryptedWithAttributes = 20;
constexpr uint32_t kDecryptedWithAttributes = 21;
constexpr size_t kAttributeBlockSize = 36;

std::wstring Time(uint64_t fileTime) {
    const FILETIME ft = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st)) return std::to_wstring(fileTime);
    wchar_t text[40];
    swprintf(text, 40, L"%04u-%02u-%02u %02u:%02u:%02u.%03u UTC", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond, st.wMilliseconds);
    return text;
}

uint64_t Join(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// The path the data hold from offset on, up to its NUL.
std::wstring PathIn(const uint8_t* data, uint32_t size, size_t offset) {
    if (size <= offset) return {};
    std::wstring path((size - offset) / sizeof(wchar_t), L'\0');
    memcpy(&path[0], data + offset, path.size() * sizeof(wchar_t));
    return path.substr(0, path.find(L'\0'));
}

}  // namespace

int WINAPI ShowEvent(void* context, uint32_t id, uint64_t time, const void* data, uint32_t size) {
    EntryReading& reading = *static_cast<EntryReading*>(context);
    if (reading.seen++ < reading.skip) return 1;
    Output& out = *reading.out;
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.Record();
    out.Field("id", static_cast<uint64_t>(id));
    out.Field("time", Time(time));
    out.Field("bytes", static_cast<uint64_t>(size));
    size_t pathOffset = 0;
    if ((id == kEncryptedWithAttributes || id == kDecryptedWithAttributes) && size >= kAttributeBlockSize) {
        WIN32_FILE_ATTRIBUTE_DATA attributes;
        memcpy(&attributes, bytes, kAttributeBlockSize);
        out.Hex("attributes", attributes.dwFileAttributes);
        out.Field("creation_time", Time(Join(attributes.ftCreationTime)));
        out.Field("last_access_time", Time(Join(attributes.ftLastAccessTime)));
        out.Field("last_write_time", Time(Join(attributes.ftLastWriteTime)));
        out.Field("size", (static_cast<uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow);
        pathOffset = kAttributeBlockSize;
    }
    out.Field("path", PathIn(bytes, size, pathOffset));
    return 1;
}

int WINAPI ShowRecord(void* context, uint32_t operation, uint32_t value, uint64_t time, const wchar_t* path) {
    EntryReading& reading = *static_cast<EntryReading*>(context);
    if (reading.seen++ < reading.skip) return 1;
    Output& out = *reading.out;
    out.Record();
    out.Field("operation", operation == VARENDB_RECORD_ADDED ? "add" : "delete");
    out.Field("path", path);
    if (operation == VARENDB_RECORD_ADDED) out.Field("value", static_cast<uint64_t>(value));
    out.Field("time", Time(time));
    return 1;
}

bool ReadEvents(EntryReading* reading) {
    ProductLibrary library(L"TzEvtLog.dll");
    auto read = library.Get<EventReadFn>("TzEvtLogReadW");
    return read && read(ShowEvent, reading) != 0;
}

bool ReadRecordHistory(EntryReading* reading) {
    ProductLibrary library(L"Varendb.dll");
    auto read = library.Get<RecordReadFn>("VarendbReadW");
    return read && read(1, ShowRecord, reading) != 0;
}

}  // namespace docman
