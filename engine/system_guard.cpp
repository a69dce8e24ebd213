#include "engine/system_guard.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "devio/devio.h"
#include "engine/long_path.h"
#include "engine/path_calls.h"
#include "exports/error_state.h"
#include "fileoper.h"
#include "framework/handles.h"

namespace oper {

namespace {

constexpr const char* kBootFiles[] = {
    "NTLDR", "Ntdetect.com", "bootmgr", "bootmgr.efi", "Boot.ini", "Bootsect.dos", "Ntbootdd.sys",
};

// "X:\" is three characters: a boot file lies right after it.
constexpr ptrdiff_t kDriveRootLength = 3;
// The working copy of the wide folder needs room for "\*" and the NUL.
constexpr size_t kWideFolderLimit = 4094;
constexpr DWORD kSystemDriveCapacity = 16;

bool IsBootFileName(const char* name) {
    for (const char* bootFile : kBootFiles)
        if (_stricmp(name, bootFile) == 0) return true;
    return false;
}

bool EndsWithBackslash(const wchar_t* path) {
    const size_t length = wcslen(path);
    return length > 0 && path[length - 1] == L'\\';
}

// path, a backslash unless it ends in one, then tail.
void AppendBelow(wchar_t* path, size_t capacity, const wchar_t* tail) {
    if (!EndsWithBackslash(path)) wcscat_s(path, capacity, L"\\");
    wcscat_s(path, capacity, tail);
}

bool CanList(HANDLE search) {
    fw::FindHandle handle(search);
    return handle.valid();
}

bool IsSystemDriveRoot(const wchar_t* root) {
    wchar_t systemDrive[kSystemDriveCapacity];
    const DWORD length = GetEnvironmentVariableW(L"SystemDrive", systemDrive, kSystemDriveCapacity);
    return length >= 1 && length < kSystemDriveCapacity && _wcsnicmp(root, systemDrive, length) == 0;
}

bool HasValidSize(const ENCRYPT_INFO* info) { return info && info->size == ENCRYPT_INFO_SIZE; }

// The folder bit goes into the caller's descriptor before the driver's
// library is asked, and stays there when it refuses.
template <typename Char>
BOOL SetFolderMark(const Char* folder, ENCRYPT_INFO* info, int(WINAPI* setEncryptInfo)(const Char*, ENCRYPT_INFO*)) {
    info->flags |= ENCRYPT_INFO_FOLDER;
    if (!setEncryptInfo(folder, info)) return Fail(kErrEncryptInfo);
    return Succeed();
}

// The caller's 8-bit folder as a wide path, a backslash unless it ends in
// one, then tail.
void WidePathBelow(const char* folder, const wchar_t* tail, wchar_t* out, size_t capacity) {
    out[0] = L'\0';
    MultiByteToWideChar(CP_ACP, 0, folder, -1, out, MAX_PATH);
    AppendBelow(out, capacity, tail);
}

}  // namespace

int IsBootFileA(const char* path) {
    char full[MAX_PATH];
    char* name = nullptr;
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, &name);
    if (length == 0 || length >= MAX_PATH || !name || !*name) return 0;
    if (strchr(name, ':')) return 1;
    if (name - full != kDriveRootLength) return 0;
    return IsBootFileName(name) ? 1 : 0;
}

int IsBootFileW(const wchar_t* path) {
    char narrow[MAX_PATH];
    if (!WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, MAX_PATH, nullptr, nullptr)) return 0;
    return IsBootFileA(narrow);
}

}  // namespace oper

extern "C" BOOL WINAPI EncryptFolderW(const wchar_t* folder, ENCRYPT_INFO* info) {
    using namespace oper;
    if (!folder) folder = L"";
    const size_t length = wcslen(folder);
    if (length >= kWideFolderLimit) return Fail(kErrPathTooLong);
    const size_t capacity = length + 3;
    auto copy = fw::HeapBlock<wchar_t>::allocate(capacity);
    if (!copy) return Fail(kErrOutOfMemory);
    wcscpy_s(copy.get(), capacity, folder);

    const bool root = PathIsRootW(copy.get()) != FALSE;
    if (!root) RemoveTrailingBackslash(copy.get());
    const size_t folderLength = wcslen(copy.get());

    AppendBelow(copy.get(), capacity, L"*");
    WIN32_FIND_DATAW found;
    if (!CanList(FindFirstFileLongW(copy.get(), &found)) && !root) return Fail(kErrFolderAccess);
    if (root && IsSystemDriveRoot(copy.get())) return Fail(kErrSystemCritical);
    if (!HasValidSize(info)) return Fail(kErrInvalidParameter);

    copy.get()[folderLength] = L'\0';
    return SetFolderMark(copy.get(), info, DevIoSetEncryptInfoW);
}

// The 8-bit form lists the folder through a wide pattern built from the path
// as given, and refuses any root that holds "ntldr" rather than the system
// drive's.
extern "C" BOOL WINAPI EncryptFolderA(const char* folder, ENCRYPT_INFO* info) {
    using namespace oper;
    if (!folder) folder = "";
    if (strlen(folder) >= MAX_PATH) return Fail(kErrPathTooLong);
    char copy[MAX_PATH];
    strcpy_s(copy, MAX_PATH, folder);
    const bool root = PathIsRootA(copy) != FALSE;
    if (!root) RemoveTrailingBackslash(copy);

    constexpr size_t kWideCapacity = MAX_PATH + 8;
    wchar_t pattern[kWideCapacity], ntldr[kWideCapacity];
    WidePathBelow(folder, L"*", pattern, kWideCapacity);
    WidePathBelow(folder, L"ntldr", ntldr, kWideCapacity);

    WIN32_FIND_DATAW found;
    if (!CanList(FindFirstFileW(pattern, &found)) && !root) return Fail(kErrFolderAccess);
    if (root && PathFileExistsW(ntldr)) return Fail(kErrSystemCritical);
    if (!HasValidSize(info)) return Fail(kErrInvalidParameter);
    return SetFolderMark(copy, info, DevIoSetEncryptInfoA);
}
