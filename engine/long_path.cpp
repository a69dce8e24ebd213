#include "engine/long_path.h"

#include <shlwapi.h>

#include <cwchar>

#include "exports/error_state.h"

namespace oper {

namespace {

constexpr size_t kShortPathLimit = 260;
constexpr wchar_t kLocalPrefix[] = L"\\\\?\\";
constexpr wchar_t kUncPrefix[] = L"\\\\?\\UNC";

bool HasLocalPrefix(const wchar_t* path) { return _wcsnicmp(path, kLocalPrefix, 4) == 0; }

bool IsUncPath(const wchar_t* path) { return path[0] == L'\\' && path[1] == L'\\'; }

bool IsDrivePath(const wchar_t* path) { return path[0] != L'\0' && path[1] == L':'; }

// Calls `call` with the long form of path, or reports code 21 and returns
// `failure` when the form cannot be built.
template <typename Result, typename Call>
Result WithLongPath(const wchar_t* path, Result failure, Call call) {
    fw::HeapBlock<wchar_t> longPath = MakeLongPath(path);
    if (!longPath) {
        SetOperError(kErrOutOfMemory);
        return failure;
    }
    return call(longPath.get());
}

}  // namespace

fw::HeapBlock<wchar_t> MakeLongPath(const wchar_t* path) {
    const size_t length = wcslen(path);
    const size_t capacity = length + 8;
    auto buffer = fw::HeapBlock<wchar_t>::allocate(capacity);
    if (!buffer) return buffer;

    wchar_t* out = buffer.get();
    if (length < kShortPathLimit || HasLocalPrefix(path) || (!IsUncPath(path) && !IsDrivePath(path))) {
        wcscpy_s(out, capacity, path);
    } else if (IsUncPath(path)) {
        // "\\server\share" becomes "\\?\UNC\server\share".
        wcscpy_s(out, capacity, kUncPrefix);
        wcscat_s(out, capacity, path + 1);
    } else {
        wcscpy_s(out, capacity, kLocalPrefix);
        wcscat_s(out, capacity, path);
    }
    return buffer;
}

HANDLE CreateFileLongW(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) {
    return WithLongPath(path, INVALID_HANDLE_VALUE, [&](const wchar_t* p) {
        return CreateFileW(p, access, share, security, disposition, flags, templateFile);
    });
}

BOOL DeleteFileLongW(const wchar_t* path) {
    return WithLongPath(path, FALSE, [](const wchar_t* p) { return DeleteFileW(p); });
}

DWORD GetFileAttributesLongW(const wchar_t* path) {
    return WithLongPath(path, INVALID_FILE_ATTRIBUTES, [](const wchar_t* p) { return GetFileAttributesW(p); });
}

BOOL SetFileAttributesLongW(const wchar_t* path, DWORD attributes) {
    return WithLongPath(path, FALSE, [&](const wchar_t* p) { return SetFileAttributesW(p, attributes); });
}

BOOL GetFileAttributesExLongW(const wchar_t* path, GET_FILEEX_INFO_LEVELS level, void* data) {
    return WithLongPath(path, FALSE, [&](const wchar_t* p) { return GetFileAttributesExW(p, level, data); });
}

BOOL MoveFileExLongW(const wchar_t* from, const wchar_t* to, DWORD flags) {
    // `from` is converted first; its buffer is released when `to` fails.
    fw::HeapBlock<wchar_t> longFrom = MakeLongPath(from);
    if (!longFrom) {
        SetOperError(kErrOutOfMemory);
        return FALSE;
    }
    return WithLongPath(to, FALSE, [&](const wchar_t* p) { return MoveFileExW(longFrom.get(), p, flags); });
}

HANDLE FindFirstFileLongW(const wchar_t* pattern, WIN32_FIND_DATAW* findData) {
    return WithLongPath(pattern, INVALID_HANDLE_VALUE, [&](const wchar_t* p) { return FindFirstFileW(p, findData); });
}

DWORD GetFullPathNameLongW(const wchar_t* path, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart) {
    return WithLongPath(path, DWORD{0},
                        [&](const wchar_t* p) { return GetFullPathNameW(p, bufferLength, buffer, filePart); });
}

BOOL PathFileExistsLongW(const wchar_t* path) {
    return WithLongPath(path, FALSE, [](const wchar_t* p) { return PathFileExistsW(p); });
}

BOOL CreateDirectoryLongW(const wchar_t* path, SECURITY_ATTRIBUTES* security) {
    return WithLongPath(path, FALSE, [&](const wchar_t* p) { return CreateDirectoryW(p, security); });
}

BOOL RemoveDirectoryLongW(const wchar_t* path) {
    return WithLongPath(path, FALSE, [](const wchar_t* p) { return RemoveDirectoryW(p); });
}

}  // namespace oper
