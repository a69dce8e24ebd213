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

    BOOL Encrypt(bool narrow, const std::wstring& path, ENCRYPT_INFO* info) {
        return narrow ? EncryptFolderA(Narrow(path).c_str(), info) : EncryptFolderW(path.c_str(), info);
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

// A folder is marked without its trailing backslash, roots with it, long
// folders as given, with the caller's descriptor and the folder flag. The
// wide form refuses only the system drive's root, the narrow form any root
// that holds ntldr.
TEST_F(EncryptFolder, MarksFoldersRootsAndLongFoldersAsTheDriverKnowsThem) {
    const std::wstring deep = MakeDeepPath(dir.path(), 700);
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    const struct {
        bool narrow;
        std::wstring path, marked;
        const wchar_t* systemDrive;
    } cases[] = {{false, folder + L"\\", folder, L"C:"}, {false, kPlainRoot, kPlainRoot, L"C:"},
                 {false, kNtldrRoot, kNtldrRoot, L"C:"}, {true, kPlainRoot, kPlainRoot, L"R:"}, {false, deep, deep, L"C:"}};
    for (const auto& c : cases) {
        SystemDrive drive(c.systemDrive);
        store.RecordCalls();
        ENCRYPT_INFO info = FileDescriptor();
        EXPECT_EQ(Encrypt(c.narrow, c.path, &info), TRUE) << Narrow(c.path);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
        EXPECT_EQ(info.flags, ENCRYPT_INFO_FOLDER);
        EXPECT_EQ(PathsSet(), std::vector<std::wstring>{c.marked});
        ENCRYPT_INFO marked = {};
        uint32_t isFolder = 0;
        ASSERT_EQ(TzDevIoReadMarkW(c.marked.c_str(), &marked, &isFolder), 1);
        EXPECT_EQ(memcmp(&marked, &info, sizeof info), 0);
        EXPECT_EQ(isFolder, 1u);
    }
}

// Every refusal comes before the driver is asked and leaves the descriptor
// as it was; the descriptor's size is checked after every path check.
TEST_F(EncryptFolder, RefusalsGiveTheirCodeInOrderAndMarkNothing) {
    const std::wstring missing = dir / L"missing";
    const std::wstring wide4094 = L"C:\\" + std::wstring(4091, L'w');
    const std::wstring narrow260 = L"C:\\" + std::wstring(257, L'n');
    const struct {
        bool narrow;
        std::wstring path;
        bool badSize;
        const wchar_t* systemDrive;
        uint32_t code;
    } cases[] = {
        {false, missing, false, L"C:", FILEOPER_ERR_FOLDER_ACCESS},
        {true, missing, false, L"C:", FILEOPER_ERR_FOLDER_ACCESS},
        {false, L"C:\\", false, L"C:", FILEOPER_ERR_SYSTEM_CRITICAL},
        {false, kPlainRoot, false, L"r:", FILEOPER_ERR_SYSTEM_CRITICAL},
        {true, kNtldrRoot, false, L"C:", FILEOPER_ERR_SYSTEM_CRITICAL},
        {false, wide4094, false, L"C:", FILEOPER_ERR_PATH_TOO_LONG},
        {false, wide4094.substr(1), false, L"C:", FILEOPER_ERR_FOLDER_ACCESS},
        {true, narrow260, false, L"C:", FILEOPER_ERR_PATH_TOO_LONG},
        {true, narrow260.substr(1), false, L"C:", FILEOPER_ERR_FOLDER_ACCESS},
        {false, missing, true, L"C:", FILEOPER_ERR_FOLDER_ACCESS},
        {false, L"C:\\", true, L"C:", FILEOPER_ERR_SYSTEM_CRITICAL},
        {false, std::wstring(4094, L'x'), true, L"C:", FILEOPER_ERR_PATH_TOO_LONG},
        {false, folder, true, L"C:", FILEOPER_ERR_INVALID_PARAMETER},
        {true, folder, true, L"C:", FILEOPER_ERR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.narrow ? "8-bit " : "wide ") << Narrow(c.path).substr(0, 80));
        SystemDrive drive(c.systemDrive);
        ENCRYPT_INFO info = FileDescriptor();
        if (c.badSize) info.size = 0;
        EXPECT_EQ(Encrypt(c.narrow, c.path, &info), FALSE);
        EXPECT_EQ(GetOperErrorCode(), c.code);
        EXPECT_EQ(info.flags, 0u);
    }
    EXPECT_EQ(EncryptFolderW(folder.c_str(), nullptr), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_INVALID_PARAMETER);
    EXPECT_TRUE(PathsSet().empty());
}

// A refusal of the driver is code 10 with the folder flag set; no memory for
// the working copy is code 21 with nothing asked; the next success is code 0.
TEST_F(EncryptFolder, FailuresAfterThePathChecks) {
    store.SetSwitch(L"refuse-set.txt", Utf8(folder) + "\n");
    ENCRYPT_INFO info = FileDescriptor();
    EXPECT_EQ(EncryptFolderW(folder.c_str(), &info), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_ENCRYPT_INFO);
    EXPECT_EQ(info.flags, ENCRYPT_INFO_FOLDER);
    EXPECT_FALSE(DevIoIsEncryptedW(folder.c_str(), 0));
    store.RemoveSwitch(L"refuse-set.txt");
    store.RecordCalls();
    {
        fault::Hook<decltype(&HeapAlloc)> alloc(Library(), "KERNEL32.dll", "HeapAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
        alloc.trigger.Arm(1);
        EXPECT_EQ(EncryptFolderW(folder.c_str(), &info), FALSE);
    }
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_OUT_OF_MEMORY);
    EXPECT_TRUE(PathsSet().empty());
    EXPECT_EQ(EncryptFolderW(folder.c_str(), &info), TRUE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_OK);
}

}  // namespace
