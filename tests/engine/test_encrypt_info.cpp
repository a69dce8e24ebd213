// The descriptor built from the driver's cipher table, and the removal of a
// folder's mark, through the exports and the TzDevIo stand-in.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "devio/devio.h"
#include "fileoper.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tzdevio_standin.h"

using namespace testing_support;

namespace {

// The root the test fixture maps to a folder of the build.
constexpr wchar_t kPlainRoot[] = L"R:\\";

ENCRYPT_INFO Poisoned() {
    ENCRYPT_INFO info;
    memset(&info, 0xAB, sizeof info);
    return info;
}

bool IsPoisoned(const ENCRYPT_INFO& info) {
    const ENCRYPT_INFO poisoned = Poisoned();
    return memcmp(&info, &poisoned, sizeof info) == 0;
}

bool AllZero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if (bytes[i]) return false;
    return true;
}

class Descriptor : public ::testing::Test {
protected:
    StandinStore store;
    TempDir dir;
};

TEST_F(Descriptor, ComesFromTheFirstSelectableCipherAndTheDefaultCipherOption) {
    CIPHER_ENTRY entries[kCipherTableCapacity];
    uint32_t count = kCipherTableCapacity;
    ASSERT_EQ(DevIoEnumCiphers(entries, &count), 1);
    uint32_t chosen = 0;
    while (chosen < count && (entries[chosen].flags & kCipherNotSelectable)) ++chosen;
    ASSERT_LT(chosen, count);
    ASSERT_GT(chosen, 0u) << "the built-in table starts with an entry that cannot be chosen";
    uint8_t cipherBlock[80], deviceBlock[32];
    DevIoGetCipherBlock(chosen, cipherBlock);
    DevIoGetDeviceBlock(deviceBlock);

    ENCRYPT_INFO info = Poisoned();
    ASSERT_EQ(BuildEncryptInfoW(nullptr, &info), TRUE);
    EXPECT_EQ(info.size, 180u);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(info.cipherId, 4u);
    EXPECT_STREQ(info.cipherName, entries[chosen].name);
    EXPECT_EQ(memcmp(info.cipherBlock, cipherBlock, sizeof cipherBlock), 0);
    EXPECT_EQ(memcmp(info.deviceBlock, deviceBlock, sizeof deviceBlock), 0);
    EXPECT_TRUE(AllZero(info.reserved1, sizeof info.reserved1));
    EXPECT_EQ(info.reserved2, 0u);
    EXPECT_EQ(info.reserved3, 0u);
    EXPECT_TRUE(AllZero(reinterpret_cast<const uint8_t*>(info.cipherName) + strlen(info.cipherName),
                        sizeof info.cipherName - strlen(info.cipherName)));
}

TEST_F(Descriptor, ATableWhoseFirstTwoEntriesCannotBeChosenYieldsTheThird) {
    store.SetSwitch(L"ciphers.txt", "Withdrawn,2\nReserved,2\nThird\nFourth\n");
    ENCRYPT_INFO info = Poisoned();
    ASSERT_EQ(BuildEncryptInfoA(nullptr, &info), TRUE);
    EXPECT_STREQ(info.cipherName, "Third");
    uint32_t index = 0;
    memcpy(&index, info.cipherBlock + TZDEVIO_CIPHER_BLOCK_INDEX_OFFSET, sizeof index);
    EXPECT_EQ(index, 2u);
}

TEST_F(Descriptor, TheFolderFlagFollowsThePath) {
    const std::wstring file = dir / L"file.txt";
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    struct {
        std::wstring path;
        uint32_t flags;
    } cases[] = {{dir.path(), 16}, {dir.path() + L"\\", 16}, {file, 0}, {dir / L"missing", 0}};
    for (const auto& c : cases) {
        ENCRYPT_INFO info = {};
        ASSERT_EQ(BuildEncryptInfoW(c.path.c_str(), &info), TRUE);
        EXPECT_EQ(info.flags, c.flags) << Narrow(c.path);
        ASSERT_EQ(BuildEncryptInfoA(Narrow(c.path).c_str(), &info), TRUE);
        EXPECT_EQ(info.flags, c.flags) << Narrow(c.path);
    }
}

