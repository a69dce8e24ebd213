// What the product libraries' stand-ins kept: the event log's entries and
// the record database's records, read through the stand-ins' own exports.
#include <windows.h>

#include <cstring>
#include <string>

#include "host/commands.h"
#include "host/product_library.h"
#include "standins/tzevtlog/tzevtlog_standin.h"
#include "standins/varendb/varendb_standin.h"

namespace docman {
namespace {

using EventReadFn = int(WINAPI*)(TzEvtLogVisitor, void*);
using RecordReadFn = int(WINAPI*)(uint32_t, VarendbVisitor, void*);
using PathFn = uint32_t(WINAPI*)(wchar_t*, uint32_t);

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

int WINAPI ShowEvent(void* context, uint32_t id, uint64_t time, const void* data, uint32_t size) {
    Output& out = *static_cast<Output*>(context);
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
    Output& out = *static_cast<Output*>(context);
    out.Record();
    out.Field("operation", operation == VARENDB_RECORD_ADDED ? "add" : "delete");
    out.Field("path", path);
    if (operation == VARENDB_RECORD_ADDED) out.Field("value", static_cast<uint64_t>(value));
    out.Field("time", Time(time));
    return 1;
}

// The stand-in's export by name, or an error line when the library beside
// docman is not the stand-in.
template <typename Fn>
Fn StandinExport(Invocation& inv, const ProductLibrary& library, const char* name, const wchar_t* libraryName) {
    Fn fn = library.Get<Fn>(name);
    if (!fn) inv.out.Field("error", std::wstring(libraryName) + L" is not the stand-in: no " + Wide(name));
    return fn;
}

// Prints where the stand-in keeps its file (as field `file`), then what
// show(read) prints through the stand-in's reading export.
template <typename ReadFn, typename Show>
int ShowKept(Invocation& inv, const wchar_t* libraryName, const char* readName, const char* pathName,
             const char* file, Show show) {
    ProductLibrary library(libraryName);
    auto read = StandinExport<ReadFn>(inv, library, readName, libraryName);
    auto path = StandinExport<PathFn>(inv, library, pathName, libraryName);
    if (!read || !path) return kExitFailed;
    wchar_t location[MAX_PATH] = {};
    if (path(location, MAX_PATH)) inv.out.Field(file, location);
    if (show(read)) return kExitOk;
    inv.out.Record();
    inv.out.Field("error", L"cannot read " + std::wstring(location));
    return kExitFailed;
}

int Events(Invocation& inv) {
    if (!inv.args.empty()) return kExitUsage;
    return ShowKept<EventReadFn>(inv, L"TzEvtLog.dll", "TzEvtLogReadW", "TzEvtLogPathW", "log",
                                 [&](EventReadFn read) { return read(ShowEvent, &inv.out) != 0; });
}

int Records(Invocation& inv) {
    const bool history = inv.args.size() == 1 && inv.args[0] == L"--history";
    if (inv.args.size() > (history ? 1u : 0u)) return kExitUsage;
    return ShowKept<RecordReadFn>(inv, L"Varendb.dll", "VarendbReadW", "VarendbPathW", "journal",
                                  [&](RecordReadFn read) { return read(history ? 1 : 0, ShowRecord, &inv.out) != 0; });
}

CommandRegistration events({L"events", L"", Events});
CommandRegistration records({L"records", L"[--history]", Records});

}  // namespace
}  // namespace docman
