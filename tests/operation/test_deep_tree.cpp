// A tree of paths near 4,000 characters, 390 folders deep, is encrypted,
// undone and moved away on the worker's default stack. (Under Wine a file
// call costs time in proportion to the folders in its path, so a 2,000-deep
// tree would take minutes. A level of the walk takes some 224 bytes of
// stack: 2,000 levels take under half a MiB.)
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/operation/run_request.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace testing_support;

constexpr size_t kLevels = 390;
constexpr wchar_t kLevelName[] = L"\\ddddddddd";  // 10 characters a level

std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

TEST(DeepTree, IsEncryptedUndoneAndRemoved) {
    StandinStore store;
    FilterModel filter;
    TempDir dir;
    const std::wstring top = dir / L"t";
    std::wstring deepest = top;
    ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
    // As deep as the Unix path limit leaves room for, with the library's
    // temporary names and the destination's extra characters.
    const size_t levels = (std::min)(kLevels, (LongestPathIn(dir.path(), 4000) - top.size() - 48) / 10);
    for (size_t i = 0; i < levels; ++i) {
        deepest += kLevelName;
        ASSERT_TRUE(CreateDirectoryW(Long(deepest).c_str(), nullptr)) << i;
    }
    ASSERT_GT(deepest.size(), 3700u);
    ASSERT_TRUE(WriteFileBytes(Long(deepest + L"\\x"), "deep"));

    // The missing second item fails, and the preset Undo reverses the tree.
    const RunOutcome undone = RunOperation(0, FILEOPER_CHOICE_UNDO, {top, dir / L"missing"});
    EXPECT_EQ(undone.ErrorCount(), 1u);
    EXPECT_EQ(undone.FilesDone(), 0u);
    EXPECT_FALSE(IsMarked(top));
    EXPECT_FALSE(IsMarked(Long(deepest)));
    EXPECT_FALSE(IsMarked(Long(deepest + L"\\x")));

    // The destination's name is as long as the source's: every path fits.
    const std::wstring moved = dir / L"m";
    ASSERT_TRUE(CreateDirectoryW(moved.c_str(), nullptr));
    const RunOutcome move = RunOperation(0, FILEOPER_CHOICE_STOP | FILEOPER_FLAG_MOVE, {top}, moved);
    EXPECT_EQ(move.ErrorCount(), 0u);
    EXPECT_FALSE(FileExists(top));
    const std::wstring arrived = moved + L"\\t" + deepest.substr(top.size()) + L"\\x";
    EXPECT_EQ(ReadFileBytes(Long(arrived)), Scramble("deep"));
    EXPECT_TRUE(IsMarked(Long(arrived)));
}

}  // namespace
