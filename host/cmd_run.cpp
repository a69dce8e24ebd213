// encrypt-run and decrypt-run: a whole operation run through
// ShowOperationStatus, with the request built as a host builds it.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileoper.h"
#include "host/commands.h"
#include "host/product_library.h"
#include "host/request_block.h"

namespace docman {
namespace {

using ShowOperationStatusFn = uint32_t(WINAPI*)(const OperationRequest*, uint64_t*);
using BuildInfoFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);
using MakeVendorPathWFn = int(WINAPI*)(const wchar_t*, wchar_t*, int);

constexpr WORD kBuildEncryptInfoW = 220;
constexpr WORD kMakeVendorPathW = 1121;

struct Switch {
    const wchar_t* name;
    uint32_t flag;
};
constexpr Switch kSwitches[] = {
    {L"--move", 0x1},           {L"--wipe", 0x4},   {L"--skip-encrypted", 0x20}, {L"--no-descent", 0x40},
    {L"--close", 0x10},         {L"--after-reboot", 0x10000},
};
constexpr Switch kErrorPolicies[] = {
    {L"ask", 0x100}, {L"continue", 0x200}, {L"stop", 0x400}, {L"undo", 0x800}, {L"retry", 0x1000},
};
constexpr uint32_t kFlagMove = 0x1;
constexpr uint32_t kFlagToDestination = 0x2;

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[4096];
    const DWORD n = GetFullPathNameW(path.c_str(), 4096, buffer, nullptr);
    std::wstring full = n && n < 4096 ? std::wstring(buffer, n) : path;
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

bool Lookup(const Switch* table, size_t count, const std::wstring& name, uint32_t* flag) {
    for (size_t i = 0; i < count; ++i) {
        if (name == table[i].name) {
            *flag = table[i].flag;
            return true;
        }
    }
    return false;
}

// PATH... [--to DIR] [switches] [--on-error POLICY]; false on anything else,
// and on a move without a destination (it would delete its own result).
bool ParseRun(const std::vector<std::wstring>& args, RunRequest* request) {
    uint32_t policy = 0x100;
    for (size_t i = 0; i < args.size(); ++i) {
        uint32_t flag = 0;
        if (args[i] == L"--to" && i + 1 < args.size()) {
            request->destination = FullPath(args[++i]);
            request->flags |= kFlagToDestination;
        } else if (args[i] == L"--on-error" && i + 1 < args.size()) {
            if (!Lookup(kErrorPolicies, std::size(kErrorPolicies), args[++i], &policy)) return false;
        } else if (Lookup(kSwitches, std::size(kSwitches), args[i], &flag)) {
            request->flags |= flag;
        } else if (args[i].rfind(L"--", 0) == 0) {
            return false;
        } else {
            request->items.push_back(FullPath(args[i]));
        }
    }
    request->flags |= policy;
    if (request->items.empty()) return false;
    if ((request->flags & kFlagMove) && !(request->flags & kFlagToDestination)) return false;
    return !(request->flags & kFlagToDestination) || !CommonFolder(request->items).empty();
}

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

// The lines the run appended to the log (UTF-16), its header line first.
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

void PrintResults(Output& out, const uint64_t results[9], uint32_t returned) {
    out.Hex("return", returned);
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
}

int Run(Invocation& inv, uint32_t kind) {
    RunRequest request;
    request.kind = kind;
    if (!ParseRun(inv.args, &request)) return kExitUsage;
    auto show = reinterpret_cast<ShowOperationStatusFn>(
        reinterpret_cast<void*>(GetProcAddress(inv.api.module(), "ShowOperationStatus")));
    auto buildInfo = Require<BuildInfoFn>(inv, kBuildEncryptInfoW);
    if (!show || !buildInfo) {
        if (!show) inv.out.Field("error", L"fileoper.dll has no export ShowOperationStatus");
        return kExitFailed;
    }
    if (kind == 0 && !buildInfo(nullptr, &request.info)) {
        inv.out.Field("error", L"no encryption descriptor: the driver's library offers no selectable cipher");
        return kExitFailed;
    }
    const std::wstring log = ErrorLogPath();
    const uint64_t logStart = FileSize(log);
    const std::vector<uint32_t> block = BuildRequestBlock(request);
    uint64_t results[9] = {};
    const uint32_t returned = show(AsRequest(block), results);
    PrintResults(inv.out, results, returned);
    const uint64_t fileTotal = results[2] & 0xFFFFFFFF;
    const uint64_t filesDone = results[2] >> 32;
    const uint64_t errors = results[6] >> 32;
    // Every item reached, or not: a cancel (or a Cancel to a replace
    // question) leaves items behind without an error row.
    inv.out.Flag("complete", filesDone >= fileTotal);
    for (const std::wstring& line : LinesFrom(log, logStart)) {
        inv.out.Record();
        inv.out.Field("log", line);
    }
    return errors == 0 && filesDone >= fileTotal ? kExitOk : kExitFailed;
}

int EncryptRun(Invocation& inv) { return Run(inv, 0); }
int DecryptRun(Invocation& inv) { return Run(inv, 1); }

constexpr wchar_t kRunUsage[] =
    L"PATH... [--to DIR] [--move] [--wipe] [--skip-encrypted] [--no-descent] [--close] [--after-reboot] "
    L"[--on-error ask|continue|stop|undo|retry]";
CommandRegistration encryptRunReg({L"encrypt-run", kRunUsage, EncryptRun});
CommandRegistration decryptRunReg({L"decrypt-run", kRunUsage, DecryptRun});

}  // namespace
}  // namespace docman
