// The TzDevIo stand-in as every later test trusts it: a mark behaves like a
// property of the file or folder on disk. The TzRtl stand-in's few functions
// are checked at the end.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "devio/devio.h"
#include "tests/support/product.h"
#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tzdevio_standin.h"
#include "tzrtl.h"

using namespace testing_support;

namespace {

bool Marked(const std::wstring& path) { return DevIoIsEncryptedW(path.c_str(), 0) != 0; }

bool Mark(const std::wstring& path, uint32_t flags = 0, const char* cipher = "AES-256") {
    ENCRYPT_INFO info = {};
    info.size = ENCRYPT_INFO_SIZE;
    info.flags = flags;
    info.cipherId = 4;
    strcpy(info.cipherName, cipher);
    return DevIoSetEncryptInfoW(path.c_str(), &info) != 0;
}

class StandinMarks : public ::testing::Test {
protected:
    int PinsInStore() const {
        const std::wstring marks = store.path() + L"\\marks\\";
        int pins = 0;
        for (const std::wstring& shard : ListFolder(marks))
            for (const std::wstring& name : ListFolder(marks + shard)) pins += name.find(L".pin") != std::wstring::npos;
        return pins;
    }

    StandinStore store;
    TempDir dir;
};

// A file's and a folder's mark, descriptor and all, go with them through
// renames, moves and rewrites of their contents.
TEST_F(StandinMarks, AMarkFollowsItsObjectThroughRenameMoveAndRewrite) {
    ASSERT_TRUE(CreateDirectoryW((dir / L"sub").c_str(), nullptr));
    for (bool folder : {false, true}) {
        const std::wstring path = dir / L"object", renamed = dir / L"renamed", moved = dir / L"sub\\moved";
        ASSERT_TRUE(folder ? CreateDirectoryW(path.c_str(), nullptr) : WriteFileBytes(path, "plain"));
        ASSERT_TRUE(Mark(path, folder ? ENCRYPT_INFO_FOLDER : 0, "SM4-128"));
        ENCRYPT_INFO read = {};
        uint32_t isFolder = 7;
        ASSERT_EQ(TzDevIoReadMarkW(path.c_str(), &read, &isFolder), 1);
        EXPECT_STREQ(read.cipherName, "SM4-128");
        EXPECT_EQ(isFolder, folder ? 1u : 0u);
        ASSERT_TRUE(MoveFileW(path.c_str(), renamed.c_str()) && MoveFileW(renamed.c_str(), moved.c_str()));
        EXPECT_FALSE(Marked(path));
        EXPECT_EQ(DevIoIsEncryptedA(Narrow(moved).c_str(), 0), 1);
        const std::wstring file = folder ? moved + L"\\plan.txt" : moved;
        ASSERT_TRUE(WriteFileBytes(file, "new content, longer than before"));
        ASSERT_TRUE(!folder || DeleteFileW(file.c_str()));
        EXPECT_TRUE(Marked(folder ? moved + L"\\" : moved));
        EXPECT_TRUE(folder ? RemoveDirectoryW(moved.c_str()) : DeleteFileW(moved.c_str()));
    }
}

// Whatever identity the file system hands out next, no mark comes with it.
TEST_F(StandinMarks, ADeletedObjectLosesItsMarkAndANewOneNeverInheritsIt) {
    for (int round = 0; round < 10; ++round) {
        const bool folder = round % 2 != 0;
        const std::wstring path = dir / L"doc", other = dir / L"other";
        auto create = [&](const std::wstring& p) {
            return folder ? CreateDirectoryW(p.c_str(), nullptr) != 0 : WriteFileBytes(p, "x");
        };
        auto remove = [&](const std::wstring& p) {
            return folder ? RemoveDirectoryW(p.c_str()) != 0 : DeleteFileW(p.c_str()) != 0;
        };
        ASSERT_TRUE(create(path) && Mark(path, folder ? ENCRYPT_INFO_FOLDER : 0) && remove(path));
        EXPECT_FALSE(Marked(path)) << round;
        ASSERT_TRUE(create(path) && create(other));
        EXPECT_FALSE(Marked(path) || Marked(other)) << round;
        ASSERT_TRUE(remove(path) && remove(other));
    }
}

// Marking a missing file creates it empty, but never a folder or a parent.
TEST_F(StandinMarks, MarkingCreatesAMissingFileButNoFolderOrParent) {
    ASSERT_TRUE(Mark(dir / L"new.bin"));
    EXPECT_EQ(ReadFileBytes(dir / L"new.bin"), "");
    EXPECT_TRUE(Marked(dir / L"new.bin"));
    EXPECT_FALSE(Mark(dir / L"missing\\x.bin"));
    EXPECT_FALSE(FileExists(dir / L"missing\\x.bin"));
    EXPECT_FALSE(Mark(dir / L"missing-folder", ENCRYPT_INFO_FOLDER));
}

// Clearing leaves no pin in the store and the contents as they were;
// nothing to clear is not a failure. Files deleted behind the store's back
// are swept out by later changes.
TEST_F(StandinMarks, ClearingAndSweepingLeaveNothingBehind) {
    const std::wstring file = dir / L"file.txt";
    ASSERT_TRUE(WriteFileBytes(file, "data"));
    ASSERT_TRUE(Mark(file) && Mark(file));
    EXPECT_EQ(PinsInStore(), 1);
    EXPECT_EQ(DevIoClearEncryptInfoA(Narrow(file).c_str(), 0), 1);
    EXPECT_FALSE(Marked(file));
    EXPECT_EQ(PinsInStore(), 0);
    EXPECT_EQ(ReadFileBytes(file), "data");
    EXPECT_EQ(DevIoClearEncryptInfoW(file.c_str(), 0), 1);

    for (int i = 0; i < 10; ++i) ASSERT_TRUE(Mark(dir / std::to_wstring(i)) && DeleteFileW((dir / std::to_wstring(i)).c_str()));
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(Mark(file));
    EXPECT_EQ(PinsInStore(), 1);
    EXPECT_TRUE(Marked(file));
}

TEST_F(StandinMarks, MarksPersistAcrossProcessesAndDocmanShowsThem) {
    const std::wstring file = dir / L"a.txt", plain = dir / L"b.txt";
    ASSERT_TRUE(Mark(file, 0, "AES-128") && WriteFileBytes(plain, "b"));
    const ProgramRun run = RunBinProgram(L"docman.exe", L"status \"" + file + L"\" \"" + plain + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const size_t marked = run.output.find("encrypted: 1"), unmarked = run.output.find("encrypted: 0");
    EXPECT_TRUE(marked < unmarked && unmarked != std::string::npos) << run.output;
    EXPECT_NE(run.output.find("cipher: AES-128"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(Utf8(store.path())), std::string::npos) << run.output;
}

// A refusal hits only the listed paths, whatever the lines end with.
TEST_F(StandinMarks, RefuseSwitchesHitOnlyTheListedPaths) {
    const std::wstring a = dir / L"a.txt", b = dir / L"b.txt";
    store.SetSwitch(L"refuse-set.txt", Utf8(a) + "\r\n");
    store.SetSwitch(L"refuse-clear.txt", Utf8(b) + "\r\n");
    SetLastError(0);
    EXPECT_FALSE(Mark(a));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(Mark(b));
    EXPECT_EQ(DevIoClearEncryptInfoW(b.c_str(), 0), 0);
    EXPECT_TRUE(Marked(b));
}

// A table file replaces the built-in table; the cipher block names its
// entry; nothing is written beyond the room given.
TEST(StandinCiphers, TheTableFileGivesEntriesAndBlocks) {
    StandinStore store;
    CIPHER_ENTRY entries[4];
    memset(entries, 0xEE, sizeof entries);
    store.SetSwitch(L"ciphers.txt", "# test table\nFirst,2\nSecond, 2\nThird\n");
    uint32_t count = 2;
    ASSERT_EQ(DevIoEnumCiphers(entries, &count), 1);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(static_cast<unsigned char>(entries[2].name[0]), 0xEEu);
    count = 4;
    ASSERT_EQ(DevIoEnumCiphers(entries, &count), 1);
    ASSERT_EQ(count, 3u);
    EXPECT_STREQ(entries[0].name, "First");
    EXPECT_EQ(entries[1].flags, kCipherNotSelectable);
    uint8_t block[80];
    ASSERT_EQ(DevIoGetCipherBlock(2, block), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(block + TZDEVIO_CIPHER_BLOCK_NAME_OFFSET), "Third");
    EXPECT_EQ(DevIoGetCipherBlock(3, block), 0);
}

TEST(TzRtl, VendorNamesAreRelativeAndEndInTheNameAndTheThreadSettingIsPerThread) {
    char key[MAX_PATH];
    ASSERT_EQ(TzRtl_MakeVendorKeyA("TzVozAdu\\Option", key), 1);
    EXPECT_NE(key[0], '\\');
    EXPECT_EQ(std::string(key).substr(strlen(key) - 16), "\\TzVozAdu\\Option");
    wchar_t path[MAX_PATH];
    ASSERT_EQ(TzRtl_MakeVendorPathW(L"TzVozAdu\\Error.log", path, 0), 1);
    EXPECT_EQ(std::wstring(path).find(L':'), std::wstring::npos);
    EXPECT_EQ(std::wstring(path).substr(wcslen(path) - 19), L"\\TzVozAdu\\Error.log");
    EXPECT_EQ(TzRtl_MakeVendorKeyA(std::string(300, 'k').c_str(), key), 0);

    TzRtl_SetThreadSetting(5);
    uint32_t seenOnOtherThread = 99;
    std::thread([&] {
        seenOnOtherThread = TzRtl_GetThreadSetting();
        TzRtl_SetThreadSetting(14);
    }).join();
    EXPECT_EQ(seenOnOtherThread, 0u);
    EXPECT_EQ(TzRtl_SetThreadSetting(0), 5u);
}

}  // namespace