TEST_F(Descriptor, NoneIsBuiltWithoutASelectableCipherAndTheCallersRecordStays) {
    const char* tables[] = {
        "",
        "Only,2\nOther,2\n",
    };
    for (const char* table : tables) {
        store.SetSwitch(L"ciphers.txt", table);
        ENCRYPT_INFO info = Poisoned();
        EXPECT_EQ(BuildEncryptInfoW(nullptr, &info), FALSE) << table;
        EXPECT_TRUE(IsPoisoned(info)) << table;
    }

    // The library lists at most 32 entries: a selectable 36th is never seen.
    std::string longTable;
    for (int i = 0; i < 35; ++i) longTable += "Locked" + std::to_string(i) + ",2\n";
    store.SetSwitch(L"ciphers.txt", longTable + "Late\n");
    ENCRYPT_INFO info = Poisoned();
    EXPECT_EQ(BuildEncryptInfoW(nullptr, &info), FALSE);
    EXPECT_TRUE(IsPoisoned(info));

    store.RemoveSwitch(L"ciphers.txt");
    store.SetSwitch(L"no-ciphers", "");
    EXPECT_EQ(BuildEncryptInfoA(nullptr, &info), FALSE);
    EXPECT_TRUE(IsPoisoned(info));
}

TEST_F(Descriptor, BuildingNeverTouchesTheErrorState) {
    DecryptFolderW(dir.path().c_str());
    ASSERT_EQ(GetOperErrorCode(), FILEOPER_ERR_NOT_ENCRYPTED);
    ENCRYPT_INFO info = {};
    EXPECT_EQ(BuildEncryptInfoW(dir.path().c_str(), &info), TRUE);
    store.SetSwitch(L"no-ciphers", "");
    EXPECT_EQ(BuildEncryptInfoW(dir.path().c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_NOT_ENCRYPTED);
}

using Calls = std::vector<std::pair<std::string, std::wstring>>;

class DecryptFolder : public ::testing::Test {
protected:
    bool MarkFolder(const std::wstring& path) {
        ENCRYPT_INFO info = {};
        return BuildEncryptInfoW(path.c_str(), &info) && DevIoSetEncryptInfoW(path.c_str(), &info);
    }
    BOOL Decrypt(bool narrow, const std::wstring& path) {
        return narrow ? DecryptFolderA(Narrow(path).c_str()) : DecryptFolderW(path.c_str());
    }

    StandinStore store;
    TempDir dir;
    const std::wstring folder = dir / L"Folder";
};

// A folder is cleared without its trailing backslash, a root with it.
TEST_F(DecryptFolder, ClearsTheMarkOfTheFolderAsTheDriverKnowsIt) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const struct {
        bool narrow;
        std::wstring given, cleared;
    } cases[] = {{false, folder + L"\\", folder}, {true, folder + L"\\", folder}, {false, kPlainRoot, kPlainRoot}};
    for (const auto& c : cases) {
        ASSERT_TRUE(MarkFolder(c.cleared));
        store.RecordCalls();
        EXPECT_EQ(Decrypt(c.narrow, c.given), TRUE) << Narrow(c.given);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
        EXPECT_EQ(store.Calls(), (Calls{{"query", c.cleared}, {"clear", c.cleared}}));
        EXPECT_FALSE(DevIoIsEncryptedW(c.cleared.c_str(), 0));
    }
}

// An unmarked folder is code 14 without a clear; a path beyond the buffer is
// code 12 and reaches nothing, one character less reaches the driver.
TEST_F(DecryptFolder, RefusalsClearNothing) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring wide4096 = L"C:\\" + std::wstring(4093, L'w');
    const std::wstring narrow260 = L"C:\\" + std::wstring(257, L'n');
    const struct {
        bool narrow;
        std::wstring path;
        uint32_t code;
    } cases[] = {{true, folder, FILEOPER_ERR_NOT_ENCRYPTED},         {false, folder, FILEOPER_ERR_NOT_ENCRYPTED},
                 {false, wide4096, FILEOPER_ERR_PATH_TOO_LONG},       {true, narrow260, FILEOPER_ERR_PATH_TOO_LONG},
                 {false, wide4096.substr(1), FILEOPER_ERR_NOT_ENCRYPTED}, {true, narrow260.substr(1), FILEOPER_ERR_NOT_ENCRYPTED}};
    for (const auto& c : cases) {
        store.RecordCalls();
        EXPECT_EQ(Decrypt(c.narrow, c.path), FALSE);
        EXPECT_EQ(GetOperErrorCode(), c.code) << Narrow(c.path).substr(0, 80);
        const Calls calls = store.Calls();
        EXPECT_EQ(calls.size(), c.code == FILEOPER_ERR_PATH_TOO_LONG ? 0u : 1u);
        for (const auto& call : calls) EXPECT_EQ(call.first, "query");
    }
}

TEST_F(DecryptFolder, ARefusedClearIsCode10AndTheMarkStays) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(MarkFolder(folder));
    store.SetSwitch(L"refuse-clear.txt", Utf8(folder) + "\n");
    EXPECT_EQ(DecryptFolderW(folder.c_str()), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_ENCRYPT_INFO);
    EXPECT_TRUE(DevIoIsEncryptedW(folder.c_str(), 0));
    store.RemoveSwitch(L"refuse-clear.txt");
    EXPECT_EQ(DecryptFolderW(folder.c_str()), TRUE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
}

}  // namespace
