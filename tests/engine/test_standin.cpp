// The TzDevIo stand-in as every later test trusts it: a mark behaves like a
// property of the file or folder on disk. The TzRtl stand-in's few functions
// are checked at the end.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "devio/devio.h"
#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tzdevio_standin.h"
#include "tzrtl.h"

using namespace testing_support;

namespace {

ENCRYPT_INFO Descriptor(const char* cipher, uint32_t cipherId, uint32_t flags) {
    ENCRYPT_INFO info = {};
    info.size = ENCRYPT_INFO_SIZE;
    info.flags = flags;
    info.cipherId = cipherId;
    strcpy(info.cipherName, cipher);
    return info;
}

bool Marked(const std::wstring& path) { return DevIoIsEncryptedW(path.c_str(), 0) != 0; }

bool Mark(const std::wstring& path, uint32_t flags = 0) {
    ENCRYPT_INFO info = Descriptor("AES-256", 4, flags);
    return DevIoSetEncryptInfoW(path.c_str(), &info) != 0;
}

uint64_t IdentityOf(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

uint64_t AccessTimeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return (static_cast<uint64_t>(data.ftLastAccessTime.dwHighDateTime) << 32) | data.ftLastAccessTime.dwLowDateTime;
}

int CountFiles(const std::wstring& pattern) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n;
    while (FindNextFileW(h, &found));
    FindClose(h);
    return n;
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class StandinMarks : public ::testing::Test {
protected:
    int PinsInStore() const {
        const std::wstring marks = store.path() + L"\\marks\\";
        int pins = 0;
        WIN32_FIND_DATAW shard;
        HANDLE h = FindFirstFileW((marks + L"???").c_str(), &shard);
        if (h == INVALID_HANDLE_VALUE) return 0;
        do pins += CountFiles(marks + shard.cFileName + L"\\*.pin");
        while (FindNextFileW(h, &shard));
        FindClose(h);
        return pins;
    }

    StandinStore store;
    TempDir dir;
};

TEST_F(StandinMarks, FileMarkKeepsItsDescriptorThroughRenameMoveAndRewrite) {
    const std::wstring file = dir / L"report.txt";
    ASSERT_TRUE(WriteFileBytes(file, "plain"));
    ENCRYPT_INFO info = Descriptor("SM4-128", 9, 0);
    info.cipherBlock[0] = 0x5A;
    ASSERT_EQ(DevIoSetEncryptInfoW(file.c_str(), &info), 1);

    ENCRYPT_INFO read = {};
    uint32_t isFolder = 7;
    ASSERT_EQ(TzDevIoReadMarkW(file.c_str(), &read, &isFolder), 1);
    EXPECT_EQ(memcmp(&read, &info, sizeof info), 0);
    EXPECT_EQ(isFolder, 0u);

    const std::wstring renamed = dir / L"renamed.txt";
    ASSERT_TRUE(MoveFileExW(file.c_str(), renamed.c_str(), 0));
    EXPECT_TRUE(Marked(renamed));
    EXPECT_FALSE(Marked(file));

    ASSERT_TRUE(CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    const std::wstring moved = dir / L"sub\\moved.txt";
    ASSERT_TRUE(MoveFileExW(renamed.c_str(), moved.c_str(), 0));
    EXPECT_TRUE(Marked(moved));
    EXPECT_EQ(DevIoIsEncryptedA(Narrow(moved).c_str(), 0), 1);

    // Writing through ordinary calls (what the copy into a marked file does).
    ASSERT_TRUE(WriteFileBytes(moved, "new content, longer than before"));
    EXPECT_TRUE(Marked(moved));
    EXPECT_EQ(ReadFileBytes(moved), "new content, longer than before");
}

TEST_F(StandinMarks, DeletedFileLosesItsMarkAndANewFileNeverInheritsIt) {
    const std::wstring file = dir / L"doc.txt";
    const std::wstring other = dir / L"other.txt";
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(WriteFileBytes(file, "secret"));
        ASSERT_TRUE(Mark(file));
        ASSERT_TRUE(DeleteFileW(file.c_str()));
        EXPECT_FALSE(Marked(file)) << round;
        // Whatever identity the file system hands out next, no mark comes with it.
        ASSERT_TRUE(WriteFileBytes(file, "fresh"));
        ASSERT_TRUE(WriteFileBytes(other, "fresh"));
        EXPECT_FALSE(Marked(file)) << round;
        EXPECT_FALSE(Marked(other)) << round;
        ASSERT_TRUE(DeleteFileW(file.c_str()));
        ASSERT_TRUE(DeleteFileW(other.c_str()));
    }
}

TEST_F(StandinMarks, ReplacingAFileHandsItTheReplacementsMark) {
    const std::wstring file = dir / L"file.txt";
    const std::wstring temp = dir / L"TzT1.tmp";
    ASSERT_TRUE(WriteFileBytes(file, "plain"));
    ASSERT_TRUE(WriteFileBytes(temp, "encrypted"));
    ASSERT_TRUE(Mark(temp));
    ASSERT_TRUE(MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(Marked(file));

    // And the other way: a plain replacement leaves no mark behind.
    ASSERT_TRUE(WriteFileBytes(temp, "plain again"));
    ASSERT_TRUE(MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(Marked(file));
}

TEST_F(StandinMarks, MarkingAMissingFileCreatesItEmpty) {
    const std::wstring file = dir / L"destination.bin";
    ASSERT_TRUE(Mark(file));
    EXPECT_TRUE(FileExists(file));
    EXPECT_EQ(ReadFileBytes(file), "");
    EXPECT_TRUE(Marked(file));

    const std::wstring inMissingFolder = dir / L"missing\\x.bin";
    EXPECT_FALSE(Mark(inMissingFolder));
    EXPECT_FALSE(FileExists(inMissingFolder));
    EXPECT_FALSE(Mark(dir / L"missing-folder", ENCRYPT_INFO_FOLDER));
}

TEST_F(StandinMarks, FolderMarkFollowsRenameAndSurvivesChangesToItsContents) {
    const std::wstring folder = dir / L"Projects";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(Mark(folder, ENCRYPT_INFO_FOLDER));
    uint32_t isFolder = 0;
    ASSERT_EQ(TzDevIoReadMarkW(folder.c_str(), nullptr, &isFolder), 1);
    EXPECT_EQ(isFolder, 1u);

    const std::wstring inside = folder + L"\\plan.txt";
    ASSERT_TRUE(WriteFileBytes(inside, "x"));
    EXPECT_EQ(CountFiles(folder + L"\\*"), 3);
    ASSERT_TRUE(DeleteFileW(inside.c_str()));
    EXPECT_TRUE(Marked(folder));
    EXPECT_TRUE(Marked(folder + L"\\"));

    const std::wstring renamed = dir / L"Archive";
    ASSERT_TRUE(MoveFileExW(folder.c_str(), renamed.c_str(), 0));
    EXPECT_TRUE(Marked(renamed));
    EXPECT_FALSE(Marked(folder));

    ASSERT_TRUE(CreateDirectoryW((dir / L"parent").c_str(), nullptr));
    const std::wstring moved = dir / L"parent\\Archive";
    ASSERT_TRUE(MoveFileExW(renamed.c_str(), moved.c_str(), 0));
    EXPECT_TRUE(Marked(moved));
}

TEST_F(StandinMarks, DeletedFolderLosesItsMarkAndANewFolderNeverInheritsIt) {
    const std::wstring folder = dir / L"Folder";
    const std::wstring other = dir / L"Other";
    int identitiesReused = 0;
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        const uint64_t identity = IdentityOf(folder);
        ASSERT_TRUE(Mark(folder, ENCRYPT_INFO_FOLDER));
        ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
        EXPECT_FALSE(Marked(folder)) << round;
        const std::wstring next = round % 2 ? other : folder;
        ASSERT_TRUE(CreateDirectoryW(next.c_str(), nullptr));
        identitiesReused += IdentityOf(next) == identity;
        EXPECT_FALSE(Marked(next)) << round;
        ASSERT_TRUE(RemoveDirectoryW(next.c_str()));
    }
    RecordProperty("identities_reused", identitiesReused);
}

TEST_F(StandinMarks, ClearingRemovesTheMarkAndLeavesNothingBehind) {
    const std::wstring folder = dir / L"Folder";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const uint64_t accessBefore = AccessTimeOf(folder);
    ASSERT_TRUE(Mark(folder, ENCRYPT_INFO_FOLDER));
    ASSERT_TRUE(Mark(folder, ENCRYPT_INFO_FOLDER));  // marking again changes nothing
    EXPECT_EQ(DevIoClearEncryptInfoW(folder.c_str(), 0), 1);
    EXPECT_FALSE(Marked(folder));
    EXPECT_EQ(AccessTimeOf(folder), accessBefore);

    const std::wstring file = dir / L"file.txt";
    ASSERT_TRUE(WriteFileBytes(file, "data"));
    ASSERT_TRUE(Mark(file));
    EXPECT_EQ(PinsInStore(), 1);
    EXPECT_EQ(DevIoClearEncryptInfoA(Narrow(file).c_str(), 0), 1);
    EXPECT_FALSE(Marked(file));
    EXPECT_EQ(PinsInStore(), 0);
    EXPECT_EQ(ReadFileBytes(file), "data");

    // Nothing to clear is not a failure.
    EXPECT_EQ(DevIoClearEncryptInfoW(file.c_str(), 0), 1);
    EXPECT_EQ(DevIoClearEncryptInfoW((dir / L"missing.txt").c_str(), 0), 1);
}

TEST_F(StandinMarks, MarksPersistAcrossProcessesAndDocmanShowsThem) {
    const std::wstring file = dir / L"a.txt";
    const std::wstring folder = dir / L"Folder";
    const std::wstring plain = dir / L"b.txt";
    ASSERT_TRUE(WriteFileBytes(file, "a"));
    ASSERT_TRUE(WriteFileBytes(plain, "b"));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ENCRYPT_INFO info = Descriptor("AES-128", 11, 0);
    ASSERT_EQ(DevIoSetEncryptInfoW(file.c_str(), &info), 1);
    ASSERT_TRUE(Mark(folder, ENCRYPT_INFO_FOLDER));

    const ProgramRun run =
        RunBinProgram(L"docman.exe", L"status \"" + file + L"\" \"" + folder + L"\" \"" + plain + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Occurrences(run.output, "encrypted: 1"), 2u) << run.output;
    EXPECT_EQ(Occurrences(run.output, "encrypted: 0"), 1u) << run.output;
    EXPECT_NE(run.output.find("cipher: AES-128"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("cipher_id: 11"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("object: folder"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(Utf8(store.path())), std::string::npos) << run.output;
}

TEST_F(StandinMarks, ChangesLetGoOfFilesDeletedBehindTheStoresBack) {
    // A file replaced right after it was marked or seen marked, as a run
    // that decrypts in place does: the next change but one drops its mark.
    const std::wstring kept = dir / L"kept.txt";
    ASSERT_TRUE(WriteFileBytes(kept, "data"));
    for (int i = 0; i < 3; ++i) {
        const std::wstring file = dir / std::to_wstring(i);
        ASSERT_TRUE(WriteFileBytes(file, "data"));
        ASSERT_TRUE(Mark(file));
        ASSERT_TRUE(DeleteFileW(file.c_str()));
        ASSERT_TRUE(Mark(kept));
    }
    ASSERT_TRUE(Mark(kept));
    EXPECT_EQ(PinsInStore(), 1);

    // Files deleted long after: the sweep through the store finds them.
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(WriteFileBytes(dir / std::to_wstring(i), "data"));
        ASSERT_TRUE(Mark(dir / std::to_wstring(i)));
    }
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(DeleteFileW((dir / std::to_wstring(i)).c_str()));
    ASSERT_EQ(PinsInStore(), 11);
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(Mark(kept));
    EXPECT_EQ(PinsInStore(), 1);
    EXPECT_TRUE(Marked(kept));
}

TEST_F(StandinMarks, RefuseSwitchesHitOnlyTheListedPaths) {
    const std::wstring a = dir / L"a.txt";
    const std::wstring b = dir / L"b.txt";
    ASSERT_TRUE(WriteFileBytes(a, "a"));
    ASSERT_TRUE(WriteFileBytes(b, "b"));
    store.SetSwitch(L"refuse-set.txt", Utf8(a) + "\r\n");
    SetLastError(0);
    EXPECT_FALSE(Mark(a));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Marked(a));
    EXPECT_TRUE(Mark(b));

    store.SetSwitch(L"refuse-clear.txt", Utf8(b) + "\n");
    EXPECT_EQ(DevIoClearEncryptInfoW(b.c_str(), 0), 0);
    EXPECT_TRUE(Marked(b));

    store.SetSwitch(L"refuse-set.txt", "*\n");
    EXPECT_FALSE(Mark(dir / L"c.txt"));
    store.RemoveSwitch(L"refuse-set.txt");
    EXPECT_TRUE(Mark(a));
}

TEST_F(StandinMarks, LongPathsAreMarkedAsGiven) {
    const std::wstring file = MakeDeepPath(dir.path(), 700);
    ASSERT_TRUE(WriteFileBytes(file, "deep"));
    ASSERT_TRUE(Mark(file));
    EXPECT_TRUE(Marked(file));
    EXPECT_EQ(DevIoClearEncryptInfoW(file.c_str(), 0), 1);
    EXPECT_FALSE(Marked(file));
}

class StandinCiphers : public ::testing::Test {
protected:
    // Enumerates with capacity entries of room, the rest of the array
    // poisoned to catch writes beyond it.
    int Enumerate(uint32_t capacity, uint32_t& count) {
        memset(entries, 0xEE, sizeof entries);
        count = capacity;
        return DevIoEnumCiphers(entries, &count);
    }

    StandinStore store;
    CIPHER_ENTRY entries[40];
};

TEST_F(StandinCiphers, BuiltInTableHasNamedEntriesOfWhichSomeCannotBeChosen) {
    uint32_t count = 0;
    ASSERT_EQ(Enumerate(kCipherTableCapacity, count), 1);
    ASSERT_GE(count, 3u);
    int notSelectable = 0;
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_GT(strnlen(entries[i].name, sizeof entries[i].name), 0u) << i;
        EXPECT_LT(strnlen(entries[i].name, sizeof entries[i].name), sizeof entries[i].name) << i;
        notSelectable += (entries[i].flags & kCipherNotSelectable) != 0;
    }
    EXPECT_GE(notSelectable, 1);
    EXPECT_LT(notSelectable, static_cast<int>(count));

    ASSERT_EQ(Enumerate(2, count), 1);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(static_cast<unsigned char>(entries[2].name[0]), 0xEEu);
}

TEST_F(StandinCiphers, TableFileReplacesTheTableAndTheCipherBlockFollowsIt) {
    store.SetSwitch(L"ciphers.txt", "# test table\nFirst,2\nSecond, 2\nThird\n");
    uint32_t count = 0;
    ASSERT_EQ(Enumerate(kCipherTableCapacity, count), 1);
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(entries[0].name, "First");
    EXPECT_EQ(entries[1].flags, kCipherNotSelectable);
    EXPECT_STREQ(entries[2].name, "Third");
    EXPECT_EQ(entries[2].flags, 0);

    uint8_t block[80];
    memset(block, 0xEE, sizeof block);
    ASSERT_EQ(DevIoGetCipherBlock(2, block), 1);
    uint32_t index = 0;
    memcpy(&index, block + TZDEVIO_CIPHER_BLOCK_INDEX_OFFSET, sizeof index);
    EXPECT_EQ(index, 2u);
    EXPECT_STREQ(reinterpret_cast<const char*>(block + TZDEVIO_CIPHER_BLOCK_NAME_OFFSET), "Third");
    EXPECT_EQ(DevIoGetCipherBlock(3, block), 0);
}

TEST_F(StandinCiphers, AnEmptyTableAndTheNoCiphersSwitch) {
    store.SetSwitch(L"ciphers.txt", "");
    uint32_t count = 0;
    EXPECT_EQ(Enumerate(kCipherTableCapacity, count), 1);
    EXPECT_EQ(count, 0u);
    store.RemoveSwitch(L"ciphers.txt");
    store.SetSwitch(L"no-ciphers", "");
    EXPECT_EQ(Enumerate(kCipherTableCapacity, count), 0);
    EXPECT_EQ(count, 0u);
}

TEST(TzRtl, VendorKeyAndPathAreStableRelativeAndEndInTheName) {
    char key1[MAX_PATH], key2[MAX_PATH];
    ASSERT_EQ(TzRtl_MakeVendorKeyA("TzVozAdu\\Option", key1), 1);
    ASSERT_EQ(TzRtl_MakeVendorKeyA("TzVozAdu\\Option", key2), 1);
    EXPECT_STREQ(key1, key2);
    const std::string key = key1;
    EXPECT_NE(key[0], '\\');
    EXPECT_EQ(key.substr(key.size() - 16), "\\TzVozAdu\\Option");

    wchar_t path[MAX_PATH];
    ASSERT_EQ(TzRtl_MakeVendorPathW(L"TzVozAdu\\Error.log", path, 0), 1);
    const std::wstring relative = path;
    EXPECT_NE(relative[0], L'\\');
    EXPECT_EQ(relative.find(L':'), std::wstring::npos);
    EXPECT_EQ(relative.substr(relative.size() - 19), L"\\TzVozAdu\\Error.log");

    EXPECT_EQ(TzRtl_MakeVendorKeyA(std::string(300, 'k').c_str(), key1), 0);
}

TEST(TzRtl, ThreadSettingBelongsToTheCallingThread) {
    TzRtl_SetThreadSetting(5);
    EXPECT_EQ(TzRtl_GetThreadSetting(), 5u);
    uint32_t seenOnOtherThread = 99;
    std::thread other([&] {
        seenOnOtherThread = TzRtl_GetThreadSetting();
        TzRtl_SetThreadSetting(TzRtl_GetThreadSetting() + 9);
    });
    other.join();
    EXPECT_EQ(seenOnOtherThread, 0u);
    EXPECT_EQ(TzRtl_GetThreadSetting(), 5u);
    EXPECT_EQ(TzRtl_SetThreadSetting(0), 5u);
}

}  // namespace
