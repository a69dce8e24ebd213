// Encrypting and decrypting single files through the exports, with the
// driver library's stand-in keeping the marks. The stand-in never transforms
// data, so an encrypted file reads back as its plain bytes and the mark is
// what tells the two forms apart.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

// The library's temporary files in a folder ("TzT" + hex + ".tmp").
std::vector<std::wstring> TempFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : ListFolder(folder))
        if (name.rfind(L"TzT", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == L".tmp")
            found.push_back(name);
    return found;
}

// --- Faults at the library's imports -------------------------------------

DWORD g_extraAttributes = 0;
BOOL WINAPI AttributeAddingGetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data) {
    BOOL ok = fault::Real(&GetFileAttributesExW, "kernel32.dll", "GetFileAttributesExW")(path, level, data);
    if (ok) static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(data)->dwFileAttributes |= g_extraAttributes;
    return ok;
}

// Free space: none for folders under `g_fullFolder`, the truth elsewhere.
std::wstring g_fullFolder;
BOOL WINAPI ShortOfSpaceGetDiskFreeSpaceExW(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                            PULARGE_INTEGER free) {
    BOOL ok = fault::Real(&GetDiskFreeSpaceExW, "kernel32.dll", "GetDiskFreeSpaceExW")(folder, available, total, free);
    if (ok && !g_fullFolder.empty() && std::wstring(folder).find(g_fullFolder) != std::wstring::npos)
        available->QuadPart = 100;
    return ok;
}

enum Op { kEncrypt, kEncryptTo, kDecrypt, kDecryptTo };
const Op kOps[] = {kEncrypt, kEncryptTo, kDecrypt, kDecryptTo};
const char* const kOpNames[] = {"encrypt in place", "encrypt to", "decrypt in place", "decrypt to"};

class Transforms : public ::testing::Test {
protected:
    // A temporary folder of this test alone: what the library leaves there is
    // its own, whatever other tests run beside.
    void SetUp() override {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH] = L"";
            GetEnvironmentVariableW(name, value, MAX_PATH);
            savedTemp.push_back(value);
            SetEnvironmentVariableW(name, temp.path().c_str());
        }
        ASSERT_EQ(BuildEncryptInfoW(nullptr, &info), TRUE);
        ASSERT_TRUE(WriteFileBytes(file, data));
    }

    void TearDown() override {
        SetEnvironmentVariableW(L"TMP", savedTemp[0].c_str());
        SetEnvironmentVariableW(L"TEMP", savedTemp[1].c_str());
    }

    // The wide or, with `narrow` set, the 8-bit form of each export.
    BOOL Run(Op op, const std::wstring& from, const std::wstring& to = L"") {
        const std::string a = Narrow(from), b = Narrow(to);
        switch (op) {
        case kEncrypt:
            return narrow ? EncryptFileInPlaceA(a.c_str(), &info, &state, &percent)
                          : EncryptFileInPlaceW(from.c_str(), &info, &state, &percent);
        case kEncryptTo:
            return narrow ? EncryptFileToA(a.c_str(), b.c_str(), &info, &state, &percent)
                          : EncryptFileToW(from.c_str(), to.c_str(), &info, &state, &percent);
        case kDecrypt:
            return narrow ? DecryptFileInPlaceA(a.c_str(), &state, &percent)
                          : DecryptFileInPlaceW(from.c_str(), &state, &percent);
        case kDecryptTo:
            return narrow ? DecryptFileToA(a.c_str(), b.c_str(), &state, &percent)
                          : DecryptFileToW(from.c_str(), to.c_str(), &state, &percent);
        }
        return FALSE;
    }
    BOOL Run(Op op) { return Run(op, file, copy); }
    BOOL Encrypt() { return Run(kEncrypt); }
    BOOL Decrypt() { return Run(kDecrypt); }

    // The folder holds exactly the given names.
    void ExpectFolderHolds(std::vector<std::wstring> names) {
        std::vector<std::wstring> actual = ListFolder(dir.path());
        std::sort(actual.begin(), actual.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(actual, names);
    }

    // The file is whole, in the given form, and alone in its folder.
    void ExpectFileAlone(bool marked) {
        EXPECT_EQ(ReadFileBytes(file), data);
        EXPECT_EQ(IsMarked(file), marked);
        ExpectFolderHolds({L"report.doc"});
    }

    StandinStore store;
    TempDir dir;
    std::wstring file = dir / L"report.doc";
    std::wstring copy = dir / L"copy.doc";
    std::string data = Pattern(200000);
    ENCRYPT_INFO info = {};
    uint32_t state = FILEOPER_STATE_RUNNING;
    uint32_t percent = 0;
    bool narrow = false;
    TestOptions options;
    TempDir temp;
    std::vector<std::wstring> savedTemp;
};

