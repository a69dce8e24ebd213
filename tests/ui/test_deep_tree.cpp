// The scan keeps no path on the stack per level of a folder tree: a tree
// 2,000 folders deep, with paths near 4,000 characters, fits the 1 MiB stack
// a host's threads get by default. (Wine lists such a tree slowly: this test
// takes about two minutes and has an executable of its own.)
#include <gtest/gtest.h>
#include <windows.h>

#include "operation/operation_state.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/scan_run.h"

namespace {

// The tree (build/ui-deep-tree, made by make-deep-tree): d\d\...\d, 2,000
// folders, and one file at the bottom.
TEST(PreparationScan, WalksATwoThousandFolderDeepTreeOnADefaultStack) {
    const std::wstring bin = testing_support::BinDir();
    const std::wstring top = bin.substr(0, bin.find_last_of(L'\\', bin.size() - 2)) + L"\\ui-deep-tree\\d";
    ASSERT_NE(GetFileAttributesW(top.c_str()), INVALID_FILE_ATTRIBUTES) << "run the ui_make_deep_tree fixture";
    const ui_test::ScanEnd end = ui_test::Scan(0, 0, {top}, oper::kRunning);
    EXPECT_EQ(end.fileTotal, 1u + 1999 + 1);
    EXPECT_EQ(end.totalBytes, 8192u);
}

}  // namespace
