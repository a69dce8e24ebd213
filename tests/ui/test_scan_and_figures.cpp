// The preparation scan's counts, the overall position and the clock the
// refresh thread draws from them, and the run state that Pause writes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
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
    CreateDirectoryW((dir / L"D").c_str(), nullptr);
    CreateDirectoryW((dir / L"D\\.git").c_str(), nullptr);
    for (const wchar_t* name : {L"F\\a", L"F\\b", L"F\\S\\c", L"D\\.a", L"D\\..b", L"D\\.git\\x"})
        ASSERT_TRUE(WriteFileBytes(dir / name, "x"));
    const ScanCase cases[] = {
        {"sizes round up to 8 KiB", 0, {L"1", L"8191", L"8192", L"8193"}, oper::kRunning, 4, 40960},
        {"a folder: itself, its entries, their entries", 0, {L"F"}, oper::kRunning, 5, 3 * 8192},
        {"no descent", FILEOPER_FLAG_NO_DESCENT, {L"F"}, oper::kRunning, 1, 0},
        {"names beginning with a dot are ordinary names", 0, {L"D"}, oper::kRunning, 5, 3 * 8192},
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
        {"nothing to count", 0, 0, 0, 0, 0, 0},
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

struct ClockStep {
    int64_t now;
    bool paused;
    int64_t active;
};

// The elapsed time and, through it, the estimate stand still while paused;
// a cancel that ends a pause starts the clock again.
TEST(RunClock, StandsStillWhilePausedAndLeavesEveryPauseOut) {
    const ClockStep steps[] = {
        {1000, false, 0}, {1007, false, 7}, {1008, true, 8},  {1060, true, 8},  {1070, false, 8},
        {1075, false, 13}, {1080, true, 18}, {1090, true, 18}, {1100, false, 18}, {1101, false, 19},
    };
    oper::RunClock clock;
    clock.Start(1000);
    for (const ClockStep& step : steps) {
        SCOPED_TRACE(step.now);
        const int64_t active = clock.ActiveSeconds(step.now, step.paused);
        EXPECT_EQ(active, step.active);
        EXPECT_EQ(oper::SecondsLeft(50, active), 3 * step.active);
    }
    EXPECT_EQ(oper::SecondsLeft(1, int64_t{1} << 40), INT32_MIN);
}

// Pause and Resume write the run state and nothing else; the worker, held
// here at its start, is not touched.
TEST(RunControl, PauseAndResumeWriteTheRunState) {
    testing_support::StandinStore store;
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir / L"a.txt", "plain"));
    std::vector<uint32_t> states;
    const ui_test::RunEnd end = ui_test::RunHeld(
        {ui_test::RunGate::kWorkerStart}, ui_test::Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"a.txt"}),
        [&](HWND dialog, ui_test::RunGate&) {
            for (const wchar_t* label : {L"Paused", L"Encrypting", L"Paused", L"Encrypting"}) {
                ui::Click(dialog, 1000);
                ui::WaitForText(dialog, 1003, label);
                states.push_back(uint32_t{oper::g_state.runState});
            }
        });
    const std::vector<uint32_t> expected = {oper::kPaused, oper::kRunning, oper::kPaused, oper::kRunning};
    EXPECT_EQ(states, expected);
    EXPECT_EQ(end.Low(6), oper::kFinished);
    EXPECT_EQ(end.High(2), 1u);
}

struct CountsAtWorkerStart {
    uint64_t totalBytes;
    uint32_t fileTotal;
};
CountsAtWorkerStart g_atWorkerStart;

uint32_t WINAPI NoteCountsAtWorkerStart() {
    g_atWorkerStart = {oper::g_state.totalBytes, oper::g_state.fileTotal};
    return 0;
}

// An in-place encryption puts a temporary file beside each file, and for a
// moment holds the file under that name alone: the worker starts only once
// the scan has counted, so the total is the user's entries, dot names too,
// and a run without errors ends at n of n.
TEST(PreparationScan, CountsBeforeTheWorkerStartsSoARunWithoutErrorsEndsAtNofN) {
    testing_support::StandinStore store;
    TempDir dir;
    CreateDirectoryW((dir / L"F").c_str(), nullptr);
    CreateDirectoryW((dir / L"F\\S").c_str(), nullptr);
    for (const wchar_t* name : {L"F\\a", L"F\\.b", L"F\\S\\c", L"F\\S\\.d"})
        ASSERT_TRUE(WriteFileBytes(dir / name, std::string(10000, 'x')));
    g_atWorkerStart = {};
    const fault::ImportPatch patch(GetModuleHandleW(nullptr), "TzRtl.dll", WORD(1100),
                                   reinterpret_cast<const void*>(&NoteCountsAtWorkerStart));
    const ui_test::RunEnd end =
        ui_test::RunWithUser(ui_test::Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"F"}), [] {});
    EXPECT_EQ(g_atWorkerStart.totalBytes, 4u * 16384);
    EXPECT_EQ(g_atWorkerStart.fileTotal, 6u);
    EXPECT_EQ(end.Low(2), 6u);
    EXPECT_EQ(end.High(2), 6u);
    EXPECT_EQ(end.High(6), 0u);
    EXPECT_EQ(end.results[1], end.results[0]);
}

}  // namespace
