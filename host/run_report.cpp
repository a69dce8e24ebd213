#include "host/run_report.h"

#include <windows.h>
#include <shlobj.h>

#include "host/product_library.h"
#include "host/standin_entries.h"

namespace docman {

namespace {

using ShowOperationStatusFn = uint32_t(WINAPI*)(const OperationRequest*, uint64_t*);
using MakeVendorPathWFn = int(WINAPI*)(const wchar_t*, wchar_t*, int);

constexpr WORD kMakeVendorPathW = 1121;

// The error log the dialog appends to, where the host finds it afterwards.
std::wstring ErrorLogPath() {
    ProductLibrary rtl(L"TzRtl.dll");
    auto makeVendorPath = rtl.Get<MakeVendorPathWFn>(MAKEINTRESOURCEA(kMakeVendorPathW));
    wchar_t folder[MAX_PATH];
    wchar_t relative[MAX_PATH];
    if (!makeVendorPath || !makeVendorPath(L"TzVozAdu\\Error.log", relative, 0)) return {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    return std::wstring(folder) + L"\\" + relative;
}

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The lines appended to the log (UTF-16) after offset.
std::vector<std::wstring> LinesFrom(const std::wstring& path, uint64_t offset) {
    std::vector<std::wstring> lines;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    const uint64_t size = FileSize(path);
    if (offset > size) offset = 0;  // the log was moved to its backup and started afresh
    std::wstring text(static_cast<size_t>((size - offset) / sizeof(wchar_t)), L'\0');
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && !text.empty())
        ReadFile(file, &text[0], static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
    CloseHandle(file);
    text.resize(read / sizeof(wchar_t));
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void PrintRows(Output& out, const char* list, const std::vector<ListRow>& rows) {
    for (const ListRow& row : rows) {
        out.Record();
        out.Field(list, row.item);
        out.Field("status", row.status);
    }
}

}  // namespace

bool RunOperation(const Api& api, const RunRequest& request, const UserScript* script, RunOutcome* outcome) {
    auto show = reinterpret_cast<ShowOperationStatusFn>(
        reinterpret_cast<void*>(GetProcAddress(api.module(), "ShowOperationStatus")));
    if (!show) return false;
    const std::wstring log = ErrorLogPath();
    const uint64_t logStart = FileSize(log);
    const std::vector<uint32_t> block = BuildRequestBlock(request);
    EntryReading events{nullptr, UINT64_MAX};
    EntryReading records{nullptr, UINT64_MAX};
    ReadEvents(&events);
    ReadRecordHistory(&records);
    outcome->eventsBefore = events.seen;
    outcome->recordsBefore = records.seen;
    RowCapture rows;
    if (script) {
        ScriptedUser user(GetCurrentThreadId(), script->screenshotBase);
        outcome->returned = show(AsRequest(block), outcome->results);
        outcome->screenshots = user.saved();
    } else {
        outcome->returned = show(AsRequest(block), outcome->results);
    }
    outcome->statusRows = rows.statusRows();
    outcome->errorRows = rows.errorRows();
    outcome->logLines = LinesFrom(log, logStart);
    return true;
}

void PrintOutcome(Output& out, const RunOutcome& outcome) {
    const uint64_t* results = outcome.results;
    out.Hex("return", outcome.returned);
    out.Field("total_bytes", results[0]);
    out.Field("completed_bytes", results[1]);
    out.Field("file_total", results[2] & 0xFFFFFFFF);
    out.Field("files_done", results[2] >> 32);
    out.Field("reverse_progress", results[3] & 0xFFFFFFFF);
    out.Field("current_percent", results[3] >> 32);
    out.Field("current_item_size", results[4]);
    out.Hex("request", results[5]);
    out.Field("run_state", results[6] & 0xFFFFFFFF);
    out.Field("error_count", results[6] >> 32);
    out.Field("remembered_choice", results[7] & 0xFFFFFFFF);
    out.Field("apply_to_all", results[7] >> 32);
    out.Field("reserved", results[8]);
    PrintRows(out, "status_row", outcome.statusRows);
    PrintRows(out, "error_row", outcome.errorRows);
    for (const std::wstring& line : outcome.logLines) {
        out.Record();
        out.Field("log", line);
    }
    EntryReading events{&out, outcome.eventsBefore};
    ReadEvents(&events);
    EntryReading records{&out, outcome.recordsBefore};
    ReadRecordHistory(&records);
    for (const std::wstring& shot : outcome.screenshots) {
        out.Record();
        out.Field("screenshot", shot);
    }
}

}  // namespace docman
