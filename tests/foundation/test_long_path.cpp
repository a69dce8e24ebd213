// Which form of a path reaches the system, and what each long-path wrapper
// does when the long form cannot be allocated.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/long_path.h"
#include "exports/error_state.h"
#include "tests/support/iat_patch.h"

namespace {

// The library's objects are linked in: their imports are this executable's.
HMODULE Self() { return GetModuleHandleW(nullptr); }

// A path of exactly `length` characters starting with `head`.
std::wstring PathOf(const std::wstring& head, size_t length) { return head + std::wstring(length - head.size(), L'a'); }

// Each input with the form the system should receive.
std::vector<std::pair<std::wstring, std::wstring>> PrefixTable() {
    const std::wstring drive = PathOf(L"C:\\data\\", 260), deep = PathOf(L"D:\\", 4000);
    const std::wstring unc = PathOf(L"\\\\server\\share\\", 300);
    std::vector<std::pair<std::wstring, std::wstring>> table = {
        {drive, L"\\\\?\\" + drive}, {deep, L"\\\\?\\" + deep}, {unc, L"\\\\?\\UNC" + unc.substr(1)}};
    // Short paths, and long ones that are relative, have no drive or carry a
    // prefix already, stay as they are.
    for (const std::wstring& same :
         {std::wstring(L"C:\\a.txt"), PathOf(L"C:\\data\\", 259), std::wstring(L"\\\\server\\share\\a"),
          PathOf(L"data\\", 300), PathOf(L"\\data\\", 300), PathOf(L"\\\\?\\C:\\", 300),
          PathOf(L"\\\\?\\unc\\server\\share\\", 300), std::wstring()})
        table.push_back({same, same});
    return table;
}

void AddPath(std::vector<std::wstring>& paths, const wchar_t* path) { paths.push_back(path ? path : L""); }
template <typename Other>
void AddPath(std::vector<std::wstring>&, Other) {}

// `wrapper` says whether the wrapper returned the failure value its system
// function now gives every call. The system must see the long form (twice
// for a move), and nothing when the long form cannot be allocated.
template <typename Fn, typename R>
void ExpectLongForms(Fn, const char* dll, const char* function, R failure, bool (*wrapper)(const wchar_t*)) {
    SCOPED_TRACE(function);
    fault::Hook<decltype(&HeapAlloc)> alloc(Self(), "KERNEL32.dll", "HeapAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
    fault::Hook<Fn> system(Self(), dll, function, failure, ERROR_PATH_NOT_FOUND);
    system.trigger.Arm(1, true);
    std::vector<std::wstring> seen;
    system.before = [&](auto... args) {
        seen.clear();
        (AddPath(seen, args), ...);
    };
    for (const auto& [input, expected] : PrefixTable()) {
        SCOPED_TRACE(input.size());
        system.calls = 0;
        SetLastError(ERROR_ACCESS_DENIED);
        EXPECT_TRUE(wrapper(input.c_str()));
        EXPECT_EQ(system.calls, 1);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
        EXPECT_EQ(seen, std::vector<std::wstring>(std::string(function) == "MoveFileExW" ? 2 : 1, expected));
    }
    oper::SetOperError(0), system.calls = 0;
    alloc.trigger.Arm(1);
    EXPECT_TRUE(wrapper(L"C:\\file.txt"));
    EXPECT_EQ(system.calls, 0);
    EXPECT_EQ(GetOperErrorCode(), 21u);
}

// Each wrapper with the prefix table: a wrong form, or a buffer without room
// for the prefix, shows in what the system is handed.
TEST(LongPathWrappers, HandTheLongFormToTheSystemOrReportOutOfMemory) {
    using namespace oper;
    const char* k32 = "KERNEL32.dll";
    ExpectLongForms(&CreateFileW, k32, "CreateFileW", INVALID_HANDLE_VALUE, [](const wchar_t* p) {
        return CreateFileLongW(p, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE;
    });
    ExpectLongForms(&DeleteFileW, k32, "DeleteFileW", FALSE, [](const wchar_t* p) { return !DeleteFileLongW(p); });
    ExpectLongForms(&GetFileAttributesW, k32, "GetFileAttributesW", INVALID_FILE_ATTRIBUTES,
                    [](const wchar_t* p) { return GetFileAttributesLongW(p) == INVALID_FILE_ATTRIBUTES; });
    ExpectLongForms(&SetFileAttributesW, k32, "SetFileAttributesW", FALSE,
                    [](const wchar_t* p) { return !SetFileAttributesLongW(p, FILE_ATTRIBUTE_NORMAL); });
    static WIN32_FILE_ATTRIBUTE_DATA attributes;
    ExpectLongForms(&GetFileAttributesExW, k32, "GetFileAttributesExW", FALSE,
                    [](const wchar_t* p) { return !GetFileAttributesExLongW(p, GetFileExInfoStandard, &attributes); });
    ExpectLongForms(&MoveFileExW, k32, "MoveFileExW", FALSE,
                    [](const wchar_t* p) { return !MoveFileExLongW(p, p, 0); });
    static WIN32_FIND_DATAW found;
    ExpectLongForms(&FindFirstFileW, k32, "FindFirstFileW", INVALID_HANDLE_VALUE,
                    [](const wchar_t* p) { return FindFirstFileLongW(p, &found) == INVALID_HANDLE_VALUE; });
    static wchar_t full[16];
    ExpectLongForms(&GetFullPathNameW, k32, "GetFullPathNameW", DWORD(0),
                    [](const wchar_t* p) { return GetFullPathNameLongW(p, 16, full, nullptr) == 0; });
    ExpectLongForms(&PathFileExistsW, "SHLWAPI.dll", "PathFileExistsW", FALSE,
                    [](const wchar_t* p) { return !PathFileExistsLongW(p); });
}

TEST(LongPathWrappers, MoveReleasesTheSourceFormWhenTheDestinationCannotBeBuilt) {
    fault::Hook<decltype(&HeapAlloc)> alloc(Self(), "KERNEL32.dll", "HeapAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
    fault::Hook<decltype(&HeapFree)> free(Self(), "KERNEL32.dll", "HeapFree");
    fault::Hook<decltype(&MoveFileExW)> move(Self(), "KERNEL32.dll", "MoveFileExW", FALSE, ERROR_PATH_NOT_FOUND);
    oper::SetOperError(0), alloc.trigger.Arm(2);
    EXPECT_EQ(oper::MoveFileExLongW(L"C:\\a", L"C:\\b", 0), FALSE);
    EXPECT_EQ(std::make_pair(move.calls, free.calls), std::make_pair(0L, 1L));
    EXPECT_EQ(GetOperErrorCode(), 21u);
}

}  // namespace
