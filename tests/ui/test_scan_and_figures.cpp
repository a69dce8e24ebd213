// The preparation scan's counts and the overall position the refresh thread
// draws from them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "operation/operation_state.h"
#include "tests/support/temp_dir.h"
#include "ui/check_thread.h"
#include "tests/ui/scan_run.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFileBytes;
using ui_test::Scan;
using ui_test::ScanEnd;

struct ScanCase {
    const char* name;
    uint32_t flags;
    std::vector<std::wstring> items;  // names below the test folder
    uint32_t runState;
    uint32_t fileTotal;
    uint64_t bytes;
};

TEST(PreparationScan, CountsEntriesAndRoundedBytes) {
    TempDir dir;
    for (size_t size : {1, 8191, 8192, 8193})
        ASSERT_TRUE(WriteFileBytes(dir / std::to_wstring(size), std::string(size, 'x')));
    CreateDirectoryW((dir / L"F").c_str(), nullptr);
    CreateDirectoryW((dir / L"F\\S").c_str(), nullptr);
    for (const wchar_t* name : {L"F\\a", L"F\\b", L"F\\S\\c"}) ASSERT_TRUE(WriteFileBytes(dir / name, "x"));
    const ScanCase cases[] = {
        {"sizes round up to 8 KiB", 0, {L"1", L"8191", L"8192", L"8193"}, oper::kRunning, 4, 40960},
        {"a folder: itself, its entries, their entries", 0, {L"F"}, oper::kRunning, 5, 3 * 8192},
        {"no descent", FILEOPER_FLAG_NO_DESCENT, {L"F"}, oper::kRunning, 1, 0},
        {"a missing item", 0, {L"missing"}, oper::kRunning, 1, 0},
        {"a list that ends early", 0, {L"1", L"", L"8193"}, oper::kRunning, 3, 8192},
        {"cancelled", 0, {L"F", L"1"}, oper::kCancelRequested, 2, 0},
        {"finished", 0, {L"F", L"1"}, oper::kFinished, 2, 0},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> items;
        for (const std::wstring& item : c.items) items.push_back(item.empty() ? item : dir / item);
        const ScanEnd end = Scan(0, c.flags, items, c.runState);
        EXPECT_EQ(end.fileTotal, c.fileTotal);
        EXPECT_EQ(end.totalBytes, c.bytes);
        EXPECT_EQ(end.prepDone, 1u);
    }
}

struct PositionCase {
    const char* name;
    uint64_t total, completed, itemSize;
    uint32_t percent, reverse;
    uint32_t expected;
};

TEST(OverallPosition, FollowsTheByteCountersInUnsigned64BitArithmetic) {
    const PositionCase cases[] = {
        {"total unknown", ~0ull, 1 << 20, 8192, 50, 0, 0},
        {"nothing to count", 0, 0, 0, 0, 0},
        {"half done", 1 << 20, 1 << 19, 0, 0, 0, 100},
        {"inside an item", 1 << 20, 0, 1 << 19, 50, 0, 50},
        {"undo counts the item down", 1000, 0, 1000, 30, 1, 140},
        {"beyond the total", 1000, 2000, 0, 0, 0, 400},
        {"truncating divisions in order", 3, 1, 1, 99, 0, 66},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.name);
        oper::OperationState state = {};
        state.totalBytes = c.total;
        state.completedBytes = c.completed;
        state.currentItemSize = c.itemSize;
        state.currentItemPercent = c.percent;
        state.reverseProgress = c.reverse;
        EXPECT_EQ(oper::OverallPosition(state), c.expected);
    }
}

}  // namespace
