#include "tests/support/temp_dir.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace testing_support {

static std::wstring Extended(const std::wstring& path) {
    return path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
}

// Named after the process and a count, and never one a dead process left.
TempDir::TempDir() {
    static volatile LONG made = 0;
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const std::wstring prefix = base + (L"fot-" + std::to_wstring(GetCurrentProcessId()) + L"-");
    do {
        path_ = prefix + std::to_wstring(InterlockedIncrement(&made));
    } while (!CreateDirectoryW(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
    const std::wstring ext = Extended(path);
    const DWORD attrs = GetFileAttributesW(ext.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(ext.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(ext.c_str());
        return;
    }
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((ext + L"\\*").c_str(), &fd);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &fd))
        if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) RemoveTree(ext + L"\\" + fd.cFileName);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    RemoveDirectoryW(ext.c_str());
}

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

HANDLE OpenAsOther(const std::wstring& path, DWORD access, DWORD share) {
    return CreateFileW(Extended(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::wstring MakeDeepPath(const std::wstring& base, size_t length) {
    std::wstring path = base;
    const std::wstring segment = L"\\" + std::wstring(60, L'd');
    while (path.size() + segment.size() + 12 < length) {
        path += segment;
        CreateDirectoryW(Extended(path).c_str(), nullptr);
    }
    path += L"\\";
    path += std::wstring(length - path.size(), L'f');
    return path;
}

size_t LongestPathIn(const std::wstring& folder, size_t wanted) {
    using UnixNameFn = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(folder.c_str()) : nullptr;
    if (!name) return wanted;  // not under Wine: Windows takes 32,767
    const size_t overhead = strlen(name) > folder.size() ? strlen(name) - folder.size() : 0;
    HeapFree(GetProcessHeap(), 0, name);
    constexpr size_t kUnixLimit = 4095, kTemporaryNameGrowth = 32;
    return std::min(wanted, kUnixLimit - overhead - kTemporaryNameGrowth);
}

void SetTempFolder(const std::wstring& folder) {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) SetEnvironmentVariableW(name, folder.c_str());
}

std::wstring BinDir() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

std::string Narrow(const std::wstring& text, UINT codePage) {
    const int size = static_cast<int>(text.size());
    std::string out(WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, &out[0], static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

std::wstring Widen(const std::string& text, UINT codePage) {
    const int size = static_cast<int>(text.size());
    std::wstring out(MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), size, &out[0], static_cast<int>(out.size()));
    return out;
}

}  // namespace testing_support
