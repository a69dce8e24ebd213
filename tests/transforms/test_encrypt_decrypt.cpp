// Single files through the exports over the filter model, in a marked
// folder: scrambled bytes on disk once encrypted, the plain ones once not.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <map>
#include <set>

#include "fileoper.h"
#include "tests/support/filter_model.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

DWORD g_extraAttributes = 0;
BOOL WINAPI AttributeAddingGetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data) {
    BOOL ok = fault::Real(&GetFileAttributesExW, "kernel32.dll", "GetFileAttributesExW")(path, level, data);
    if (ok) static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(data)->dwFileAttributes |= g_extraAttributes;
    return ok;
}

// Free space: next to none for folders under `g_fullFolder` (the test's
// folders have plain names), the truth elsewhere.
std::wstring g_fullFolder;
template <typename Char>
BOOL WINAPI ShortOfSpace(const Char* folder, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
    const std::basic_string<Char> given = folder;
    const std::wstring path(given.begin(), given.end());
    const BOOL ok = GetDiskFreeSpaceExW(path.c_str(), available, total, free);
    if (ok && !g_fullFolder.empty() && path.find(g_fullFolder) != std::wstring::npos) available->QuadPart = 100;
    return ok;
}

// Whether a descriptor grants the user running the test, SYSTEM and
// Administrators, and no one else, with nothing inherited from above.
bool IsPrivate(PSECURITY_DESCRIPTOR descriptor) {
    HANDLE token = nullptr;
    BYTE user[256];
    DWORD size = 0;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    wchar_t *sid = nullptr, *text = nullptr;
    if (!descriptor || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr))
        return false;
    const std::wstring dacl = text, me = sid;
    LocalFree(text), LocalFree(sid);
    // "D:P(A;flags;rights;;;SID)...": protected, and nothing but grants.
    std::set<std::wstring> granted;
    for (size_t at = dacl.find(L'('); at != std::wstring::npos; at = dacl.find(L'(', at + 1)) {
        const std::wstring ace = dacl.substr(at + 1, dacl.find(L')', at) - at - 1);
        if (ace.compare(0, 2, L"A;") != 0) return false;
        granted.insert(ace.substr(ace.rfind(L';') + 1));
    }
    return dacl.compare(0, 3, L"D:P") == 0 && granted == std::set<std::wstring>{me, L"SY", L"BA"};
}

// A call's result with the error code it left, to compare both at once.
std::pair<BOOL, uint32_t> Outcome(BOOL result) { return {result, GetOperErrorCode()}; }

enum Op { kEncrypt, kEncryptTo, kDecrypt, kDecryptTo };
const char* const kOpNames[] = {"encrypt in place", "encrypt to", "decrypt in place", "decrypt to"};

class Transforms : public ::testing::Test {
protected:
    // A temporary folder of this test alone: what the library leaves there is
    // its own, whatever other tests run beside; the system's again after.
    void SetUp() override {
        SetTempFolder(temp.path());
        ASSERT_TRUE(BuildEncryptInfoW(nullptr, &info) && MarkFolder(dir.path()) && WriteFileBytes(file, data));
    }

    void TearDown() override { SetTempFolder(FolderOf(temp.path())); }

    // The wide or, with `narrow` set, the 8-bit form of each export.
    BOOL Run(Op op, const std::wstring& from, const std::wstring& to = L"") {
        const std::string from8 = Narrow(from), to8 = Narrow(to);
        const char *a = from8.c_str(), *b = to8.c_str();
        const wchar_t *f = from.c_str(), *t = to.c_str();
        uint32_t *s = &state, *p = &percent;
        switch (op) {
        case kEncrypt: return narrow ? EncryptFileInPlaceA(a, &info, s, p) : EncryptFileInPlaceW(f, &info, s, p);
        case kEncryptTo: return narrow ? EncryptFileToA(a, b, &info, s, p) : EncryptFileToW(f, t, &info, s, p);
        case kDecrypt: return narrow ? DecryptFileInPlaceA(a, s, p) : DecryptFileInPlaceW(f, s, p);
        case kDecryptTo: return narrow ? DecryptFileToA(a, b, s, p) : DecryptFileToW(f, t, s, p);
        }
        return FALSE;
    }
    BOOL Run(Op op) { return Run(op, file, copy); }

