#pragma once
// The calls of the file transforms for each character width: the library's
// file-system calls and, on top, the engine's services and the copy.
#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <cwchar>

#include "engine/path_calls.h"
#include "engine/system_guard.h"
#include "engine/temp_files.h"
#include "fileoper.h"
#include "transforms/chunked_copy.h"
#include "transforms/security_transfer.h"

namespace oper {

template <typename Char>
struct PathApi;

template <>
struct PathApi<wchar_t> : PathCalls<wchar_t> {
    static BOOL CopySecurity(const wchar_t* source, const wchar_t* destination) {
        return CopyFileSecurityW(source, destination);
    }
    static BOOL FreeSpace(const wchar_t* folder, ULARGE_INTEGER* availableToCaller) {
        return GetDiskFreeSpaceExW(folder, availableToCaller, nullptr, nullptr);
    }
    static DWORD TempFolder(wchar_t* buffer) { return GetTempPathW(kCapacity, buffer); }
    static BOOL SafeDelete(const wchar_t* path) { return SafeDeleteFileW(path); }
    static BOOL MoveWithRetry(const wchar_t* from, const wchar_t* to, DWORD flags) {
        return MoveFileWithRetryW(from, to, flags);
    }
    static int IsBootFile(const wchar_t* path) { return IsBootFileW(path); }
    static BOOL TestCreate(const wchar_t* path) { return TestCreateFileW(path); }
    static BOOL Copy(const wchar_t* source, const wchar_t* destination, DWORD sourceFlags, DWORD destinationFlags,
                     const volatile uint32_t* state, volatile uint32_t* percent) {
        return TransformCopyFileW(source, destination, sourceFlags, destinationFlags, state, percent);
    }
    static bool SameString(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b) == 0; }
};

template <>
struct PathApi<char> : PathCalls<char> {
    static BOOL CopySecurity(const char* source, const char* destination) {
        return CopyFileSecurityA(source, destination);
    }
    static BOOL FreeSpace(const char* folder, ULARGE_INTEGER* availableToCaller) {
        return GetDiskFreeSpaceExA(folder, availableToCaller, nullptr, nullptr);
    }
    static DWORD TempFolder(char* buffer) { return GetTempPathA(kCapacity, buffer); }
    static BOOL SafeDelete(const char* path) { return SafeDeleteFileA(path); }
    static BOOL MoveWithRetry(const char* from, const char* to, DWORD flags) {
        return MoveFileWithRetryA(from, to, flags);
    }
    static int IsBootFile(const char* path) { return IsBootFileA(path); }
    static BOOL TestCreate(const char* path) { return TestCreateFileA(path); }
    static BOOL Copy(const char* source, const char* destination, DWORD sourceFlags, DWORD destinationFlags,
                     const volatile uint32_t* state, volatile uint32_t* percent) {
        return TransformCopyFileA(source, destination, sourceFlags, destinationFlags, state, percent);
    }
    static bool SameString(const char* a, const char* b) { return _stricmp(a, b) == 0; }
};

}  // namespace oper
