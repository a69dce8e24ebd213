// Marking folders: the order of the checks and their codes, drive roots
// (mapped by the test fixture), and the paths handed to the driver's library.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "devio/devio.h"
#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tzdevio_standin.h"

using namespace testing_support;

namespace {

// Mapped by the fixture: R: a plain folder, S: a folder holding "ntldr".
constexpr wchar_t kPlainRoot[] = L"R:\\";
constexpr wchar_t kNtldrRoot[] = L"S:\\";

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

ENCRYPT_INFO FileDescriptor() {
    ENCRYPT_INFO info = {};
    EXPECT_EQ(BuildEncryptInfoW(nullptr, &info), TRUE);
    return info;
}

// SystemDrive as the test needs it, put back afterwards.
class SystemDrive {
public:
    explicit SystemDrive(const wchar_t* value) {
        GetEnvironmentVariableW(L"SystemDrive", saved_, 16);
        SetEnvironmentVariableW(L"SystemDrive", value);
    }
    ~SystemDrive() { SetEnvironmentVariableW(L"SystemDrive", saved_); }

private:
    wchar_t saved_[16] = L"";
};

class EncryptFolder : public ::testing::Test {
protected:
    void SetUp() override {
        store.RecordCalls();
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    void TearDown() override {
        for (const wchar_t* root : {kPlainRoot, kNtldrRoot}) DevIoClearEncryptInfoW(root, 0);
    }

    std::vector<std::wstring> PathsSet() const {
        std::vector<std::wstring> paths;
        for (const auto& call : store.Calls())
            if (call.first == "set") paths.push_back(call.second);
        return paths;
    }

    StandinStore store;
    TempDir dir;
    const std::wstring folder = dir / L"Folder";
    SystemDrive systemDrive{L"C:"};
};

TEST_F(EncryptFolder, MarksAFolderWithoutItsTrailingBackslash) {
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(EncryptFolderW((folder + L"\\").c_str(), &info), TRUE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
    EXPECT_EQ(info.flags, ENCRYPT_INFO_FOLDER);
    ASSERT_EQ(PathsSet(), std::vector<std::wstring>{folder});

    ENCRYPT_INFO marked = {};
    uint32_t isFolder = 0;
    ASSERT_EQ(TzDevIoReadMarkW(folder.c_str(), &marked, &isFolder), 1);
    EXPECT_EQ(memcmp(&marked, &info, sizeof info), 0);
    EXPECT_EQ(isFolder, 1u);
}

TEST_F(EncryptFolder, AMissingFolderIsCode16AndTheDescriptorStaysAsItWas) {
    ENCRYPT_INFO info = FileDescriptor();
    const std::wstring missing = dir / L"missing";
    EXPECT_EQ(EncryptFolderW(missing.c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_FOLDER_ACCESS);
    EXPECT_EQ(EncryptFolderA(Narrow(missing).c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_FOLDER_ACCESS);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_TRUE(PathsSet().empty());
}

TEST_F(EncryptFolder, TheSystemDrivesRootIsCode20) {
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(EncryptFolderW(L"C:\\", &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_SYSTEM_CRITICAL);
    {
        SystemDrive elsewhere(L"r:");
        EXPECT_EQ(EncryptFolderW(kPlainRoot, &info), FALSE);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_SYSTEM_CRITICAL);
    }
    EXPECT_EQ(info.flags, 0u);
    EXPECT_TRUE(PathsSet().empty());
}

TEST_F(EncryptFolder, AnotherRootIsMarkedWithItsBackslash) {
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(EncryptFolderW(kPlainRoot, &info), TRUE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
    EXPECT_EQ(PathsSet(), std::vector<std::wstring>{kPlainRoot});
    EXPECT_TRUE(DevIoIsEncryptedW(kPlainRoot, 0));
}

TEST_F(EncryptFolder, TheNarrowFormRefusesAnyRootHoldingNtldrAndOnlyThat) {
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(EncryptFolderA(Narrow(kNtldrRoot).c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_SYSTEM_CRITICAL);
    EXPECT_TRUE(PathsSet().empty());

    // The wide form asks for the system drive instead.
    EXPECT_EQ(EncryptFolderW(kNtldrRoot, &info), TRUE);
    // And the narrow form does not.
    SystemDrive elsewhere(L"R:");
    EXPECT_EQ(EncryptFolderA(Narrow(kPlainRoot).c_str(), &info), TRUE);
    EXPECT_EQ(PathsSet(), (std::vector<std::wstring>{kNtldrRoot, kPlainRoot}));
}

TEST_F(EncryptFolder, TheDescriptorSizeIsCheckedAfterEveryPathCheck) {
    ENCRYPT_INFO info = FileDescriptor();
    info.size = 0;
    EXPECT_EQ(EncryptFolderW((dir / L"missing").c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_FOLDER_ACCESS);
    EXPECT_EQ(EncryptFolderW(L"C:\\", &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_SYSTEM_CRITICAL);
    EXPECT_EQ(EncryptFolderW(std::wstring(4094, L'x').c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_PATH_TOO_LONG);

    EXPECT_EQ(EncryptFolderW(folder.c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_INVALID_PARAMETER);
    EXPECT_EQ(EncryptFolderA(Narrow(folder).c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_INVALID_PARAMETER);
    EXPECT_EQ(EncryptFolderW(folder.c_str(), nullptr), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_INVALID_PARAMETER);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_TRUE(PathsSet().empty());
}

TEST_F(EncryptFolder, LengthLimitsOfBothForms) {
    ENCRYPT_INFO info = FileDescriptor();
    const std::wstring wide4094 = L"C:\\" + std::wstring(4091, L'w');
    EXPECT_EQ(EncryptFolderW(wide4094.c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_PATH_TOO_LONG);
    EXPECT_EQ(EncryptFolderW(wide4094.substr(1).c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_FOLDER_ACCESS);

    const std::string narrow260 = "C:\\" + std::string(257, 'n');
    EXPECT_EQ(EncryptFolderA(narrow260.c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_PATH_TOO_LONG);
    EXPECT_EQ(EncryptFolderA(narrow260.substr(1).c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_FOLDER_ACCESS);
}

TEST_F(EncryptFolder, ALongFolderIsListedThroughItsLongFormAndMarkedAsGiven) {
    std::wstring deep = MakeDeepPath(dir.path(), 700);
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(EncryptFolderW(deep.c_str(), &info), TRUE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
    EXPECT_EQ(PathsSet(), std::vector<std::wstring>{deep});
}

TEST_F(EncryptFolder, ARefusalOfTheDriverIsCode10AndTheFolderFlagStays) {
    store.SetSwitch(L"refuse-set.txt", Utf8(folder) + "\n");
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(EncryptFolderW(folder.c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_ENCRYPT_INFO);
    EXPECT_EQ(info.flags, ENCRYPT_INFO_FOLDER);
    EXPECT_FALSE(DevIoIsEncryptedW(folder.c_str(), 0));
}

TEST_F(EncryptFolder, NoMemoryForTheWorkingCopyIsCode21) {
    ENCRYPT_INFO info = FileDescriptor();
    {
        fault::ImportPatch patch(Library(), "KERNEL32.dll", "HeapAlloc", reinterpret_cast<const void*>(&fault::FailingHeapAlloc));
        ASSERT_TRUE(patch.active());
        fault::g_heapAllocFailure.Arm(1);
        EXPECT_EQ(EncryptFolderW(folder.c_str(), &info), FALSE);
        fault::g_heapAllocFailure.Disarm();
    }
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_OUT_OF_MEMORY);
    EXPECT_TRUE(PathsSet().empty());
    // The next call that succeeds sets the code back to 0.
    EXPECT_EQ(EncryptFolderW(folder.c_str(), &info), TRUE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
}

}  // namespace