    void ExpectStored(const std::wstring& path, bool marked) {
        const std::string name = Narrow(path.substr(path.find_last_of(L'\\') + 1)).substr(0, 20);
        EXPECT_EQ(IsMarked(path), marked) << name;
        EXPECT_TRUE(ReadFileBytes(path) == Stored(data, marked)) << name << (marked ? " not scrambled" : " not plain");
    }

    void ExpectFileAlone(bool marked) {
        ExpectStored(file, marked);
        EXPECT_EQ(ListFolder(dir.path()), std::vector<std::wstring>{L"report.doc"});
    }

    StandinStore store;
    FilterModel filter;
    TempDir dir, out, temp;
    std::wstring file = dir / L"report.doc", copy = out / L"copy.doc";
    std::string data = Pattern(200000);
    ENCRYPT_INFO info = {};
    uint32_t state = FILEOPER_STATE_RUNNING, percent = 0;
    bool narrow = false;
    TestOptions options;
    // Full only where a test says so.
    fault::ImportPatch space{Library(), "KERNEL32.dll", "GetDiskFreeSpaceExW", &ShortOfSpace<wchar_t>};
    fault::ImportPatch spaceA{Library(), "KERNEL32.dll", "GetDiskFreeSpaceExA", &ShortOfSpace<char>};
};

enum Route { kBeside, kTempFolder, kRescueFolder };

