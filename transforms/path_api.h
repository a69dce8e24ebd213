#pragma once
// The system calls of the file transforms for each character width: the wide
// forms go through the long-path layer with 4096-character buffers, the
// 8-bit forms straight to the system's ANSI functions with MAX_PATH buffers.
// One algorithm serves both forms.
#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "devio/devio.h"
#include "engine/long_path.h"
#include "engine/system_guard.h"
#include "engine/temp_files.h"
#include "fileoper.h"
#include "transforms/chunked_copy.h"
#include "transforms/security_transfer.h"

namespace oper {

template <typename Char>
struct PathApi;

template <>
struct PathApi<wchar_t> {
    static constexpr DWORD kCapacity = 4096;

    static BOOL GetAttributes(const wchar_t* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
        return GetFileAttributesExLongW(path, GetFileExInfoStandard, data);
    }
    static HANDLE Open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
        return CreateFileLongW(path, access, share, nullptr, disposition, flags, nullptr);
    }
    static BOOL Delete(const wchar_t* path) { return DeleteFileLongW(path); }
    static BOOL SetAttributes(const wchar_t* path, DWORD attributes) {
        return SetFileAttributesLongW(path, attributes);
    }
    static BOOL CopySecurity(const wchar_t* source, const wchar_t* destination) {
        return CopyFileSecurityW(source, destination);
    }
    static DWORD FullPath(const wchar_t* path, wchar_t* buffer, wchar_t** filePart) {
        return GetFullPathNameLongW(path, kCapacity, buffer, filePart);
    }
    static BOOL FreeSpace(const wchar_t* folder, ULARGE_INTEGER* availableToCaller) {
        return GetDiskFreeSpaceExW(folder, availableToCaller, nullptr, nullptr);
    }
    static DWORD TempFolder(wchar_t* buffer) { return GetTempPathW(kCapacity, buffer); }
    static UINT TempFileName(const wchar_t* folder, wchar_t* out) {
        return GetTempFileNameLongW(folder, kTempPrefixW, 0, out);
    }
    static BOOL SafeDelete(const wchar_t* path) { return SafeDeleteFileW(path); }
    static BOOL MoveWithRetry(const wchar_t* from, const wchar_t* to, DWORD flags) {
        return MoveFileWithRetryW(from, to, flags);
    }
    static int IsBootFile(const wchar_t* path) { return IsBootFileW(path); }
    static int IsEncrypted(const wchar_t* path) { return DevIoIsEncryptedW(path, 0); }
    static int SetEncryptInfo(const wchar_t* path, ENCRYPT_INFO* info) { return DevIoSetEncryptInfoW(path, info); }
    static int ClearEncryptInfo(const wchar_t* path) { return DevIoClearEncryptInfoW(path, 0); }
    static BOOL TestCreate(const wchar_t* path) { return TestCreateFileW(path); }
    static BOOL Copy(const wchar_t* source, const wchar_t* destination, DWORD sourceFlags, DWORD destinationFlags,
                     const volatile uint32_t* state, volatile uint32_t* percent) {
        return TransformCopyFileW(source, destination, sourceFlags, destinationFlags, state, percent);
    }
    static bool SameString(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b) == 0; }
    static bool IsNetworkPath(const wchar_t* path) { return PathIsNetworkPathW(path) != FALSE; }
};

template <>
struct PathApi<char> {
    static constexpr DWORD kCapacity = MAX_PATH;

    static BOOL GetAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
        return GetFileAttributesExA(path, GetFileExInfoStandard, data);
    }
    static HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
        return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    }
    static BOOL Delete(const char* path) { return DeleteFileA(path); }
    static BOOL SetAttributes(const char* path, DWORD attributes) { return SetFileAttributesA(path, attributes); }
    static BOOL CopySecurity(const char* source, const char* destination) {
        return CopyFileSecurityA(source, destination);
    }
    static DWORD FullPath(const char* path, char* buffer, char** filePart) {
        return GetFullPathNameA(path, kCapacity, buffer, filePart);
    }
    static BOOL FreeSpace(const char* folder, ULARGE_INTEGER* availableToCaller) {
        return GetDiskFreeSpaceExA(folder, availableToCaller, nullptr, nullptr);
    }
    static DWORD TempFolder(char* buffer) { return GetTempPathA(kCapacity, buffer); }
    static UINT TempFileName(const char* folder, char* out) {
        return GetTempFileNameCheckedA(folder, kTempPrefixA, 0, out);
    }
    static BOOL SafeDelete(const char* path) { return SafeDeleteFileA(path); }
    static BOOL MoveWithRetry(const char* from, const char* to, DWORD flags) {
        return MoveFileWithRetryA(from, to, flags);
    }
    static int IsBootFile(const char* path) { return IsBootFileA(path); }
    static int IsEncrypted(const char* path) { return DevIoIsEncryptedA(path, 0); }
    static int SetEncryptInfo(const char* path, ENCRYPT_INFO* info) { return DevIoSetEncryptInfoA(path, info); }
    static int ClearEncryptInfo(const char* path) { return DevIoClearEncryptInfoA(path, 0); }
    static BOOL TestCreate(const char* path) { return TestCreateFileA(path); }
    static BOOL Copy(const char* source, const char* destination, DWORD sourceFlags, DWORD destinationFlags,
                     const volatile uint32_t* state, volatile uint32_t* percent) {
        return TransformCopyFileA(source, destination, sourceFlags, destinationFlags, state, percent);
    }
    static bool SameString(const char* a, const char* b) { return _stricmp(a, b) == 0; }
};

}  // namespace oper
