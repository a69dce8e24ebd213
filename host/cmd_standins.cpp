// What the product libraries' stand-ins kept: the event log's entries and
// the record database's records, read through the stand-ins' own exports.
#include <windows.h>

#include <string>

#include "host/commands.h"
#include "host/product_library.h"
#include "host/standin_entries.h"
#include "standins/tzevtlog/tzevtlog_standin.h"
#include "standins/varendb/varendb_standin.h"

namespace docman {
namespace {

using EventReadFn = int(WINAPI*)(TzEvtLogVisitor, void*);
using RecordReadFn = int(WINAPI*)(uint32_t, VarendbVisitor, void*);
using PathFn = uint32_t(WINAPI*)(wchar_t*, uint32_t);

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
                                 [&](EventReadFn read) {
                                     EntryReading reading{&inv.out};
                                     return read(ShowEvent, &reading) != 0;
                                 });
}

int Records(Invocation& inv) {
    const bool history = inv.args.size() == 1 && inv.args[0] == L"--history";
    if (inv.args.size() > (history ? 1u : 0u)) return kExitUsage;
    return ShowKept<RecordReadFn>(inv, L"Varendb.dll", "VarendbReadW", "VarendbPathW", "journal",
                                  [&](RecordReadFn read) {
                                      EntryReading reading{&inv.out};
                                      return read(history ? 1 : 0, ShowRecord, &reading) != 0;
                                  });
}

CommandRegistration events({L"events", L"", Events});
CommandRegistration records({L"records", L"[--history]", Records});

}  // namespace
}  // namespace docman
