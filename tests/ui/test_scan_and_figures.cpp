// The preparation scan's counts, the counters, the overall position and the
// clock the refresh thread draws from them, and the run state that Pause writes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "operation/operation_state.h"
#include "tests/support/iat_patch.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/scan_run.h"
#include "ui/check_thread.h"
#include "ui/progress_figures.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFileBytes;

bool MakeTree(const TempDir& dir, const std::vector<std::wstring>& files, size_t size) {
    bool made = true;
    for (const std::wstring& file : files) {
        for (size_t slash = file.find(L'\\'); slash != std::wstring::npos; slash = file.find(L'\\', slash + 1))
            CreateDirectoryW((dir / file.substr(0, slash)).c_str(), nullptr);
        made = WriteFileBytes(dir / file, std::string(size ? size : std::stoul(file), 'x')) && made;
    }
    return made;
}

TEST(PreparationScan, CountsEntriesAndRoundedBytes) {
    TempDir dir;
    ASSERT_TRUE(MakeTree(dir, {L"1", L"8191", L"8192", L"8193"}, 0));
    ASSERT_TRUE(MakeTree(dir, {L"F\\a", L"F\\b", L"F\\S\\c", L"D\\.a", L"D\\..b", L"D\\.git\\x"}, 1));
    const struct {
        const char* name;
        uint32_t flags;
        std::vector<std::wstring> items;  // names below the test folder
        uint32_t runState, fileTotal;
        uint64_t bytes;
    } cases[] = {
        {"sizes round up to 8 KiB", 0, {L"1", L"8191", L"8192", L"8193"}, oper::kRunning, 4, 40960},
        {"a folder: itself, its entries, their entries", 0, {L"F"}, oper::kRunning, 5, 3 * 8192},
        {"no descent", FILEOPER_FLAG_NO_DESCENT, {L"F"}, oper::kRunning, 1, 0},
        {"names beginning with a dot are ordinary names", 0, {L"D"}, oper::kRunning, 5, 3 * 8192},
        {"a missing item", 0, {L"missing"}, oper::kRunning, 1, 0},
        {"a list that ends early", 0, {L"1", L"", L"8193"}, oper::kRunning, 3, 8192},
        {"cancelled", 0, {L"F", L"1"}, oper::kCancelRequested, 2, 0},
        {"finished", 0, {L"F", L"1"}, oper::kFinished, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> items;
        for (const std::wstring& item : c.items) items.push_back(item.empty() ? item : dir / item);
        const ui_test::ScanEnd end = ui_test::Scan(0, c.flags, items, c.runState);
        EXPECT_EQ(std::make_pair(end.fileTotal, end.totalBytes), std::make_pair(c.fileTotal, c.bytes));
    }
}

TEST(OverallPosition, FollowsTheByteCountersInUnsigned64BitArithmetic) {
    const struct {
        const char* name;
        uint64_t total, completed, itemSize;
        uint32_t percent, reverse, expected;
    } cases[] = {
        {"total unknown", ~0ull, 1 << 20, 8192, 50, 0, 0},
        {"nothing to count", 0, 0, 0, 0, 0, 0},
        {"half done", 1 << 20, 1 << 19, 0, 0, 0, 100},
        {"inside an item", 1 << 20, 0, 1 << 19, 50, 0, 50},
        {"undo counts the item down", 1000, 0, 1000, 30, 1, 140},
        {"beyond the total", 1000, 2000, 0, 0, 0, 400},
        {"truncating divisions in order", 3, 1, 1, 99, 0, 66},
    };
    for (const auto& c : cases) {
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

// The elapsed time and, through it, the estimate stand still while paused;
// a cancel that ends a pause starts the clock again.
TEST(RunClock, StandsStillWhilePausedAndLeavesEveryPauseOut) {
    const struct {
        int64_t now;
        bool paused;
        int64_t active;
    } steps[] = {
        {1000, false, 0}, {1007, false, 7}, {1008, true, 8},  {1060, true, 8},  {1070, false, 8},
        {1075, false, 13}, {1080, true, 18}, {1090, true, 18}, {1100, false, 18}, {1101, false, 19},
    };
    oper::RunClock clock;
    clock.Start(1000);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.now);
        const int64_t active = clock.ActiveSeconds(step.now, step.paused);
        EXPECT_EQ(active, step.active);
        EXPECT_EQ(oper::SecondsLeft(50, active), 3 * step.active);
    }
    EXPECT_EQ(oper::SecondsLeft(1, int64_t{1} << 40), INT32_MIN);
}

// With the worker held at its start, the refresh thread draws what the scan
// counted (items reached before items in all, and no error yet), and Pause
// and Resume write the run state and nothing else.
TEST(RunControl, CountersShowTheScanAndPauseAndResumeWriteTheRunState) {
    testing_support::StandinStore store;
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"a.txt", "one") && WriteFileBytes(dir / L"b.txt", "two"));
    bool drawn = false;
    std::vector<uint32_t> states;
    const auto user = [&](HWND dialog, ui_test::RunGate&) {
        drawn = ui::WaitForText(dialog, 1012, L"0/2") && ui::WaitForText(dialog, 1013, L"0");
        for (const wchar_t* label : {L"Paused", L"Encrypting", L"Paused", L"Encrypting"}) {
            ui::Click(dialog, 1000);
            ui::WaitForText(dialog, 1003, label);
            states.push_back(uint32_t{oper::g_state.runState});
        }
    };
    const ui_test::RunEnd end = ui_test::RunHeld({ui_test::RunGate::kWorkerStart},
        ui_test::Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"a.txt", dir / L"b.txt"}), user);
    EXPECT_TRUE(drawn);
    EXPECT_EQ(states, std::vector<uint32_t>({oper::kPaused, oper::kRunning, oper::kPaused, oper::kRunning}));
    EXPECT_EQ(end.Low(6), oper::kFinished);
    EXPECT_EQ(end.High(2), 2u);
}

uint64_t g_bytesAtWorkerStart, g_filesAtWorkerStart;
uint32_t WINAPI NoteCountsAtWorkerStart() {
    g_bytesAtWorkerStart = oper::g_state.totalBytes;
    g_filesAtWorkerStart = oper::g_state.fileTotal;
    return 0;
}

// An in-place encryption holds each file for a moment under a temporary name
// alone: the worker starts only once the scan has counted the user's entries
// (dot names too), so a run without errors ends at n of n.
TEST(PreparationScan, CountsBeforeTheWorkerStartsSoARunWithoutErrorsEndsAtNofN) {
    testing_support::StandinStore store;
    TempDir dir;
    ASSERT_TRUE(MakeTree(dir, {L"F\\a", L"F\\.b", L"F\\S\\c", L"F\\S\\.d"}, 10000));
    g_bytesAtWorkerStart = g_filesAtWorkerStart = 0;
    const fault::ImportPatch patch(GetModuleHandleW(nullptr), "TzRtl.dll", WORD(1100), &NoteCountsAtWorkerStart);
    const ui_test::RunEnd end =
        ui_test::RunWithUser(ui_test::Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"F"}), [] {});
    // Bytes and entries at the worker's start; items reached, of all, with errors; bytes done of all.
    EXPECT_EQ((std::vector<uint64_t>{g_bytesAtWorkerStart, g_filesAtWorkerStart, end.Low(2), end.High(2), end.High(6),
                                     end.results[0] - end.results[1]}),
              (std::vector<uint64_t>{4 * 16384, 6, 6, 6, 0, 0}));
}

}  // namespace
