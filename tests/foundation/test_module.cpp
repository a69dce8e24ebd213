// The module error state and the test-create functions, through the library
// as a host loads it.
#include <gtest/gtest.h>
#include <windows.h>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

// Declared first: gtest runs a file's tests in order, and this one needs the
// library as loaded, before any call.
TEST(ErrorState, IsZeroInAFreshlyLoadedLibrary) { EXPECT_EQ(GetOperErrorCode(), 0u); }

// An existing file is cut to nothing, a new one created, at any length of
// path for the wide form, and neither is held open.
TEST(TestCreate, CreatesOrTruncatesAndHoldsNothingOpen) {
    TempDir dir;
    const std::wstring file = dir / L"existing.txt";
    for (bool narrow : {false, true}) {
        ASSERT_TRUE(WriteFileBytes(file, "some content"));
        EXPECT_EQ(narrow ? TestCreateFileA(Narrow(file).c_str()) : TestCreateFileW(file.c_str()), TRUE);
        EXPECT_EQ(ReadFileBytes(file), "");
    }
    for (const std::wstring& created :
         {dir / L"new.txt", MakeDeepPath(dir.path(), 300), MakeDeepPath(dir.path(), LongestPathIn(dir.path(), 4000))}) {
        EXPECT_EQ(TestCreateFileW(created.c_str()), TRUE) << created.size();
        EXPECT_TRUE(DeleteFileW((L"\\\\?\\" + created).c_str())) << created.size() << ": missing or held open";
    }
}

// A failure in a missing folder is the host's to interpret and leaves the
// error state alone; no memory for the long form is code 21.
TEST(TestCreate, FailuresCreateNothing) {
    TempDir dir;
    const uint32_t before = GetOperErrorCode();
    const std::wstring path = dir / L"missing\\x.txt", file = dir / L"never.txt";
    EXPECT_EQ(TestCreateFileW(path.c_str()), FALSE);
    EXPECT_EQ(TestCreateFileA(Narrow(path).c_str()), FALSE);
    EXPECT_EQ(GetOperErrorCode(), before);
    EXPECT_FALSE(FileExists(path));
    {
        fault::Hook<decltype(&HeapAlloc)> alloc(Library(), "KERNEL32.dll", "HeapAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY);
        alloc.trigger.Arm(1);
        EXPECT_EQ(TestCreateFileW(file.c_str()), FALSE);
    }
    EXPECT_EQ(GetOperErrorCode(), FILEOPER_ERR_OUT_OF_MEMORY);
    EXPECT_FALSE(FileExists(file));
}

}  // namespace