TEST_F(Transforms, EveryFormKeepsTheDataAndPutsTheMarkWhereItBelongs) {
    const std::wstring plain = dir / L"plain.doc";
    for (bool eightBit : {false, true}) {
        SCOPED_TRACE(eightBit ? "8-bit" : "wide");
        narrow = eightBit;
        // A plain file is not decrypted in place, but decrypted to a copy.
        EXPECT_EQ(Decrypt(), FALSE);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_NOT_ENCRYPTED);
        EXPECT_EQ(Run(kDecryptTo, file, plain), TRUE);
        EXPECT_EQ(ReadFileBytes(plain), data);

        EXPECT_EQ(Run(kEncryptTo, file, copy), TRUE);
        EXPECT_TRUE(IsMarked(copy));
        EXPECT_EQ(ReadFileBytes(copy), data);
        EXPECT_FALSE(IsMarked(file));
        EXPECT_EQ(Run(kDecryptTo, copy, plain), TRUE);
        EXPECT_FALSE(IsMarked(plain));
        EXPECT_EQ(ReadFileBytes(plain), data);
        EXPECT_TRUE(IsMarked(copy));

        info.flags = ENCRYPT_INFO_FOLDER;
        percent = 0;
        EXPECT_EQ(Encrypt(), TRUE);
        EXPECT_EQ(GetOperErrorCode(), 0u);
        EXPECT_TRUE(IsMarked(file));
        EXPECT_EQ(ReadFileBytes(file), data);
        EXPECT_EQ(percent, 100u);
        EXPECT_EQ(info.flags & ENCRYPT_INFO_FOLDER, 0u);
        EXPECT_EQ(Decrypt(), TRUE);
        EXPECT_EQ(GetOperErrorCode(), 0u);
        EXPECT_FALSE(IsMarked(file));
        EXPECT_EQ(ReadFileBytes(file), data);
        EXPECT_EQ(IsRebootRequired(), 0u);
        ExpectFolderHolds({L"report.doc", L"copy.doc", L"plain.doc"});
        DeleteFileW(copy.c_str());
        DeleteFileW(plain.c_str());
    }
}

TEST_F(Transforms, BadDescriptorIsRefusedBeforeTheFileIsTouched) {
    info.size = 0;
    info.flags = ENCRYPT_INFO_FOLDER;
    for (Op op : {kEncrypt, kEncryptTo}) {
        EXPECT_EQ(Run(op), FALSE);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_INVALID_PARAMETER);
    }
    EXPECT_EQ(info.flags, ENCRYPT_INFO_FOLDER);
    ExpectFileAlone(false);
}

TEST_F(Transforms, ReadOnlyAndSystemFilesFollowTheOptions) {
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    options.Set(L"EnableReadOnly", 0);
    options.Load();
    EXPECT_EQ(Encrypt(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_READ_ONLY);
    EXPECT_FALSE(IsMarked(file));
    options.Set(L"EnableReadOnly", 1);
    options.Load();
    EXPECT_EQ(Encrypt(), TRUE);
    EXPECT_TRUE(IsMarked(file));
    EXPECT_TRUE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(WriteFileBytes(copy, "sys"));
    SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_SYSTEM);
    options.Set(L"EnableSystem", 0);
    options.Load();
    EXPECT_EQ(Run(kEncrypt, copy), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_SYSTEM_OBJECT);
    EXPECT_FALSE(IsMarked(copy));
}

