#pragma once
// The file-system calls of the library for each character width: the wide
// forms go through the long-path layer with 4096-character buffers, the
// 8-bit forms straight to the system's ANSI functions with MAX_PATH buffers.
// An algorithm written once over Char serves both exported forms.
#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>

#include "devio/devio.h"
#include "engine/long_path.h"
#include "engine/temp_files.h"
#include "fileoper.h"

namespace oper {

template <typename Char>
struct PathCalls;

template <>
struct PathCalls<wchar_t> {
    static constexpr DWORD kCapacity = 4096;

    static size_t Length(const wchar_t* path) { return wcslen(path); }
    static DWORD Attributes(const wchar_t* path) { return GetFileAttributesLongW(path); }
    static BOOL GetAttributes(const wchar_t* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
        return GetFileAttributesExLongW(path, GetFileExInfoStandard, data);
    }
    static BOOL SetAttributes(const wchar_t* path, DWORD attributes) {
        return SetFileAttributesLongW(path, attributes);
    }
    static HANDLE Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
        return CreateFileLongW(path, access, share, nullptr, disposition, flags, nullptr);
    }
    static BOOL Delete(const wchar_t* path) { return DeleteFileLongW(path); }
    static BOOL Move(const wchar_t* from, const wchar_t* to, DWORD flags) { return MoveFileExLongW(from, to, flags); }
    static DWORD FullPath(const wchar_t* path, wchar_t* buffer, wchar_t** filePart) {
        return GetFullPathNameLongW(path, kCapacity, buffer, filePart);
    }
    static UINT TempFileName(const wchar_t* folder, wchar_t* out) {
        return GetTempFileNameLongW(folder, kTempPrefixW, 0, out);
    }
    static bool IsRoot(const wchar_t* path) { return PathIsRootW(path) != FALSE; }
    static int IsEncrypted(const wchar_t* path) { return DevIoIsEncryptedW(path, 0); }
    static int SetEncryptInfo(const wchar_t* path, ENCRYPT_INFO* info) { return DevIoSetEncryptInfoW(path, info); }
    static int ClearEncryptInfo(const wchar_t* path) { return DevIoClearEncryptInfoW(path, 0); }
};

template <>
struct PathCalls<char> {
    static constexpr DWORD kCapacity = MAX_PATH;

    static size_t Length(const char* path) { return strlen(path); }
    static DWORD Attributes(const char* path) { return GetFileAttributesA(path); }
    static BOOL GetAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
        return GetFileAttributesExA(path, GetFileExInfoStandard, data);
    }
    static BOOL SetAttributes(const char* path, DWORD attributes) { return SetFileAttributesA(path, attributes); }
    static HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
        return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    }
    static BOOL Delete(const char* path) { return DeleteFileA(path); }
    static BOOL Move(const char* from, const char* to, DWORD flags) { return MoveFileExA(from, to, flags); }
    static DWORD FullPath(const char* path, char* buffer, char** filePart) {
        return GetFullPathNameA(path, kCapacity, buffer, filePart);
    }
    static UINT TempFileName(const char* folder, char* out) {
        return GetTempFileNameCheckedA(folder, kTempPrefixA, 0, out);
    }
    static bool IsRoot(const char* path) { return PathIsRootA(path) != FALSE; }
    static int IsEncrypted(const char* path) { return DevIoIsEncryptedA(path, 0); }
    static int SetEncryptInfo(const char* path, ENCRYPT_INFO* info) { return DevIoSetEncryptInfoA(path, info); }
    static int ClearEncryptInfo(const char* path) { return DevIoClearEncryptInfoA(path, 0); }
};

// Drops one trailing backslash, if there is one.
template <typename Char>
void RemoveTrailingBackslash(Char* path) {
    const size_t length = PathCalls<Char>::Length(path);
    if (length > 0 && path[length - 1] == Char('\\')) path[length - 1] = Char(0);
}

}  // namespace oper
