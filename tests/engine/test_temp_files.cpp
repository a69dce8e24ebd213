// Temporary names, moves that retry on locked files, deletes that get past
// read-only and stubborn files, and boot file names.
#include <gtest/gtest.h>
#include <windows.h>
#include <rpc.h>

#include <tuple>

#include "engine/system_guard.h"
#include "engine/temp_files.h"
#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

// The library's objects are linked in: their imports are this executable's.
HMODULE Self() { return GetModuleHandleW(nullptr); }

// An existing folder whose path has exactly `length` characters.
std::wstring MakeFolderOfLength(const std::wstring& base, size_t length) {
    const std::wstring path = MakeDeepPath(base, length);
    CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
    return path;
}

// A handle that lets others read and write the file, not delete or rename it.
HANDLE Lock(const std::wstring& path) { return OpenAsOther(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE); }

int g_pauses = 0;
DWORD g_pauseLength = 0;
HANDLE g_lockToDropAtSecondPause = nullptr;

VOID WINAPI CountingSleep(DWORD ms) {
    g_pauseLength = ms;
    if (++g_pauses == 2 && g_lockToDropAtSecondPause) CloseHandle(g_lockToDropAtSecondPause);
}

// A lock is waited out with two pauses of 200 ms between three attempts,
// whether it stays or goes during the second pause; an existing target is
// replaced on the second attempt, without a pause.
TEST(MoveWithRetry, PausesOnlyForLocksAndReplacesAnExistingTarget) {
    TempDir dir;
    const std::wstring from = dir / L"from.txt", to = dir / L"to.txt";
    fault::ImportPatch sleep{Self(), "KERNEL32.dll", "Sleep", &CountingSleep};
    fault::Hook<decltype(&MoveFileExW)> move{Self(), "KERNEL32.dll", "MoveFileExW"};
    ASSERT_TRUE(WriteFileBytes(from, "payload"));
    HANDLE lock = Lock(from);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(oper::MoveFileWithRetryW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) << error;
    EXPECT_EQ(std::make_tuple(move.calls, g_pauses, g_pauseLength), std::make_tuple(3L, 2, DWORD{200}));
    EXPECT_FALSE(FileExists(to));

    move.calls = g_pauses = 0;
    g_lockToDropAtSecondPause = lock;
    EXPECT_TRUE(oper::MoveFileWithRetryW(from.c_str(), to.c_str(), 0));
    g_lockToDropAtSecondPause = nullptr;
    EXPECT_EQ(move.calls, 3);

    ASSERT_TRUE(WriteFileBytes(from, "newer"));
    move.calls = g_pauses = 0;
    EXPECT_TRUE(oper::MoveFileWithRetryW(from.c_str(), to.c_str(), 0));
    EXPECT_EQ(ReadFileBytes(to), "newer");
    EXPECT_EQ(std::make_pair(move.calls, g_pauses), std::make_pair(2L, 0));
}

int g_uuids = 0;
int g_fixedUuids = 0;  // how many of the next UUIDs are the fixed one
RPC_STATUS WINAPI FixedUuidCreate(UUID* id) {
    ++g_uuids;
    if (g_fixedUuids-- <= 0) return fault::Real(&UuidCreate, "rpcrt4.dll", "UuidCreate")(id);
    *id = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    return RPC_S_OK;
}

