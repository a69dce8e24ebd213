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
const ENCRYPT_INFO kPoisoned = Poisoned();

class Descriptor : public ::testing::Test {
protected:
    StandinStore store;
    TempDir dir;
};

// Everything not taken from the table, the device or the option is zero.
TEST_F(Descriptor, ComesFromTheFirstSelectableCipherAndTheDefaultCipherOption) {
    CIPHER_ENTRY entries[kCipherTableCapacity];
    uint32_t count = kCipherTableCapacity;
    ASSERT_EQ(DevIoEnumCiphers(entries, &count), 1);
    uint32_t chosen = 0;
    while (chosen < count && (entries[chosen].flags & kCipherNotSelectable)) ++chosen;
    ASSERT_LT(chosen, count);
    ASSERT_GT(chosen, 0u) << "the built-in table starts with an entry that cannot be chosen";
    ENCRYPT_INFO expected = {};
    expected.size = 180;
    expected.cipherId = 4;
    strcpy(expected.cipherName, entries[chosen].name);
    DevIoGetCipherBlock(chosen, expected.cipherBlock);
    DevIoGetDeviceBlock(expected.deviceBlock);
    ENCRYPT_INFO info = Poisoned();
    ASSERT_EQ(BuildEncryptInfoW(nullptr, &info), TRUE);
    EXPECT_EQ(memcmp(&info, &expected, sizeof info), 0);
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

// Entries that cannot be chosen are passed over, and only the first 32 are
// looked at; without a choice the caller's record stays as it was. Building
// never touches the error state.
TEST_F(Descriptor, TakesTheFirstSelectableOfTheFirst32EntriesOrNone) {
    DecryptFolderW(dir.path().c_str());
    ASSERT_EQ(GetOperErrorCode(), FILEOPER_ERR_NOT_ENCRYPTED);
    std::string longTable;
    for (int i = 0; i < 35; ++i) longTable += "Locked" + std::to_string(i) + ",2\n";
    const struct {
        std::string table;
        const char* chosen;
    } cases[] = {{"Withdrawn,2\nReserved,2\nThird\nFourth\n", "Third"}, {"", nullptr},
                 {"Only,2\nOther,2\n", nullptr}, {longTable + "Late\n", nullptr}};
    for (const auto& c : cases) {
        store.SetSwitch(L"ciphers.txt", c.table);
        ENCRYPT_INFO info = Poisoned();
        EXPECT_EQ(BuildEncryptInfoA(nullptr, &info), c.chosen ? TRUE : FALSE) << c.table;
        if (c.chosen) {
            EXPECT_STREQ(info.cipherName, c.chosen);
        } else {
            EXPECT_EQ(memcmp(&info, &kPoisoned, sizeof info), 0) << c.table;
        }
    }
    store.RemoveSwitch(L"ciphers.txt");
    store.SetSwitch(L"no-ciphers", "");
    ENCRYPT_INFO info = Poisoned();
    EXPECT_EQ(BuildEncryptInfoW(dir.path().c_str(), &info), FALSE);
    EXPECT_EQ(memcmp(&info, &kPoisoned, sizeof info), 0);
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
}

}  // namespace