TEST_F(Transforms, FilesTheFileSystemCompressesOrEncryptsAreRefused) {
    fault::ImportPatch patch(Library(), "KERNEL32.dll", "GetFileAttributesExW",
                             reinterpret_cast<const void*>(&AttributeAddingGetFileAttributesExW));
    const struct {
        DWORD attributes;
        uint32_t code;
    } cases[] = {
        {FILE_ATTRIBUTE_COMPRESSED, FILEOPER_ERR_COMPRESSED},
        {FILE_ATTRIBUTE_ENCRYPTED, FILEOPER_ERR_FS_ENCRYPTED},
        {FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED, FILEOPER_ERR_FS_ENCRYPTED},
    };
    for (const auto& c : cases) {
        g_extraAttributes = c.attributes;
        EXPECT_EQ(Encrypt(), FALSE);
        EXPECT_EQ(GetOperErrorCode(), c.code) << c.attributes;
    }
    g_extraAttributes = 0;
    ExpectFileAlone(false);
}

TEST_F(Transforms, CancelLeavesTheFileAsItWasAndNoPartialCopy) {
    fault::Trigger cancelAtRead;
    fault::Hook<decltype(&ReadFile)> read(Library(), "KERNEL32.dll", "ReadFile");
    read.before = [&](auto...) {
        if (cancelAtRead.Fire()) state = FILEOPER_STATE_CANCEL;
    };
    for (Op op : kOps) {
        SCOPED_TRACE(kOpNames[op]);
        const bool decrypt = op == kDecrypt || op == kDecryptTo;
        state = FILEOPER_STATE_RUNNING;
        if (decrypt) {
            ASSERT_EQ(Encrypt(), TRUE);
        }
        cancelAtRead.Arm(2);
        EXPECT_EQ(Run(op), TRUE);
        EXPECT_EQ(GetOperErrorCode(), 0u);
        ExpectFileAlone(decrypt);
        state = FILEOPER_STATE_RUNNING;
        if (decrypt) {
            ASSERT_EQ(Decrypt(), TRUE);
        }
    }
}

TEST_F(Transforms, RefusedMarkGivesCode10AndRemovesTheTemporaryFile) {
    using SetEncryptInfoW = int (*)(const wchar_t*, ENCRYPT_INFO*);
    fault::Hook<SetEncryptInfoW> set(Library(), "TzDevIo.dll", WORD{171}, 0, ERROR_ACCESS_DENIED);
    set.trigger.Arm(1);
    EXPECT_EQ(Encrypt(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_ENCRYPT_INFO);
    ExpectFileAlone(false);
}

TEST_F(Transforms, FullVolumeGoesThroughTheTemporaryFolderAndCopiesBack) {
    fault::ImportPatch patch(Library(), "KERNEL32.dll", "GetDiskFreeSpaceExW",
                             reinterpret_cast<const void*>(&ShortOfSpaceGetDiskFreeSpaceExW));
    g_fullFolder = dir.path();
    EXPECT_EQ(Encrypt(), TRUE);
    EXPECT_TRUE(IsMarked(file));
    EXPECT_EQ(Decrypt(), TRUE);
    g_fullFolder.clear();
    EXPECT_EQ(GetOperErrorCode(), 0u);
    ExpectFileAlone(false);
    EXPECT_TRUE(TempFilesIn(temp.path()).empty());

    // A second file on a full volume is never started.
    TempDir full;
    g_fullFolder = full.path();
    for (Op op : {kEncryptTo, kDecryptTo}) {
        EXPECT_EQ(Run(op, file, full / L"copy.doc"), FALSE);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_DISK_FULL);
    }
    g_fullFolder.clear();
    EXPECT_TRUE(ListFolder(full.path()).empty());
}

// The survival rules: before the old form is deleted it is intact and the
// temporary file is gone; after, the new form survives in the temporary file
// whatever fails.
TEST_F(Transforms, FailedFinalMoveKeepsTheEncryptedDataInTheTemporaryFile) {
    fault::Hook<decltype(&MoveFileExW)> move(Library(), "KERNEL32.dll", "MoveFileExW", FALSE, ERROR_ACCESS_DENIED);
    move.trigger.Arm(1, /*sticky=*/true);
    EXPECT_EQ(Encrypt(), FALSE);
    move.trigger.Disarm();
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_RENAME_TEMP);
    EXPECT_FALSE(FileExists(file));
    std::vector<std::wstring> temps = TempFilesIn(dir.path());
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_EQ(ReadFileBytes(dir / temps[0]), data);
    EXPECT_TRUE(IsMarked(dir / temps[0]));
}

