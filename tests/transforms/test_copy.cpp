// The exported copy with progress and cancel, through the library as a host
// loads it; faults are injected at the library's imports.
#include <gtest/gtest.h>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

uint64_t LastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Opens a file as another program would, letting others read and write it.
HANDLE OpenShared(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

class CopyTest : public ::testing::Test {
protected:
    TempDir dir;
    std::wstring source = dir / L"source.bin";
    std::wstring destination = dir / L"destination.bin";
    uint32_t state = FILEOPER_STATE_RUNNING;
    uint32_t percent = 777;

    BOOL Copy() { return CopyFileWithProgressW(source.c_str(), destination.c_str(), &state, &percent); }
};

TEST_F(CopyTest, CopiesContentTimesAndAttributes) {
    const std::string data = Pattern(200000);
    ASSERT_TRUE(WriteFileBytes(source, data));
    HANDLE h = OpenShared(source, FILE_WRITE_ATTRIBUTES);
    const FILETIME old = {0x12345600u, 0x01C00000u};  // some day in 1999
    SetFileTime(h, nullptr, nullptr, &old);
    CloseHandle(h);
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);
    percent = 0;
    EXPECT_EQ(Copy(), TRUE);
    EXPECT_EQ(GetOperErrorCode(), 0u);
    EXPECT_EQ(ReadFileBytes(destination), data);
    EXPECT_EQ(LastWriteTime(destination), LastWriteTime(source));
    EXPECT_TRUE(GetFileAttributesW(destination.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(percent, 100u);
}

// An existing destination ends with exactly the source's bytes, however
// long it was; an empty source leaves the percentage alone. The 8-bit form
// copies the same (long paths go through it in the encryption tests).
TEST_F(CopyTest, ExistingDestinationEndsWithTheSourcesExactContent) {
    for (size_t size : {size_t{0}, size_t{70000}}) {
        const std::string data = Pattern(size);
        ASSERT_TRUE(WriteFileBytes(source, data));
        ASSERT_TRUE(WriteFileBytes(destination, Pattern(300000)));
        percent = 777;
        EXPECT_EQ(size ? CopyFileWithProgressA(Narrow(source).c_str(), Narrow(destination).c_str(), &state, &percent)
                       : Copy(),
                  TRUE);
        EXPECT_EQ(GetOperErrorCode(), 0u);
        EXPECT_EQ(ReadFileBytes(destination), data);
        EXPECT_EQ(percent, size ? 100u : 777u);
    }
    // Without a percentage and while paused the copy runs the same.
    state = FILEOPER_STATE_PAUSED;
    EXPECT_EQ(CopyFileWithProgressW(source.c_str(), destination.c_str(), &state, nullptr), TRUE);
    EXPECT_EQ(ReadFileBytes(destination), Pattern(70000));
}

TEST_F(CopyTest, CancelBeforeTheFirstChunkIsASuccessWithAnEmptyDestination) {
    ASSERT_TRUE(WriteFileBytes(source, Pattern(100000)));
    ASSERT_TRUE(WriteFileBytes(destination, Pattern(5000)));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_HIDDEN);
    state = FILEOPER_STATE_CANCEL;
    EXPECT_EQ(Copy(), TRUE);
    EXPECT_EQ(GetOperErrorCode(), 0u);
    EXPECT_EQ(ReadFileBytes(destination), "");
    EXPECT_TRUE(GetFileAttributesW(destination.c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

// A destination that cannot be opened: code 2 and the destination as it was;
// a missing source: code 1.
TEST_F(CopyTest, UnopenableFilesGiveTheirCodesAndChangeNothing) {
    EXPECT_EQ(Copy(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_GET_ATTRIBUTES);
    EXPECT_FALSE(FileExists(destination));

    ASSERT_TRUE(WriteFileBytes(source, Pattern(1000)));
    ASSERT_TRUE(WriteFileBytes(destination, "read-only"));
    SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Copy(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_OPEN_FILE);
    EXPECT_EQ(ReadFileBytes(destination), "read-only");
    SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// --- Faults injected at the library's imports ---------------------------

TEST_F(CopyTest, ReportsTruncatedSinglePrecisionPercentagesPerChunk) {
    const std::string data = Pattern(65536 * 3 + 1);
    ASSERT_TRUE(WriteFileBytes(source, data));
    std::vector<uint32_t> percentAtWrite;
    fault::Hook<decltype(&WriteFile)> write(Library(), "KERNEL32.dll", "WriteFile");
    write.before = [&](auto...) { percentAtWrite.push_back(percent); };
    percent = 0;
    EXPECT_EQ(Copy(), TRUE);
    // What each write saw is what the chunk before it reported.
    EXPECT_EQ(percentAtWrite, (std::vector<uint32_t>{0, 33, 66, 99}));
    EXPECT_EQ(percent, 100u);
    EXPECT_EQ(ReadFileBytes(destination), data);
}

TEST_F(CopyTest, FailedWriteGivesCode3AndDeletesTheDestination) {
    ASSERT_TRUE(WriteFileBytes(source, Pattern(65536 * 4)));
    fault::Hook<decltype(&WriteFile)> write(Library(), "KERNEL32.dll", "WriteFile", FALSE, ERROR_DISK_FULL);
    write.trigger.Arm(3);
    EXPECT_EQ(Copy(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_READ_WRITE);
    EXPECT_FALSE(FileExists(destination));
    EXPECT_TRUE(FileExists(source));
}

TEST_F(CopyTest, CancelDuringTheCopyKeepsTheChunksCopiedSoFar) {
    const std::string data = Pattern(65536 * 5);
    ASSERT_TRUE(WriteFileBytes(source, data));
    fault::Hook<decltype(&ReadFile)> read(Library(), "KERNEL32.dll", "ReadFile");
    read.before = [&](auto...) {
        if (read.calls == 2) state = FILEOPER_STATE_CANCEL;
    };
    EXPECT_EQ(Copy(), TRUE);
    EXPECT_EQ(GetOperErrorCode(), 0u);
    EXPECT_EQ(ReadFileBytes(destination), data.substr(0, 65536 * 2));
}

// From the second read on, reads find nothing, as if the file had been cut
// behind the copy's back.
BOOL WINAPI ShortReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    static int reads = 0;
    if (++reads >= 2) return *got = 0, TRUE;
    return fault::Real(&ReadFile, "kernel32.dll", "ReadFile")(h, buffer, size, got, overlapped);
}

TEST_F(CopyTest, SourceThatShrinksDuringTheCopyEndsAsAFailureInsteadOfLooping) {
    ASSERT_TRUE(WriteFileBytes(source, Pattern(65536 * 3)));
    fault::ImportPatch patch(Library(), "KERNEL32.dll", "ReadFile", reinterpret_cast<const void*>(&ShortReadFile));
    EXPECT_EQ(Copy(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_READ_WRITE);
    EXPECT_FALSE(FileExists(destination));
}

TEST_F(CopyTest, SourceThatGrowsEndsAtTheFirstChunkPastTheSizeMeasuredAtTheStart) {
    const std::string data = Pattern(100000);
    ASSERT_TRUE(WriteFileBytes(source, data));
    fault::Hook<decltype(&ReadFile)> read(Library(), "KERNEL32.dll", "ReadFile");
    read.before = [&](auto...) {
        if (read.calls != 1) return;
        HANDLE other = OpenShared(source, FILE_APPEND_DATA);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(other, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
        CloseHandle(other);
    };
    EXPECT_EQ(Copy(), TRUE);
    // Two chunks: 65536 < 100000, then 131072 passes it.
    EXPECT_EQ(ReadFileBytes(destination), (data + data).substr(0, 131072));
    EXPECT_EQ(percent, 131u);
}

}  // namespace
