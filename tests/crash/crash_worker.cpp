// Encrypts and decrypts the files of a folder in place, round after round,
// until it is killed. Started by the crash-safety test:
//   crash_worker FOLDER normal|full FIRST-INDEX EVENT-HANDLE
// "full" makes the folder's volume look too small for a second copy, so that
// every file goes through the temporary folder. The inherited event is set
// once the work has begun. Deletes and renames are made slow, as on a busy
// disk, so that kills land between them as often as inside a copy; the
// filter model puts the bytes on disk as the filter would.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "fileoper.h"
#include "tests/support/filter_model.h"
#include "tests/support/iat_patch.h"

namespace {

std::wstring g_folder;

BOOL WINAPI ShortOfSpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
    BOOL ok = fault::Real(&GetDiskFreeSpaceExW, "kernel32.dll", "GetDiskFreeSpaceExW")(folder, available, total, free);
    if (ok && std::wstring(folder).find(g_folder) == 0) available->QuadPart = 1;
    return ok;
}

// A pause of 0 to 2 ms before the call, as a busy disk would take.
void Stall() { Sleep(GetTickCount() % 3); }

BOOL WINAPI SlowDeleteFileW(LPCWSTR path) {
    Stall();
    return fault::Real(&DeleteFileW, "kernel32.dll", "DeleteFileW")(path);
}

BOOL WINAPI SlowMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    Stall();
    return fault::Real(&MoveFileExW, "kernel32.dll", "MoveFileExW")(from, to, flags);
}

std::vector<std::wstring> DataFiles(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*.dat").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return files;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder + L"\\" + fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    g_folder = argv[1];
    const bool full = std::wstring(argv[2]) == L"full";
    const size_t first = wcstoul(argv[3], nullptr, 10);
    HANDLE started = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(_wcstoui64(argv[4], nullptr, 10)));

    fault::ImportPatch space(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "GetDiskFreeSpaceExW",
                             full ? reinterpret_cast<const void*>(&ShortOfSpace)
                                  : reinterpret_cast<const void*>(
                                        fault::Real(&GetDiskFreeSpaceExW, "kernel32.dll", "GetDiskFreeSpaceExW")));
    fault::ImportPatch slowDelete(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "DeleteFileW",
                                  reinterpret_cast<const void*>(&SlowDeleteFileW));
    fault::ImportPatch slowMove(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "MoveFileExW",
                                reinterpret_cast<const void*>(&SlowMoveFileExW));
    testing_support::FilterModel filter;
    ENCRYPT_INFO info = {};
    if (!BuildEncryptInfoW(nullptr, &info)) return 3;
    const std::vector<std::wstring> files = DataFiles(g_folder);
    if (files.empty()) return 4;

    // The driver library's first call tidies its store; the kills are meant
    // for the work, so the start is announced after it.
    testing_support::IsMarked(files[0]);
    SetEvent(started);
    uint32_t state = FILEOPER_STATE_RUNNING;
    for (size_t i = first;; ++i) {
        const std::wstring& file = files[i % files.size()];
        if (testing_support::IsMarked(file))
            DecryptFileInPlaceW(file.c_str(), &state, nullptr);
        else
            EncryptFileInPlaceW(file.c_str(), &info, &state, nullptr);
    }
}
