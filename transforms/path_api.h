#pragma once
// The system calls of the file transforms for each character width: the wide
// forms go through the long-path layer, the 8-bit forms straight to the
// system's ANSI functions. One algorithm serves both forms.
#include <windows.h>

#include "engine/long_path.h"
#include "transforms/security_transfer.h"

namespace oper {

template <typename Char>
struct PathApi;

template <>
struct PathApi<wchar_t> {
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
};

template <>
struct PathApi<char> {
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
};

}  // namespace oper
