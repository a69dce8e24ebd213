// A file in use is decrypted to a temporary file and the replacement is left
// to the next restart. Wine records the move in the registry and carries it
// out when the prefix restarts (wineboot -r), which this test does.
#include <gtest/gtest.h>

#include "fileoper.h"
#include "tests/support/filter_model.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";

std::wstring PendingRenames() {
    const auto read = [](wchar_t* into, DWORD* size) {
        return RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
                            nullptr, into, size);
    };
    DWORD size = 0;
    read(nullptr, &size);
    std::wstring value(size / sizeof(wchar_t), L'\0');
    return read(value.data(), &size) == ERROR_SUCCESS ? value : L"";
}

// Restarts the prefix's session the way Wine carries out pending moves; the
// exit code of wineboot, or the start error.
DWORD RestartWine() {
    wchar_t command[] = L"wineboot.exe -r";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return GetLastError();
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(pi.hProcess, &exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return exitCode;
}

// Short and near 4,000 characters: the pending move names both paths whole.
TEST(DecryptAfterReboot, FileInUseIsReplacedByItsPlainFormAtTheNextRestart) {
    testing_support::StandinStore store;
    FilterModel filter;
    TempDir dir;
    for (bool longPath : {false, true}) {
        SCOPED_TRACE(longPath ? "long path" : "short path");
        const std::wstring file =
            longPath ? MakeDeepPath(dir.path(), LongestPathIn(dir.path(), 4000)) : dir / L"in-use.doc";
        const std::wstring folder = file.substr(0, file.find_last_of(L'\\'));
        const std::string data = Pattern(150000);
        ASSERT_TRUE(WriteFileBytes(file, data));
        ENCRYPT_INFO info = {};
        ASSERT_EQ(BuildEncryptInfoW(nullptr, &info), TRUE);
        uint32_t state = FILEOPER_STATE_RUNNING;
        ASSERT_EQ(EncryptFileInPlaceW(file.c_str(), &info, &state, nullptr), TRUE);
        ASSERT_EQ(ReadFileBytes(file), Scramble(data));

        // Another program reads the file and lets nobody delete or replace it.
        HANDLE holder = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        ASSERT_EQ(SetOperOptions(1, 1), 1);
        EXPECT_EQ(DecryptFileInPlaceW(file.c_str(), &state, nullptr), TRUE);
        SetOperOptions(1, 0);
        EXPECT_EQ(GetOperErrorCode(), FILEOPER_REBOOT_REQUIRED);
        EXPECT_EQ(IsRebootRequired(), 1u);
        CloseHandle(holder);

        // Until then both files stay: the encrypted one at its path, the plain
        // one beside it, named in the pending moves.
        EXPECT_TRUE(IsMarked(file));
        EXPECT_EQ(ReadFileBytes(file), Scramble(data));
        std::vector<std::wstring> names = ListFolder(folder);
        ASSERT_EQ(names.size(), 2u);
        const std::wstring name = file.substr(folder.size() + 1);
        const std::wstring temp = folder + L"\\" + (names[0] == name ? names[1] : names[0]);
        EXPECT_FALSE(IsMarked(temp));
        EXPECT_EQ(ReadFileBytes(temp), data);
        EXPECT_NE(PendingRenames().find(temp), std::wstring::npos);

        ASSERT_EQ(RestartWine(), 0u);
        EXPECT_EQ(ReadFileBytes(file), data);
        EXPECT_FALSE(IsMarked(file));
        EXPECT_EQ(ListFolder(folder), std::vector<std::wstring>{name});
        EXPECT_EQ(PendingRenames().find(temp), std::wstring::npos);

        // Loading the options again clears the flag.
        LoadOperOptions("Software\\FileoperTests\\Option");
        EXPECT_EQ(IsRebootRequired(), 0u);
    }
}

}  // namespace
