#include "engine/temp_files.h"

#include <rpc.h>

#include <cstring>
#include <cwchar>
#include <type_traits>

#include "engine/long_path.h"
#include "engine/options.h"
#include "engine/path_calls.h"
#include "framework/handles.h"

namespace oper {

namespace {

// The longest folder the system's temporary-name function takes: MAX_PATH
// less the room its "XXX" + 4 hex digits + ".tmp" name needs. Wine's
// functions write past their buffer for longer ones.
constexpr size_t kSystemTempFolderLimit = MAX_PATH - 14;
constexpr size_t kWidePathCapacity = 4096;
constexpr int kUuidNameAttempts = 8;
constexpr size_t kUuidTextLength = 36;
constexpr wchar_t kUuidNameSuffix[] = L".tmp";
constexpr int kMoveAttempts = 3;
constexpr DWORD kMovePauseMs = 200;

enum class UuidAttempt { kCreated, kNameTaken, kFailed };

// Folder, backslash unless present, 36-character UUID text, ".tmp", NUL.
bool HasRoomForUuidName(size_t folderLength) {
    return folderLength + 1 + kUuidTextLength + wcslen(kUuidNameSuffix) + 1 <= kWidePathCapacity;
}

void ComposeUuidName(const wchar_t* folder, const wchar_t* uuidText, wchar_t* out) {
    wcscpy_s(out, kWidePathCapacity, folder);
    const size_t length = wcslen(out);
    if (length == 0 || out[length - 1] != L'\\') wcscat_s(out, kWidePathCapacity, L"\\");
    wcscat_s(out, kWidePathCapacity, uuidText);
    wcscat_s(out, kWidePathCapacity, kUuidNameSuffix);
}

UuidAttempt TryUuidName(const wchar_t* folder, wchar_t* out) {
    UUID id;
    RPC_WSTR text = nullptr;
    if (UuidCreate(&id) != RPC_S_OK || UuidToStringW(&id, &text) != RPC_S_OK) return UuidAttempt::kFailed;
    ComposeUuidName(folder, reinterpret_cast<const wchar_t*>(text), out);
    RpcStringFreeW(&text);

    fw::FileHandle file(CreateFileLongW(out, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return UuidAttempt::kCreated;
    // A name already taken is what CREATE_NEW reports as either code.
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return UuidAttempt::kNameTaken;
    out[0] = L'\0';
    return UuidAttempt::kFailed;
}

UINT GetUuidTempFileName(const wchar_t* folder, wchar_t* out) {
    if (!HasRoomForUuidName(wcslen(folder))) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    for (int attempt = 0; attempt < kUuidNameAttempts; ++attempt) {
        switch (TryUuidName(folder, out)) {
            case UuidAttempt::kCreated: return static_cast<UINT>(wcslen(out));
            case UuidAttempt::kFailed: return 0;
            case UuidAttempt::kNameTaken: break;
        }
    }
    return 0;
}

bool IsSharingConflict(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

template <typename Char>
BOOL MoveWithRetry(const Char* from, const Char* to, DWORD flags) {
    using Calls = PathCalls<Char>;
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        if (Calls::Move(from, to, flags)) return TRUE;
        const DWORD error = GetLastError();
        const bool lastAttempt = attempt == kMoveAttempts - 1;
        if (error == ERROR_ALREADY_EXISTS) {
            flags |= MOVEFILE_REPLACE_EXISTING;
        } else if (IsSharingConflict(error) && !lastAttempt) {
            Sleep(kMovePauseMs);
        }
    }
    return FALSE;
}

// The file moves to a fresh temporary name in its own folder and is deleted
// there; when that delete fails too it goes back under its own name.
template <typename Char>
BOOL RenameThenDelete(const Char* path) {
    using Calls = PathCalls<Char>;
    Char folder[Calls::kCapacity];
    Char* name = nullptr;
    const DWORD length = Calls::FullPath(path, folder, &name);
    if (length == 0 || length > Calls::kCapacity || !name || !*name) return FALSE;
    *name = Char{0};

    Char temp[Calls::kCapacity];
    if (!Calls::TempFileName(folder, temp)) return FALSE;
    // The 8-bit form gives up when the empty file its temporary name created
    // cannot be removed; the wide form moves onto it with replace anyway.
    if (!Calls::Delete(temp) && std::is_same_v<Char, char>) return FALSE;
    if (!Calls::Move(path, temp, MOVEFILE_REPLACE_EXISTING)) return FALSE;
    if (Calls::Delete(temp)) return TRUE;

    const DWORD deleteError = GetLastError();
    Calls::Move(temp, path, MOVEFILE_REPLACE_EXISTING);
    SetLastError(deleteError);
    return FALSE;
}

template <typename Char>
BOOL SafeDelete(const Char* path) {
    using Calls = PathCalls<Char>;
    const DWORD attributes = Calls::Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !Calls::SetAttributes(path, FILE_ATTRIBUTE_NORMAL)) return FALSE;
    if (Calls::Delete(path)) return TRUE;
    if (!g_options.renameBeforeDelete) return FALSE;
    return RenameThenDelete(path);
}

}  // namespace

UINT GetTempFileNameLongW(const wchar_t* folder, const wchar_t* prefix, UINT unique, wchar_t* out) {
    if (wcslen(folder) <= kSystemTempFolderLimit) return GetTempFileNameW(folder, prefix, unique, out);
    return GetUuidTempFileName(folder, out);
}

UINT GetTempFileNameCheckedA(const char* folder, const char* prefix, UINT unique, char* out) {
    if (strlen(folder) > kSystemTempFolderLimit) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    return GetTempFileNameA(folder, prefix, unique, out);
}

BOOL MoveFileWithRetryA(const char* from, const char* to, DWORD flags) {
    return MoveWithRetry(from, to, flags);
}

BOOL MoveFileWithRetryW(const wchar_t* from, const wchar_t* to, DWORD flags) {
    return MoveWithRetry(from, to, flags);
}

BOOL SafeDeleteFileA(const char* path) { return SafeDelete(path); }

BOOL SafeDeleteFileW(const wchar_t* path) { return SafeDelete(path); }

}  // namespace oper
