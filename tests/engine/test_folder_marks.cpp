// The TzDevIo stand-in's marks as later tests trust them, then the library's
// descriptor from the driver's cipher table and its folder and root marks.
#include <gtest/gtest.h>

#include <cstring>

#include "devio/devio.h"
#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tzdevio_standin.h"

using namespace testing_support;

namespace {

bool Mark(const std::wstring& path, uint32_t flags = 0, const char* cipher = "AES-256") {
    ENCRYPT_INFO info = {};
    info.size = ENCRYPT_INFO_SIZE, info.flags = flags, info.cipherId = 4;
    strcpy(info.cipherName, cipher);
    return DevIoSetEncryptInfoW(path.c_str(), &info) != 0;
}

class StandinMarks : public ::testing::Test {
protected:
    StandinStore store;
    TempDir dir;
};

// Whatever identity the file system hands out next, no mark comes with it.
TEST_F(StandinMarks, ADeletedObjectLosesItsMarkAndANewOneNeverInheritsIt) {
    const std::wstring path = dir / L"doc", other = dir / L"other";
    for (int round = 0; round < 10; ++round) {
        const bool folder = round % 2 != 0;
        auto create = [folder](const std::wstring& p) {
            return folder ? CreateDirectoryW(p.c_str(), nullptr) != 0 : WriteFileBytes(p, "x");
        };
        auto remove = [folder](const std::wstring& p) { return RemoveTree(p), !FileExists(p); };
        ASSERT_TRUE(create(path) && Mark(path, folder ? ENCRYPT_INFO_FOLDER : 0) && remove(path));
        EXPECT_FALSE(IsMarked(path)) << round;
        ASSERT_TRUE(create(path) && create(other));
        EXPECT_FALSE(IsMarked(path) || IsMarked(other)) << round;
        ASSERT_TRUE(remove(path) && remove(other));
    }
}

TEST_F(StandinMarks, MarksPersistAcrossProcessesAndDocmanShowsThem) {
    const std::wstring file = dir / L"a.txt", plain = dir / L"b.txt";
    ASSERT_TRUE(Mark(file, 0, "AES-128") && WriteFileBytes(plain, "b"));
    const ProgramRun run = RunBinProgram(L"docman.exe", L"status \"" + file + L"\" \"" + plain + L"\"");
    const size_t marked = run.output.find("encrypted: 1"), unmarked = run.output.find("encrypted: 0");
    EXPECT_TRUE(run.exitCode == 0 && marked < unmarked && unmarked != std::string::npos) << run.output;
    for (const std::string& shown : {std::string("cipher: AES-128"), Utf8(store.path())})
        EXPECT_NE(run.output.find(shown), std::string::npos) << run.output;
}

// A call's result with the error code it left, to compare both at once.
std::pair<BOOL, uint32_t> Outcome(BOOL result) { return {result, GetOperErrorCode()}; }

// Mapped by the fixture: R: a plain folder, S: a folder holding "ntldr".
constexpr wchar_t kPlainRoot[] = L"R:\\";
constexpr wchar_t kNtldrRoot[] = L"S:\\";

ENCRYPT_INFO Poisoned() {
    ENCRYPT_INFO info;
    return memset(&info, 0xAB, sizeof info), info;
}

bool SameBytes(const ENCRYPT_INFO& a, const ENCRYPT_INFO& b) { return memcmp(&a, &b, sizeof a) == 0; }

// The library's own, as callers pass it (a failed build shows as a refusal).
ENCRYPT_INFO FileDescriptor() {
    ENCRYPT_INFO info = {};
    return BuildEncryptInfoW(nullptr, &info), info;
}

class FolderMarks : public StandinMarks {
protected:
    void SetUp() override {
        GetEnvironmentVariableW(L"SystemDrive", savedSystemDrive, 16);
        SetSystemDrive(L"C:");
        store.RecordCalls();
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    void TearDown() override {
        SetSystemDrive(savedSystemDrive);
        for (const wchar_t* root : {kPlainRoot, kNtldrRoot}) DevIoClearEncryptInfoW(root, 0);
    }
    void SetSystemDrive(const wchar_t* drive) { SetEnvironmentVariableW(L"SystemDrive", drive); }

    BOOL Encrypt(bool narrow, const std::wstring& path, ENCRYPT_INFO* info) {
        return narrow ? EncryptFolderA(Narrow(path).c_str(), info) : EncryptFolderW(path.c_str(), info);
    }
    BOOL Decrypt(bool narrow, const std::wstring& path) {
        return narrow ? DecryptFolderA(Narrow(path).c_str()) : DecryptFolderW(path.c_str());
    }
    // The paths of the calls of one kind the driver's library received.
    std::vector<std::wstring> Paths(const char* operation) const {
        std::vector<std::wstring> paths;
        for (const auto& call : store.Calls())
            if (call.first == operation) paths.push_back(call.second);
        return paths;
    }

    const std::wstring folder = dir / L"Folder";
    wchar_t savedSystemDrive[16] = L"";
};

// The first selectable of the first 32 entries, the DefaultCipher option's
// id and the device's block, the rest zero; without one the caller's record
// stays as it was. Building never touches the error state.
TEST_F(FolderMarks, TheDescriptorTakesTheFirstSelectableOfTheFirst32CiphersOrNone) {
    Decrypt(false, folder);
    ASSERT_EQ(GetOperErrorCode(), FILEOPER_ERR_NOT_ENCRYPTED);
    std::string longTable;
    for (int i = 0; i < 35; ++i) longTable += "Locked" + std::to_string(i) + ",2\n";
    const struct { const wchar_t* switchName; std::string table; bool chosen; } cases[] = {
        {L"ciphers.txt", "Withdrawn,2\nReserved,2\nThird\nFourth\n", true}, {L"ciphers.txt", "", false},
        {L"ciphers.txt", "Only,2\nOther,2\n", false}, {L"ciphers.txt", longTable + "Late\n", false},
        {L"no-ciphers", "", false}};
    for (const auto& c : cases) {
        store.SetSwitch(c.switchName, c.table);
        ENCRYPT_INFO expected = Poisoned(), info = Poisoned();
        if (c.chosen) {
            expected = {};
            expected.size = 180, expected.cipherId = 4;
            strcpy(expected.cipherName, "Third");
            DevIoGetCipherBlock(2, expected.cipherBlock);
            DevIoGetDeviceBlock(expected.deviceBlock);
        }
        EXPECT_EQ(BuildEncryptInfoA(nullptr, &info), c.chosen ? TRUE : FALSE) << c.table;
        EXPECT_TRUE(SameBytes(info, expected)) << c.table;
    }
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_NOT_ENCRYPTED);
}

// A folder is marked and cleared without its trailing backslash, roots with
// it, long folders as given; marked with the caller's descriptor and the
// folder flag. The wide form refuses only the system drive's root, the
// narrow form any root that holds ntldr.
TEST_F(FolderMarks, MarksAndClearsFoldersRootsAndLongFoldersAsTheDriverKnowsThem) {
    const std::wstring deep = MakeDeepPath(dir.path(), 700);
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    const struct { bool narrow; std::wstring path, marked; const wchar_t* systemDrive; } cases[] = {
        {false, folder + L"\\", folder, L"C:"}, {true, folder + L"\\", folder, L"C:"},
        {false, kPlainRoot, kPlainRoot, L"C:"}, {false, kNtldrRoot, kNtldrRoot, L"C:"},
        {true, kPlainRoot, kPlainRoot, L"R:"},  {false, deep, deep, L"C:"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.narrow ? "8-bit " : "wide ") << Narrow(c.path).substr(0, 80));
        SetSystemDrive(c.systemDrive);
        store.RecordCalls();
        ENCRYPT_INFO info = FileDescriptor();
        EXPECT_EQ(Outcome(Encrypt(c.narrow, c.path, &info)), std::make_pair(TRUE, FILEOPER_OK));
        EXPECT_EQ(info.flags, ENCRYPT_INFO_FOLDER);
        EXPECT_EQ(Paths("set"), std::vector<std::wstring>{c.marked});
        ENCRYPT_INFO marked = {};
        uint32_t isFolder = 0;
        ASSERT_EQ(TzDevIoReadMarkW(c.marked.c_str(), &marked, &isFolder), 1);
        EXPECT_TRUE(SameBytes(marked, info));
        EXPECT_EQ(isFolder, 1u);
        EXPECT_EQ(Outcome(Decrypt(c.narrow, c.path)), std::make_pair(TRUE, FILEOPER_OK));
        EXPECT_EQ(Paths("clear"), std::vector<std::wstring>{c.marked});
        EXPECT_FALSE(DevIoIsEncryptedW(c.marked.c_str(), 0));
    }
}

