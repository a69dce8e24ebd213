// The module error state and the test-create functions, through the library
// as a host loads it.
#include <gtest/gtest.h>
#include <windows.h>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

using testing_support::FileExists;
using testing_support::LongestPathIn;
using testing_support::MakeDeepPath;
using testing_support::Narrow;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

// Declared first: gtest runs a file's tests in order, and this one needs the
// library as loaded, before any call.
TEST(ErrorState, IsZeroInAFreshlyLoadedLibrary) { EXPECT_EQ(GetOperErrorCode(), 0u); }

TEST(TestCreate, TruncatesAnExistingFileAndReportsSuccess) {
    TempDir dir;
    const std::wstring file = dir / L"existing.txt";
    ASSERT_TRUE(WriteFileBytes(file, "some content"));
    EXPECT_EQ(TestCreateFileW(file.c_str()), TRUE);
    EXPECT_EQ(ReadFileBytes(file), "");

    ASSERT_TRUE(WriteFileBytes(file, "again"));
    EXPECT_EQ(TestCreateFileA(Narrow(file).c_str()), TRUE);
    EXPECT_EQ(ReadFileBytes(file), "");
}

TEST(TestCreate, CreatesANewFileThatIsNotHeldOpen) {
    TempDir dir;
    const std::wstring file = dir / L"new.txt";
    ASSERT_EQ(TestCreateFileW(file.c_str()), TRUE);
    EXPECT_TRUE(DeleteFileW(file.c_str())) << "handle left open: " << GetLastError();
}

// A failure of these two is the host's to interpret: neither writes the
// module error state.
TEST(TestCreate, FailureInAMissingFolderLeavesTheErrorStateUntouched) {
    TempDir dir;
    const uint32_t before = GetOperErrorCode();
    const std::wstring path = dir / L"missing\\x.txt";
    EXPECT_EQ(TestCreateFileW(path.c_str()), FALSE);
    EXPECT_EQ(TestCreateFileA(Narrow(path).c_str()), FALSE);
    EXPECT_EQ(GetOperErrorCode(), before);
    EXPECT_FALSE(FileExists(path));
}

TEST(TestCreate, WideFormWorksForPathsOfAnyLength) {
    TempDir dir;
    for (size_t length : {size_t{300}, size_t{1000}, LongestPathIn(dir.path(), 4000)}) {
        const std::wstring file = MakeDeepPath(dir.path(), length);
        ASSERT_EQ(file.size(), length);
        EXPECT_EQ(TestCreateFileW(file.c_str()), TRUE) << length;
        EXPECT_TRUE(FileExists(file)) << length;
    }
}

TEST(TestCreate, WideFormReportsOutOfMemoryWhenTheLongFormCannotBeBuilt) {
    TempDir dir;
    const std::wstring file = dir / L"never.txt";
    {
        fault::ImportPatch patch(Library(), "KERNEL32.dll", "HeapAlloc", reinterpret_cast<const void*>(&fault::FailingHeapAlloc));
        ASSERT_TRUE(patch.active());
        fault::g_heapAllocFailure.Arm(1);
        EXPECT_EQ(TestCreateFileW(file.c_str()), FALSE);
        fault::g_heapAllocFailure.Disarm();
    }
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_OUT_OF_MEMORY);
    EXPECT_FALSE(FileExists(file));
}

}  // namespace
