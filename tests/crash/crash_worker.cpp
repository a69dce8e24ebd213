// crash_worker MODE SOURCE DESTINATION EVENT-HANDLE, over the filter model
// until the crash tests kill it. "files" and "full" (no room for a second
// copy: the temporary folder) encrypt and decrypt the files of SOURCE in
// place one by one; "encrypt", "wipe", "decrypt" and "move" (to DESTINATION
// and back) are whole runs. The event is set once the work has begun.
// Deletes and renames are slow, as on a busy disk, so that kills land
// between them as often as inside a copy.

#include <algorithm>

#include "fileoper.h"
#include "host/request_block.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"

namespace {

std::wstring g_source;
bool g_full = false;

BOOL WINAPI ShortOfSpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
    BOOL ok = fault::Real(&GetDiskFreeSpaceExW, "kernel32.dll", "GetDiskFreeSpaceExW")(folder, available, total, free);
    if (ok && g_full && std::wstring(folder).find(g_source) == 0) available->QuadPart = 1;
    return ok;
}

// A pause of 0 to 2 ms before the call, as a busy disk would take.
BOOL WINAPI SlowDeleteFileW(LPCWSTR path) {
    Sleep(GetTickCount() % 3);
    return fault::Real(&DeleteFileW, "kernel32.dll", "DeleteFileW")(path);
}

BOOL WINAPI SlowMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    Sleep(GetTickCount() % 3);
    return fault::Real(&MoveFileExW, "kernel32.dll", "MoveFileExW")(from, to, flags);
}

std::vector<std::wstring> Items(const std::wstring& folder) {
    std::vector<std::wstring> items;
    for (const std::wstring& name : testing_support::ListFolder(folder)) items.push_back(folder + L"\\" + name);
    std::sort(items.begin(), items.end());
    return items;
}

void Run(uint32_t kind, uint32_t flags, const std::wstring& from, const std::wstring& to = L"") {
    docman::RunRequest request;
    request.kind = kind;
    request.flags = flags | FILEOPER_CHOICE_CONTINUE | FILEOPER_FLAG_CLOSE_AT_END |
                    (to.empty() ? 0 : FILEOPER_FLAG_TO_DESTINATION | FILEOPER_FLAG_MOVE);
    request.destination = to;
    request.items = Items(from);
    BuildEncryptInfoW(nullptr, &request.info);
    if (!request.items.empty()) ShowOperationStatus(docman::AsRequest(docman::BuildRequestBlock(request)), nullptr);
}

[[noreturn]] void EachFileInPlace(const std::vector<std::wstring>& files, HANDLE started) {
    ENCRYPT_INFO info = {};
    BuildEncryptInfoW(nullptr, &info);
    // The driver library's first call tidies its store; the kills are meant
    // for the work, so the start is announced after it.
    testing_support::IsMarked(files[0]);
    SetEvent(started);
    uint32_t state = FILEOPER_STATE_RUNNING;
    for (size_t i = GetTickCount();; ++i) {
        const std::wstring& file = files[i % files.size()];
        if (testing_support::IsMarked(file))
            DecryptFileInPlaceW(file.c_str(), &state, nullptr);
        else
            EncryptFileInPlaceW(file.c_str(), &info, &state, nullptr);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    const std::wstring mode = argv[1], destination = argv[3];
    g_source = argv[2];
    HANDLE started = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(_wcstoui64(argv[4], nullptr, 10)));
    g_full = mode == L"full";
    const HMODULE library = GetModuleHandleW(L"fileoper.dll");
    fault::ImportPatch space(library, "KERNEL32.dll", "GetDiskFreeSpaceExW", &ShortOfSpace);
    fault::ImportPatch slowDelete(library, "KERNEL32.dll", "DeleteFileW", &SlowDeleteFileW);
    fault::ImportPatch slowMove(library, "KERNEL32.dll", "MoveFileExW", &SlowMoveFileExW);
    testing_support::FilterModel filter;
    if (mode == L"files" || mode == L"full") EachFileInPlace(Items(g_source), started);
    if (mode == L"decrypt") Run(0, 0, g_source);
    SetEvent(started);
    for (;;) {
        if (mode == L"move") {
            Run(0, 0, g_source, destination);
            Run(1, 0, destination, g_source);
        } else {
            if (mode != L"decrypt") Run(0, mode == L"wipe" ? FILEOPER_FLAG_WIPE : 0, g_source);
            Run(1, 0, g_source);
            if (mode == L"decrypt") Run(0, 0, g_source);
        }
    }
}