// Every refusal comes before the driver is asked to change anything and
// leaves the descriptor as it was. Paths beyond the buffers are refused, one
// character less reaches the file system.
TEST_F(FolderMarks, RefusalsGiveTheirCodeInOrderAndChangeNothing) {
    const std::wstring missing = dir / L"missing";
    const std::wstring wide4094 = L"C:\\" + std::wstring(4091, L'w'), wide4096 = L"C:\\" + std::wstring(4093, L'w');
    const std::wstring narrow260 = L"C:\\" + std::wstring(257, L'n');
    const struct {
        bool decrypt, narrow; std::wstring path; uint32_t code; bool badSize = false; const wchar_t* drive = L"C:";
    } cases[] = {
        {false, false, missing, FILEOPER_ERR_FOLDER_ACCESS}, {false, true, missing, FILEOPER_ERR_FOLDER_ACCESS},
        {false, false, L"C:\\", FILEOPER_ERR_SYSTEM_CRITICAL}, {false, true, kNtldrRoot, FILEOPER_ERR_SYSTEM_CRITICAL},
        {false, false, kPlainRoot, FILEOPER_ERR_SYSTEM_CRITICAL, false, L"r:"},
        {false, false, wide4094, FILEOPER_ERR_PATH_TOO_LONG}, {false, true, narrow260, FILEOPER_ERR_PATH_TOO_LONG},
        {false, false, wide4094.substr(1), FILEOPER_ERR_FOLDER_ACCESS},
        {false, true, narrow260.substr(1), FILEOPER_ERR_FOLDER_ACCESS},
        {false, false, folder, FILEOPER_ERR_INVALID_PARAMETER, true},
        {false, true, folder, FILEOPER_ERR_INVALID_PARAMETER, true},
        {true, false, folder, FILEOPER_ERR_NOT_ENCRYPTED}, {true, true, folder, FILEOPER_ERR_NOT_ENCRYPTED},
        {true, false, wide4096, FILEOPER_ERR_PATH_TOO_LONG}, {true, true, narrow260, FILEOPER_ERR_PATH_TOO_LONG},
        {true, false, wide4096.substr(1), FILEOPER_ERR_NOT_ENCRYPTED},
        {true, true, narrow260.substr(1), FILEOPER_ERR_NOT_ENCRYPTED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.narrow ? "8-bit " : "wide ") << Narrow(c.path).substr(0, 80));
        SetSystemDrive(c.drive);
        ENCRYPT_INFO info = FileDescriptor();
        if (c.badSize) info.size = 0;
        const BOOL result = c.decrypt ? Decrypt(c.narrow, c.path) : Encrypt(c.narrow, c.path, &info);
        EXPECT_EQ(Outcome(result), std::make_pair(FALSE, c.code));
        EXPECT_EQ(info.flags, 0u);
    }
    EXPECT_EQ(Outcome(EncryptFolderW(folder.c_str(), nullptr)), std::make_pair(FALSE, FILEOPER_ERR_INVALID_PARAMETER));
    EXPECT_TRUE(Paths("set").empty() && Paths("clear").empty());
}

