// The long-path layer: which form of a path reaches the system function, and
// what each wrapper does when the long form cannot be allocated.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "engine/long_path.h"
#include "exports/error_state.h"
#include "tests/support/iat_patch.h"

namespace {

// This test links the library's objects, so the wrappers' system calls go
// through this executable's own import table.
HMODULE Self() { return GetModuleHandleW(nullptr); }

std::wstring Repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

// A path of exactly `length` characters starting with `head`.
std::wstring PathOf(const std::wstring& head, size_t length) { return head + Repeat(L'a', length - head.size()); }

struct PrefixCase {
    const char* what;
    std::wstring input;
    std::wstring expected;
};

std::vector<PrefixCase> PrefixTable() {
    const std::wstring drive259 = PathOf(L"C:\\data\\", 259);
    const std::wstring drive260 = PathOf(L"C:\\data\\", 260);
    const std::wstring unc300 = PathOf(L"\\\\server\\share\\", 300);
    const std::wstring relative300 = PathOf(L"data\\", 300);
    const std::wstring prefixed300 = PathOf(L"\\\\?\\C:\\", 300);
    const std::wstring prefixedLower300 = PathOf(L"\\\\?\\unc\\server\\share\\", 300);
    const std::wstring odd300 = PathOf(L"\\data\\", 300);
    return {
        {"short drive path", L"C:\\a.txt", L"C:\\a.txt"},
        {"drive path of 259", drive259, drive259},
        {"drive path of 260", drive260, L"\\\\?\\" + drive260},
        {"drive path of 4000", PathOf(L"D:\\", 4000), L"\\\\?\\" + PathOf(L"D:\\", 4000)},
        {"short UNC path", L"\\\\server\\share\\a", L"\\\\server\\share\\a"},
        {"UNC path of 300", unc300, L"\\\\?\\UNC" + unc300.substr(1)},
        {"relative path of 300", relative300, relative300},
        {"rooted path without drive", odd300, odd300},
        {"already prefixed", prefixed300, prefixed300},
        {"already prefixed, other case", prefixedLower300, prefixedLower300},
        {"empty path", L"", L""},
    };
}

TEST(MakeLongPath, FollowsThePrefixRules) {
    for (const PrefixCase& c : PrefixTable()) {
        fw::HeapBlock<wchar_t> out = oper::MakeLongPath(c.input.c_str());
        ASSERT_TRUE(out.valid()) << c.what;
        EXPECT_EQ(std::wstring(out.get()), c.expected) << c.what;
        // Room for the input plus 8 characters: the longest prefix is 7.
        EXPECT_GE(HeapSize(GetProcessHeap(), 0, out.get()), (c.input.size() + 8) * sizeof(wchar_t)) << c.what;
    }
}

// What the hooked system functions last received.
std::wstring g_seen[2];
int g_calls = 0;

// Each hook fails the way its system function does, with this last error.
void Seen(const wchar_t* a, const wchar_t* b = nullptr) {
    ++g_calls;
    g_seen[0] = a ? a : L"";
    g_seen[1] = b ? b : L"";
    SetLastError(ERROR_PATH_NOT_FOUND);
}

HANDLE WINAPI HookCreateFileW(LPCWSTR p, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return Seen(p), INVALID_HANDLE_VALUE;
}
BOOL WINAPI HookDeleteFileW(LPCWSTR p) { return Seen(p), FALSE; }
DWORD WINAPI HookGetFileAttributesW(LPCWSTR p) { return Seen(p), INVALID_FILE_ATTRIBUTES; }
BOOL WINAPI HookSetFileAttributesW(LPCWSTR p, DWORD) { return Seen(p), FALSE; }
BOOL WINAPI HookGetFileAttributesExW(LPCWSTR p, GET_FILEEX_INFO_LEVELS, LPVOID) { return Seen(p), FALSE; }
BOOL WINAPI HookMoveFileExW(LPCWSTR a, LPCWSTR b, DWORD) { return Seen(a, b), FALSE; }
HANDLE WINAPI HookFindFirstFileW(LPCWSTR p, LPWIN32_FIND_DATAW) { return Seen(p), INVALID_HANDLE_VALUE; }
DWORD WINAPI HookGetFullPathNameW(LPCWSTR p, DWORD, LPWSTR, LPWSTR*) { return Seen(p), 0; }
BOOL WINAPI HookPathFileExistsW(LPCWSTR p) { return Seen(p), FALSE; }

struct Wrapper {
    const char* dll;
    const char* function;
    const void* hook;
    // Calls the wrapper with path (twice for a move); true when it returned
    // the failure value of its system function.
    bool (*call)(const wchar_t* path);
};

const Wrapper kWrappers[] = {
    {"KERNEL32.dll", "CreateFileW", reinterpret_cast<const void*>(&HookCreateFileW),
     [](const wchar_t* p) {
         return oper::CreateFileLongW(p, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE;
     }},
    {"KERNEL32.dll", "DeleteFileW", reinterpret_cast<const void*>(&HookDeleteFileW),
     [](const wchar_t* p) { return oper::DeleteFileLongW(p) == FALSE; }},
    {"KERNEL32.dll", "GetFileAttributesW", reinterpret_cast<const void*>(&HookGetFileAttributesW),
     [](const wchar_t* p) { return oper::GetFileAttributesLongW(p) == INVALID_FILE_ATTRIBUTES; }},
    {"KERNEL32.dll", "SetFileAttributesW", reinterpret_cast<const void*>(&HookSetFileAttributesW),
     [](const wchar_t* p) { return oper::SetFileAttributesLongW(p, FILE_ATTRIBUTE_NORMAL) == FALSE; }},
    {"KERNEL32.dll", "GetFileAttributesExW", reinterpret_cast<const void*>(&HookGetFileAttributesExW),
     [](const wchar_t* p) {
         WIN32_FILE_ATTRIBUTE_DATA data;
         return oper::GetFileAttributesExLongW(p, GetFileExInfoStandard, &data) == FALSE;
     }},
    {"KERNEL32.dll", "MoveFileExW", reinterpret_cast<const void*>(&HookMoveFileExW),
     [](const wchar_t* p) { return oper::MoveFileExLongW(p, p, 0) == FALSE; }},
    {"KERNEL32.dll", "FindFirstFileW", reinterpret_cast<const void*>(&HookFindFirstFileW),
     [](const wchar_t* p) {
         WIN32_FIND_DATAW fd;
         return oper::FindFirstFileLongW(p, &fd) == INVALID_HANDLE_VALUE;
     }},
    {"KERNEL32.dll", "GetFullPathNameW", reinterpret_cast<const void*>(&HookGetFullPathNameW),
     [](const wchar_t* p) {
         wchar_t buf[16];
         return oper::GetFullPathNameLongW(p, 16, buf, nullptr) == 0;
     }},
    {"SHLWAPI.dll", "PathFileExistsW", reinterpret_cast<const void*>(&HookPathFileExistsW),
     [](const wchar_t* p) { return oper::PathFileExistsLongW(p) == FALSE; }},
};

// Without memory for the long form a wrapper reports code 21 and its
// failure value and never reaches the system.
TEST(LongPathWrappers, HandTheLongFormToTheSystemOrReportOutOfMemory) {
    fault::Hook<decltype(&HeapAlloc)> alloc(Self(), "KERNEL32.dll", "HeapAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
    for (const Wrapper& w : kWrappers) {
        fault::ImportPatch patch(Self(), w.dll, w.function, w.hook);
        ASSERT_TRUE(patch.active()) << w.function;
        for (const PrefixCase& c : PrefixTable()) {
            g_calls = 0;
            SetLastError(ERROR_ACCESS_DENIED);
            EXPECT_TRUE(w.call(c.input.c_str())) << w.function;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << w.function;
            ASSERT_EQ(g_calls, 1) << w.function << ": " << c.what;
            EXPECT_EQ(g_seen[0], c.expected) << w.function << ": " << c.what;
            if (std::string(w.function) == "MoveFileExW") {
                EXPECT_EQ(g_seen[1], c.expected) << c.what;
            }
        }
        oper::SetOperError(0);
        g_calls = 0;
        alloc.trigger.Arm(1);
        EXPECT_TRUE(w.call(L"C:\\file.txt")) << w.function;
        EXPECT_EQ(g_calls, 0) << w.function;
        EXPECT_EQ(GetOperErrorCode(), 21u) << w.function;
    }
}

TEST(LongPathWrappers, MoveReleasesTheSourceFormWhenTheDestinationCannotBeBuilt) {
    fault::Hook<decltype(&HeapAlloc)> alloc(Self(), "KERNEL32.dll", "HeapAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
    fault::Hook<decltype(&HeapFree)> free(Self(), "KERNEL32.dll", "HeapFree");
    fault::ImportPatch move(Self(), "KERNEL32.dll", "MoveFileExW", reinterpret_cast<const void*>(&HookMoveFileExW));
    oper::SetOperError(0);
    g_calls = 0;
    alloc.trigger.Arm(2);
    EXPECT_EQ(oper::MoveFileExLongW(L"C:\\a", L"C:\\b", 0), FALSE);
    EXPECT_EQ(g_calls, 0);
    EXPECT_EQ(free.calls, 1);
    EXPECT_EQ(GetOperErrorCode(), 21u);
}

}  // namespace