// Each way through both transforms, in both widths, near 4,000 characters
// too: beside the file; through the temporary folder when the volume is full;
// through the rescue folder at the root when the file's folder (as that of
// every detour) takes no new file.
TEST_F(Transforms, EveryPathLeavesScrambledBytesOnDiskAndDecryptsToThePlainOnes) {
    std::wstring blocked;
    const auto isBlocked = [&](const std::wstring& path) {
        return !blocked.empty() && path.find(blocked) != std::wstring::npos;
    };
    fault::Hook<decltype(&GetTempFileNameA)> tempNameA(Library(), "KERNEL32.dll", "GetTempFileNameA", 0,
                                                       ERROR_ACCESS_DENIED);
    tempNameA.before = [&](LPCSTR folder, auto...) { if (isBlocked(Widen(folder))) tempNameA.trigger.Arm(1); };
    fault::Hook<decltype(&GetTempFileNameW)> tempName(Library(), "KERNEL32.dll", "GetTempFileNameW", 0,
                                                      ERROR_ACCESS_DENIED);
    tempName.before = [&](LPCWSTR folder, auto...) { if (isBlocked(folder)) tempName.trigger.Arm(1); };
    fault::Hook<decltype(&CreateFileW)> create(Library(), "KERNEL32.dll", "CreateFileW", INVALID_HANDLE_VALUE,
                                               ERROR_ACCESS_DENIED);
    // Decryption reads unbuffered (in aligned whole sectors: see
    // test_transform_copy); the 8-bit form opens through CreateFileA.
    long unbuffered = 0;
    create.before = [&](LPCWSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags, HANDLE) {
        if (disposition == CREATE_NEW && isBlocked(path)) create.trigger.Arm(1);
        unbuffered += (flags & FILE_FLAG_NO_BUFFERING) != 0;
    };
    // The rescue folder and its temporary file hold plain bytes away from the
    // document: each must last get the user's access list alone, the folder
    // even when it was there already.
    std::map<std::wstring, bool> secured;
    fault::Hook<decltype(&SetFileSecurityW)> secure(Library(), "ADVAPI32.dll", "SetFileSecurityW");
    secure.before = [&](LPCWSTR path, auto, PSECURITY_DESCRIPTOR descriptor) { secured[path] = IsPrivate(descriptor); };
    fault::Hook<decltype(&SHCreateDirectoryExW)> makeFolder(Library(), "SHELL32.dll", "SHCreateDirectoryExW");
    makeFolder.before = [&](HWND, LPCWSTR path, const SECURITY_ATTRIBUTES* attributes) {
        secured[path] = attributes && IsPrivate(attributes->lpSecurityDescriptor);
    };
    const std::wstring rescue = dir.path().substr(0, 3) + kRescueName;
    const struct { const char* name; bool narrow, longPath; Route route; } cases[] = {
        {"wide", false, false, kBeside}, {"8-bit", true, false, kBeside}, {"wide, long path", false, true, kBeside},
        {"wide, temporary folder", false, false, kTempFolder}, {"8-bit, temporary folder", true, false, kTempFolder},
        {"wide, long path, temporary folder", false, true, kTempFolder},
        {"wide, rescue folder made anew", false, false, kRescueFolder},
        {"wide, long path, marked rescue folder", false, true, kRescueFolder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        narrow = c.narrow;
        const std::wstring path = c.longPath ? MakeDeepPath(dir.path(), LongestPathIn(dir.path(), 4000)) : file;
        ASSERT_TRUE(MarkFolder(FolderOf(path)) && WriteFileBytes(path, data));
        if (c.route == kTempFolder) g_fullFolder = blocked = FolderOf(path);
        info.flags = ENCRYPT_INFO_FOLDER, percent = 0;
        EXPECT_EQ(Outcome(Run(kEncrypt, path)), std::make_pair(TRUE, 0u));
        EXPECT_EQ(percent, 100u);
        EXPECT_EQ(info.flags & ENCRYPT_INFO_FOLDER, 0u);
        ExpectStored(path, true);

        if (c.route == kRescueFolder) {
            blocked = FolderOf(path);
            // Without the restart option there is no rescue.
            EXPECT_EQ(Outcome(Run(kDecrypt, path)), std::make_pair(FALSE, FILEOPER_ERR_TEMP_FILE));
            ExpectStored(path, true);
            RemoveTree(rescue);
            ASSERT_TRUE(!c.longPath || (CreateDirectoryW(rescue.c_str(), nullptr) && MarkFolder(rescue)));
            ASSERT_EQ(SetOperOptions(1, 1), 1);
        }
        secured.clear(), unbuffered = 0;
        EXPECT_EQ(Outcome(Run(kDecrypt, path)), std::make_pair(TRUE, 0u));
        EXPECT_TRUE(c.narrow || unbuffered > 0);
        SetOperOptions(1, 0);
        bool folderMade = false, fileMade = false, rescued = c.route == kRescueFolder;
        for (const auto& [name, isPrivate] : secured) {
            const size_t at = name.find(kRescueName);
            if (at == std::wstring::npos) continue;
            (at + wcslen(kRescueName) == name.size() ? folderMade : fileMade) = true;
            EXPECT_TRUE(isPrivate) << Narrow(name);
        }
        EXPECT_EQ(std::make_pair(fileMade, folderMade), std::make_pair(rescued, rescued));
        blocked.clear(), g_fullFolder.clear();
        ExpectStored(path, false);
        for (const std::wstring& folder : {FolderOf(path), temp.path()}) EXPECT_TRUE(TempFilesIn(folder).empty());
        EXPECT_TRUE(c.route != kRescueFolder || (FileExists(rescue) && ListFolder(rescue).empty()));
        RemoveTree(rescue);

        // To a second file, in a folder without a mark: the source stays plain.
        const std::wstring plain = out / L"plain.doc";
        EXPECT_EQ(Run(kEncryptTo, path, copy), TRUE);
        ExpectStored(copy, true);
        ExpectStored(path, false);
        unbuffered = 0;
        EXPECT_EQ(Run(kDecryptTo, copy, plain), TRUE);
        EXPECT_TRUE(c.narrow || unbuffered > 0);
        ExpectStored(plain, false);
        ExpectStored(copy, true);
        for (const std::wstring& made : {path, copy, plain}) RemoveTree(made);
    }
    EXPECT_EQ(IsRebootRequired(), 0u);
}

// Until the old form is deleted, a refusal, a failure or a cancel (a
// success) leaves the file as it was and no temporary file or partial copy,
// and the descriptor's folder flag alone unless the call got as far as the
// driver's library; after, the new form survives in the temporary file.
TEST_F(Transforms, TheOldFormStaysUntilDeletedAndTheNewOneSurvivesAfter) {
    fault::ImportPatch attributes(Library(), "KERNEL32.dll", "GetFileAttributesExW",
                                  &AttributeAddingGetFileAttributesExW);
    using SetEncryptInfoW = int (*)(const wchar_t*, ENCRYPT_INFO*);
    fault::Hook<SetEncryptInfoW> set(Library(), "TzDevIo.dll", WORD{171}, 0, ERROR_ACCESS_DENIED);
    fault::Hook<decltype(&MoveFileExW)> move(Library(), "KERNEL32.dll", "MoveFileExW", FALSE, ERROR_ACCESS_DENIED);
    fault::Hook<decltype(&WriteFile)> write(Library(), "KERNEL32.dll", "WriteFile", FALSE, ERROR_DISK_FULL);
    fault::Trigger cancelAtRead;
    fault::Hook<decltype(&ReadFile)> read(Library(), "KERNEL32.dll", "ReadFile");
    read.before = [&](auto...) { if (cancelAtRead.Fire()) state = FILEOPER_STATE_CANCEL; };
    options.Set(L"EnableReadOnly", 0);
    options.Set(L"EnableSystem", 0);
    options.Load();
    HANDLE holder = INVALID_HANDLE_VALUE;
    const auto with = [](DWORD extra) { return [extra] { g_extraAttributes = extra; }; };
    const std::function<void()> none = [] {}, noSize = [&] { info.size = 0; }, cancel = [&] { cancelAtRead.Arm(2); },
                                full = [&] { g_fullFolder = out.path(); },
                                inUse = [&] { holder = OpenAsOther(file, GENERIC_READ, FILE_SHARE_READ); };
    // Where the data end: in the file, plain or encrypted as it was, or in a
    // temporary file beside it or in the temporary folder.
    enum Leaves { kPlain, kEncrypted, kBeside, kInTempFolder };
    const struct { Op op; const char* why; std::function<void()> arm; uint32_t code; Leaves leaves; bool reached; }
    cases[] = {
        {kEncrypt, "no size", noSize, FILEOPER_ERR_INVALID_PARAMETER, kPlain, false},
        {kEncryptTo, "no size", noSize, FILEOPER_ERR_INVALID_PARAMETER, kPlain, false},
        {kEncrypt, "read-only", with(FILE_ATTRIBUTE_READONLY), FILEOPER_ERR_READ_ONLY, kPlain, false},
        {kEncrypt, "system", with(FILE_ATTRIBUTE_SYSTEM), FILEOPER_ERR_SYSTEM_OBJECT, kPlain, false},
        {kEncrypt, "compressed", with(FILE_ATTRIBUTE_COMPRESSED), FILEOPER_ERR_COMPRESSED, kPlain, false},
        {kEncrypt, "encrypted", with(FILE_ATTRIBUTE_ENCRYPTED), FILEOPER_ERR_FS_ENCRYPTED, kPlain, false},
        {kEncrypt, "both", with(FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED), FILEOPER_ERR_FS_ENCRYPTED,
         kPlain, false},
        {kEncrypt, "mark refused", [&] { set.trigger.Arm(1); }, FILEOPER_ERR_ENCRYPT_INFO, kPlain, true},
        {kEncryptTo, "full", full, FILEOPER_ERR_DISK_FULL, kPlain, false},
        {kDecryptTo, "full", full, FILEOPER_ERR_DISK_FULL, kPlain, false},
        {kDecrypt, "plain", none, FILEOPER_ERR_NOT_ENCRYPTED, kPlain, false},
        {kEncrypt, "cancel", cancel, 0, kPlain, true}, {kEncryptTo, "cancel", cancel, 0, kPlain, true},
        {kDecrypt, "cancel", cancel, 0, kEncrypted, false}, {kDecryptTo, "cancel", cancel, 0, kEncrypted, false},
        {kEncrypt, "in use", inUse, FILEOPER_ERR_DELETE_FILE, kPlain, true},
        {kDecrypt, "in use", inUse, FILEOPER_ERR_DELETE_FILE, kEncrypted, false},
        {kEncrypt, "final move", [&] { move.trigger.Arm(1, true); }, FILEOPER_ERR_RENAME_TEMP, kBeside, true},
        // The recovery journal's intent is one write, the first copy into the
        // temporary folder 4 chunks; the copy back fails on its first.
        {kEncrypt, "copy back", [&] { g_fullFolder = dir.path(), write.trigger.Arm(6); }, FILEOPER_ERR_READ_WRITE,
         kInTempFolder, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << kOpNames[c.op] << ", " << c.why);
        state = FILEOPER_STATE_RUNNING;
        RemoveTree(file);
        ASSERT_TRUE(WriteFileBytes(file, data) && (c.leaves != kEncrypted || Run(kEncrypt)));
        info.flags = ENCRYPT_INFO_FOLDER;
        c.arm();
        EXPECT_EQ(Outcome(Run(c.op)), std::make_pair(c.code == 0 ? TRUE : FALSE, c.code));
        EXPECT_EQ(info.flags, c.reached ? 0u : ENCRYPT_INFO_FOLDER);
        info.size = ENCRYPT_INFO_SIZE, g_extraAttributes = 0, g_fullFolder.clear();
        move.trigger.Disarm();
        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder), holder = INVALID_HANDLE_VALUE;
        EXPECT_TRUE(ListFolder(out.path()).empty());
        if (c.leaves == kPlain || c.leaves == kEncrypted) {
            ExpectFileAlone(c.leaves == kEncrypted);
            continue;
        }
        EXPECT_FALSE(FileExists(file));
        const TempDir& folder = c.leaves == kBeside ? dir : temp;
        const std::vector<std::wstring> kept = TempFilesIn(folder.path());
        ASSERT_EQ(kept.size(), 1u);
        ExpectStored(folder / kept[0], true);
    }

    // The 8-bit system calls cannot reach a long path at all.
    const std::wstring longFile = MakeDeepPath(dir.path(), 300);
    ASSERT_TRUE(WriteFileBytes(longFile, data));
    narrow = true;
    EXPECT_EQ(Outcome(Run(kEncrypt, longFile)), std::make_pair(FALSE, FILEOPER_ERR_GET_ATTRIBUTES));
    EXPECT_FALSE(IsMarked(longFile));
}