// A refusal of the driver is code 10 (with the folder flag set when
// marking), no memory code 21 with nothing asked, the next success code 0.
TEST_F(FolderMarks, FailuresAfterThePathChecks) {
    store.SetSwitch(L"refuse-set.txt", Utf8(folder) + "\n");
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(Outcome(EncryptFolderW(folder.c_str(), &info)), std::make_pair(FALSE, FILEOPER_ERR_ENCRYPT_INFO));
    EXPECT_EQ(info.flags, ENCRYPT_INFO_FOLDER);
    EXPECT_FALSE(DevIoIsEncryptedW(folder.c_str(), 0));
    store.RemoveSwitch(L"refuse-set.txt");
    store.RecordCalls();
    {
        fault::Hook<decltype(&HeapAlloc)> alloc(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "HeapAlloc",
                                                nullptr, ERROR_NOT_ENOUGH_MEMORY);
        alloc.trigger.Arm(1);
        EXPECT_EQ(Outcome(EncryptFolderW(folder.c_str(), &info)), std::make_pair(FALSE, FILEOPER_ERR_OUT_OF_MEMORY));
    }
    EXPECT_TRUE(Paths("set").empty());
    EXPECT_EQ(Outcome(EncryptFolderW(folder.c_str(), &info)), std::make_pair(TRUE, FILEOPER_OK));

    store.SetSwitch(L"refuse-clear.txt", Utf8(folder) + "\n");
    EXPECT_EQ(Outcome(DecryptFolderW(folder.c_str())), std::make_pair(FALSE, FILEOPER_ERR_ENCRYPT_INFO));
    EXPECT_TRUE(DevIoIsEncryptedW(folder.c_str(), 0));
}

}  // namespace