TEST_F(Transforms, AFileInUseStaysAsItWasAndTheTemporaryFileGoes) {
    for (Op op : {kEncrypt, kDecrypt}) {
        SCOPED_TRACE(kOpNames[op]);
        if (op == kDecrypt) {
            ASSERT_EQ(Encrypt(), TRUE);
        }
        HANDLE holder = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Run(op), FALSE);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_DELETE_FILE);
        CloseHandle(holder);
        ExpectFileAlone(op == kDecrypt);
    }
}

TEST_F(Transforms, FailedCopyBackKeepsTheEncryptedDataInTheTemporaryFolder) {
    fault::ImportPatch space(Library(), "KERNEL32.dll", "GetDiskFreeSpaceExW",
                             reinterpret_cast<const void*>(&ShortOfSpaceGetDiskFreeSpaceExW));
    fault::Hook<decltype(&WriteFile)> write(Library(), "KERNEL32.dll", "WriteFile", FALSE, ERROR_DISK_FULL);
    g_fullFolder = dir.path();
    // The first copy into the temporary folder writes 4 chunks; the copy
    // back fails on its first.
    write.trigger.Arm(5);
    EXPECT_EQ(Encrypt(), FALSE);
    g_fullFolder.clear();
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_READ_WRITE);
    EXPECT_FALSE(FileExists(file));
    const std::vector<std::wstring> kept = TempFilesIn(temp.path());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFileBytes(temp / kept[0]), data);
}

TEST_F(Transforms, LongPathsWorkInTheWideFormsAndAreRefusedByTheEightBitForms) {
    for (size_t length : {size_t{300}, LongestPathIn(dir.path(), 4000)}) {
        const std::wstring longFile = MakeDeepPath(dir.path(), length);
        ASSERT_TRUE(WriteFileBytes(longFile, data));
        EXPECT_EQ(Run(kEncrypt, longFile), TRUE) << length;
        EXPECT_EQ(ReadFileBytes(longFile), data);
        EXPECT_EQ(Run(kDecrypt, longFile), TRUE) << length;
        EXPECT_EQ(ReadFileBytes(longFile), data);
    }
    // The 8-bit system calls cannot reach the file at all.
    const std::wstring longFile = MakeDeepPath(dir.path(), 300);
    ASSERT_TRUE(WriteFileBytes(longFile, data));
    narrow = true;
    EXPECT_EQ(Run(kEncrypt, longFile), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_GET_ATTRIBUTES);
    EXPECT_FALSE(IsMarked(longFile));
}

TEST_F(Transforms, EncryptToTheSourceItselfEncryptsInPlace) {
    std::wstring upper = file;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
    for (const std::wstring& same : {upper, dir.path() + L"\\.\\report.doc"}) {
        EXPECT_EQ(Run(kEncryptTo, file, same), TRUE);
        ExpectFileAlone(true);
        ASSERT_EQ(Decrypt(), TRUE);
    }
}

TEST_F(Transforms, FolderWithoutRoomForATemporaryFileUsesTheRescueFolderWithDecryptAfterReboot) {
    ASSERT_EQ(Encrypt(), TRUE);
    fault::Hook<decltype(&GetTempFileNameW)> tempName(Library(), "KERNEL32.dll", "GetTempFileNameW", 0,
                                                      ERROR_ACCESS_DENIED);
    tempName.trigger.Arm(1);
    EXPECT_EQ(Decrypt(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_TEMP_FILE);
    EXPECT_TRUE(IsMarked(file));

    const std::wstring rescue = dir.path().substr(0, 3) + L"7a3e5c19-4b2d-4e8f-9c61-2d5b8a0f3e47";
    RemoveTree(rescue);
    ASSERT_EQ(SetOperOptions(1, 1), 1);
    tempName.trigger.Arm(1);
    EXPECT_EQ(Decrypt(), TRUE);
    SetOperOptions(1, 0);
    EXPECT_EQ(GetOperErrorCode(), 0u);
    EXPECT_FALSE(IsMarked(file));
    EXPECT_EQ(ReadFileBytes(file), data);
    EXPECT_TRUE(FileExists(rescue));
    EXPECT_TRUE(ListFolder(rescue).empty());
    RemoveTree(rescue);
}

}  // namespace