// Up to 246 characters both forms use the system's name; beyond, the narrow
// form refuses and the wide form makes a UUID name (a folder given with its
// backslash gets no second one), a fresh one for a taken name up to eight
// tries. A folder too long for any name is refused before anything is written.
TEST(TempNames, TheSystemNameUpTo246CharactersAUuidNameBeyond) {
    TempDir dir;
    wchar_t out[4096 + 8];
    char narrowOut[MAX_PATH + 8];
    fault::Hook<decltype(&GetTempFileNameW)> systemW{Self(), "KERNEL32.dll", "GetTempFileNameW"};
    fault::Hook<decltype(&GetTempFileNameA)> systemA{Self(), "KERNEL32.dll", "GetTempFileNameA"};
    fault::ImportPatch uuid{Self(), "RPCRT4.dll", "UuidCreate", &FixedUuidCreate};
    const auto wide = [&](const std::wstring& folder) {
        return oper::GetTempFileNameLongW(folder.c_str(), oper::kTempPrefixW, 0, out);
    };
    const auto narrow = [&](const std::wstring& folder) {
        return oper::GetTempFileNameCheckedA(Narrow(folder).c_str(), oper::kTempPrefixA, 0, narrowOut);
    };
    const std::wstring folder246 = MakeFolderOfLength(dir.path(), 246), folder247 = MakeFolderOfLength(dir.path(), 247);
    ASSERT_NE(wide(folder246), 0u);
    EXPECT_EQ(std::wstring(out).substr(0, 250), folder246 + L"\\TzT");
    ASSERT_NE(narrow(folder246), 0u);
    EXPECT_TRUE(FileExists(Widen(narrowOut)));
    SetLastError(0);
    EXPECT_EQ(narrow(folder247), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    for (const std::wstring& folder : {folder247 + L"\\", MakeFolderOfLength(dir.path(), 2000)}) {
        const std::wstring base = folder.back() == L'\\' ? folder : folder + L"\\";
        const UINT result = wide(folder);
        const std::wstring name = out;
        EXPECT_EQ(result, name.size()) << folder.size();
        EXPECT_EQ(name, base + name.substr(base.size(), 36) + L".tmp") << folder.size();
        EXPECT_TRUE(FileExists(name)) << folder.size();
    }
    EXPECT_EQ(systemW.calls + systemA.calls, 2);

    g_fixedUuids = 1;
    ASSERT_NE(wide(folder247), 0u);
    const std::wstring taken = out;
    ASSERT_TRUE(WriteFileBytes(taken, "someone else's"));
    const struct { int fixed, tries; bool created; } cases[] = {{1, 2, true}, {100, 8, false}};
    for (const auto& c : cases) {
        g_uuids = 0;
        g_fixedUuids = c.fixed;
        EXPECT_EQ(wide(folder247) != 0, c.created);
        EXPECT_EQ(g_uuids, c.tries);
    }
    EXPECT_EQ(ReadFileBytes(taken), "someone else's");

    g_uuids = 0;
    out[4096] = L'#';
    EXPECT_EQ(wide(L"C:\\" + std::wstring(4060, L'x')), 0u);
    EXPECT_EQ(g_uuids, 0);
    EXPECT_EQ(out[4096], L'#');
}

// A read-only file goes; a locked one stays untouched, renamed first or not.
// One that will not go under its own name goes after a rename if the option
// says so, and only then; one that goes nowhere ends up under its own name.
// The narrow form stops (and leaves it) when its empty temporary file stays.
TEST(SafeDelete, GetsPastReadOnlyAndStubbornFilesAndKeepsThoseThatWillNotGo) {
    TempDir dir;
    fault::Hook<decltype(&DeleteFileW)> removeW(Self(), "KERNEL32.dll", "DeleteFileW", FALSE, ERROR_ACCESS_DENIED);
    fault::Hook<decltype(&DeleteFileA)> removeA(Self(), "KERNEL32.dll", "DeleteFileA", FALSE, ERROR_ACCESS_DENIED);
    enum Obstacle { kReadOnly, kLocked, kRefusedOnce, kRefusedAlways };
    const struct { bool narrow; uint32_t rename; Obstacle obstacle; size_t length; bool deleted; } cases[] = {
        {true, 0, kReadOnly, 0, true},        {false, 0, kLocked, 0, false},       {false, 2, kLocked, 0, false},
        {false, 0, kRefusedOnce, 0, false},   {false, 2, kRefusedOnce, 0, true},   {false, 2, kRefusedOnce, 600, true},
        {false, 2, kRefusedAlways, 0, false}, {true, 2, kRefusedAlways, 0, false},
    };
    for (const auto& c : cases) {
        const std::wstring path = c.length ? MakeDeepPath(dir.path(), c.length) : dir / L"doc.txt";
        const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
        SCOPED_TRACE(testing::Message() << (c.narrow ? "8-bit, " : "wide, ") << c.obstacle << ", " << c.rename);
        const DWORD attributes = c.obstacle == kReadOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
        ASSERT_TRUE(WriteFileBytes(path, "keep me") && SetFileAttributesW(path.c_str(), attributes));
        SetOperOptions(2, c.rename);
        HANDLE lock = c.obstacle == kLocked ? Lock(path) : INVALID_HANDLE_VALUE;
        fault::Trigger& refusal = c.narrow ? removeA.trigger : removeW.trigger;
        if (c.obstacle >= kRefusedOnce) refusal.Arm(1, c.obstacle == kRefusedAlways);
        EXPECT_EQ(c.narrow ? oper::SafeDeleteFileA(Narrow(path).c_str()) : oper::SafeDeleteFileW(path.c_str()),
                  c.deleted ? TRUE : FALSE);
        EXPECT_TRUE(c.obstacle != kRefusedAlways || GetLastError() == ERROR_ACCESS_DENIED) << GetLastError();
        refusal.Disarm();
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        EXPECT_EQ(FileExists(path) ? ReadFileBytes(path) : "", c.deleted ? "" : "keep me");
        const std::vector<std::wstring> temps = TempFilesIn(folder);
        EXPECT_EQ(temps.size(), c.narrow && c.obstacle == kRefusedAlways ? 1u : 0u);
        for (const std::wstring& name : temps) RemoveTree(folder + L"\\" + name);
        RemoveTree(path);
    }
    SetOperOptions(2, 0);
}

// Boot file names in a drive root, any case, ".." resolved; streams always.
const struct { const char* path; int expected; } kBootCases[] = {
    {"C:\\NTLDR", 1},           {"C:\\BOOTMGR.efi", 1},     {"c:\\boot.ini", 1},
    {"D:\\Ntdetect.com", 1},    {"C:\\bootsect.DOS", 1},    {"C:\\ntbootdd.sys", 1},
    {"C:\\bootmgr", 1},         {"C:\\a\\..\\a\\..\\ntldr", 1}, {"C:\\Windows\\NTLDR", 0},
    {"\\\\server\\share\\NTLDR", 0}, {"C:\\NTLDR.bak", 0},     {"C:\\bootmgr.efi.old", 0},
    {"C:\\report.txt", 0},      {"C:\\", 0},                {"C:\\data\\", 0},
    {"C:\\data\\file.txt:stream", 1}, {"C:\\file.txt:stream", 1},
};

TEST(BootFiles, AreRecognisedInDriveRootsOnlyAndStreamsAlways) {
    for (const auto& c : kBootCases) {
        EXPECT_EQ(oper::IsBootFileA(c.path), c.expected) << c.path;
        EXPECT_EQ(oper::IsBootFileW(Widen(c.path).c_str()), c.expected) << c.path;
    }
    // Beyond the narrow buffer a wide path is not one, wherever it leads.
    std::wstring wide = L"C:\\";
    for (int i = 0; i < 70; ++i) wide += L"a\\..\\";
    EXPECT_EQ(oper::IsBootFileW((wide + L"NTLDR").c_str()), 0);
}

}  // namespace