TEST_F(Transforms, EncryptToTheSourceItselfEncryptsInPlace) {
    std::wstring upper = file;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    for (const std::wstring& same : {upper, dir.path() + L"\\.\\report.doc"}) {
        EXPECT_EQ(Run(kEncryptTo, file, same), TRUE);
        ExpectFileAlone(true);
        ASSERT_EQ(Run(kDecrypt), TRUE);
    }
}

// A file in use is replaced by its plain form at the next restart, which Wine
// does from the registry when the prefix restarts (wineboot -r): a CTest test
// of its own. Short and near 4,000 characters, both paths must be whole.
TEST_F(Transforms, DecryptAfterRebootReplacesAFileInUseByItsPlainForm) {
    for (bool longPath : {false, true}) {
        SCOPED_TRACE(longPath ? "long path" : "short path");
        const std::wstring path = longPath ? MakeDeepPath(out.path(), LongestPathIn(out.path(), 4000)) : copy;
        const std::wstring folder = FolderOf(path), name = path.substr(folder.size() + 1);
        ASSERT_TRUE(WriteFileBytes(path, data) && Run(kEncrypt, path));
        ExpectStored(path, true);

        // Another program reads the file and lets nobody delete or replace it.
        HANDLE holder = OpenAsOther(path, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        ASSERT_EQ(SetOperOptions(1, 1), 1);
        EXPECT_EQ(Outcome(Run(kDecrypt, path)), std::make_pair(TRUE, FILEOPER_REBOOT_REQUIRED));
        SetOperOptions(1, 0);
        EXPECT_EQ(IsRebootRequired(), 1u);
        CloseHandle(holder);

        // Until then the plain one waits beside it.
        ExpectStored(path, true);
        std::vector<std::wstring> names = ListFolder(folder);
        ASSERT_EQ(names.size(), 2u);
        const std::wstring temp = folder + L"\\" + (names[0] == name ? names[1] : names[0]);
        ExpectStored(temp, false);

        ASSERT_EQ(_wsystem(L"wineboot.exe -r"), 0);
        ExpectStored(path, false);
        EXPECT_EQ(ListFolder(folder), std::vector<std::wstring>{name});
    }
}

}  // namespace
