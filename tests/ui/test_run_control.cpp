// Pause, resume and cancel as the user presses them, the counters, and runs
// whose threads cannot be started: every path ends the run, none hangs. (The
// tabs and the detail toggle are pressed in the run screenshots.)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/filter_model.h"
#include "tests/support/iat_patch.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/ui_run.h"

namespace {

using namespace ui_test;

constexpr int kPause = 1000;
constexpr int kOperation = 1003;

std::wstring Seen(HWND dialog) {
    return ui::ControlText(dialog, kOperation) + L" | " + ui::ControlText(dialog, kPause);
}

// Answers the cancel question; what it asked, and what the label showed
// while it was open.
std::wstring AnswerCancel(HWND dialog, int answer) {
    ui::Click(dialog, IDCANCEL);
    const HWND box = ui::WaitForMessageBox(kCaption);
    if (!box) return L"no question";
    const std::wstring asked = ui::MessageBoxText(box) + L" | " + ui::ControlText(dialog, kOperation);
    ui::MarkHandled(box);
    ui::Click(box, answer);
    ui::WaitUntilGone(box);
    return asked;
}

// A one-file encryption with the worker held at its first act and the
// refresh thread at its first wait: `user` plays on the dialog, then both go.
RunEnd RunHeldAtStart(const std::function<void(HWND, RunGate&)>& user) {
    testing_support::TempDir dir;
    EXPECT_TRUE(testing_support::WriteFileBytes(dir / L"a.txt", "plain"));
    return RunHeld({RunGate::kWorkerStart, RunGate::kRefresh}, Request(0, 0, {dir / L"a.txt"}), user);
}

enum Action { kPressPause, kCancelNo, kCancelYes, kLetTheWorkerRun };

struct Step {
    Action action;
    std::wstring seen;  // the operation label and the Pause button afterwards
};

struct ControlCase {
    const char* name;
    std::vector<Step> steps;
    bool canceled;
};

TEST(RunControl, PauseResumeAndCancelAsTheUserPressesThem) {
    const ControlCase cases[] = {
        {"pause, resume", {{kPressPause, L"Paused | Re&sume"}, {kPressPause, L"Encrypting | &Pause"}}, false},
        {"cancel, no while running", {{kCancelNo, L"Encrypting | &Pause"}}, false},
        {"cancel, no while paused", {{kPressPause, L"Paused | Re&sume"}, {kCancelNo, L"Encrypting | &Pause"}}, false},
        {"cancel, yes while paused",
         {{kPressPause, L"Paused | Re&sume"},
          {kCancelYes, L"Paused | &Pause"},
          {kLetTheWorkerRun, L"Finished | &Pause"}},
         true},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> seen, expected, asked;
        std::vector<ui::ListRow> rows;
        const RunEnd end = RunHeldAtStart([&](HWND dialog, RunGate& worker) {
            for (const Step& step : c.steps) {
                if (step.action == kPressPause) ui::Click(dialog, kPause);
                if (step.action == kCancelNo || step.action == kCancelYes)
                    asked.push_back(AnswerCancel(dialog, step.action == kCancelYes ? IDYES : IDNO));
                if (step.action == kLetTheWorkerRun) worker.Open();
                const size_t bar = step.seen.find(L" | ");
                ui::WaitForText(dialog, kOperation, step.seen.substr(0, bar));
                ui::WaitForText(dialog, kPause, step.seen.substr(bar + 3));
                seen.push_back(Seen(dialog));
                expected.push_back(step.seen);
            }
            worker.Open();
            if (ui::WaitForText(dialog, kOperation, L"Finished")) rows = ui::ListRows(dialog, kStatusList);
        });
        EXPECT_EQ(seen, expected);
        for (const std::wstring& text : asked)
            EXPECT_EQ(text, L"The operating is not finished, are you sure to exit? | Paused");
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back().item == L"Canceled", c.canceled);
    }
}

// After a cancel request the user presses Cancel again, and the worker
// finishes while that question is open: whatever the answer, the finished
// run stays finished, the Pause button (disabled) is left alone, and the run
// closes.
TEST(RunControl, ASecondCancelAnsweredAfterTheWorkerFinishedChangesNothing) {
    for (const int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDYES ? "yes" : "no");
        std::wstring afterwards;
        bool pauseEnabled = true;
        const RunEnd end = RunHeldAtStart([&](HWND dialog, RunGate& worker) {
            AnswerCancel(dialog, IDYES);
            ui::WaitForText(dialog, kPause, L"&Pause");
            ui::Click(dialog, IDCANCEL);
            const HWND box = ui::WaitForMessageBox(kCaption);
            worker.Open();
            ui::WaitForText(dialog, kOperation, L"Finished");
            if (box) {
                ui::MarkHandled(box);
                ui::Click(box, answer);
                ui::WaitUntilGone(box);
            }
            afterwards = Seen(dialog);
            pauseEnabled = ui::IsEnabled(dialog, kPause);
        });
        EXPECT_EQ(afterwards, L"Finished | &Pause");
        EXPECT_FALSE(pauseEnabled);
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
    }
}

// With the worker held at its start, the refresh thread draws what the scan
// counted: items reached before items in all, and no error yet.
TEST(RunControl, CountersShowItemsReachedOfAllAndTheErrors) {
    testing_support::TempDir dir;
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"a.txt", "one"));
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"b.txt", "two"));
    bool drawn = false;
    RunHeld({RunGate::kWorkerStart}, Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"a.txt", dir / L"b.txt"}),
            [&](HWND dialog, RunGate&) {
                drawn = ui::WaitForText(dialog, 1012, L"0/2") && ui::WaitForText(dialog, 1013, L"0");
            });
    EXPECT_TRUE(drawn);
}

// A lock that the worker holds inside its first write of a file and that
// the dialog's thread needs while it pauses the run (in life: the heap's or
// the loader's). A worker stopped from outside would keep it for as long as
// the pause lasts.
struct WriteLock {
    DWORD dialogThread = GetCurrentThreadId();
    HANDLE free = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE wanted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile LONG taken = 0;
    volatile LONG asked = 0;
    bool dialogBlocked = false;
    ~WriteLock() {
        for (HANDLE event : {free, held, wanted}) CloseHandle(event);
    }
    void WorkerWrites() {
        if (GetCurrentThreadId() == dialogThread || InterlockedExchange(&taken, 1)) return;
        ResetEvent(free);
        SetEvent(held);
        WaitForSingleObject(wanted, ui::kWaitLimitMs);
        SetEvent(free);
    }
    void DialogNeedsIt() {
        if (GetCurrentThreadId() != dialogThread || WaitForSingleObject(held, 0) || InterlockedExchange(&asked, 1))
            return;
        SetEvent(wanted);
        dialogBlocked = WaitForSingleObject(free, ui::kWaitLimitMs) != WAIT_OBJECT_0;
    }
};

// Pause pressed while the worker is inside a write: the dialog goes on at
// once, the worker holds at its next chunk, and Resume or a Cancel during the
// pause lets it go.
TEST(RunControl, PauseHoldsTheWorkerBetweenChunksNeverInsideACall) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "resume");
        testing_support::StandinStore store;
        testing_support::TempDir dir;
        ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"big.bin", std::string(3 << 19, 'x')));
        WriteLock lock;
        const HMODULE library = GetModuleHandleW(L"fileoper.dll");
        fault::Hook<decltype(&WriteFile)> write(library, "KERNEL32.dll", "WriteFile");
        write.before = [&](HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { lock.WorkerWrites(); };
        fault::Hook<decltype(&SetDlgItemTextW)> text(library, "USER32.dll", "SetDlgItemTextW");
        text.before = [&](HWND, int, LPCWSTR) { lock.DialogNeedsIt(); };
        std::wstring paused;
        const RunEnd end = RunWithUser(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"big.bin"}), [&] {
            const HWND dialog = WaitForSingleObject(lock.held, ui::kWaitLimitMs) == WAIT_OBJECT_0
                                    ? ui::WaitForDialog(kCaption, kStatusList)
                                    : nullptr;
            ui::Click(dialog, kPause);
            ui::WaitForText(dialog, kOperation, L"Paused");
            paused = Seen(dialog);
            if (cancel)
                AnswerCancel(dialog, IDYES);
            else
                ui::Click(dialog, kPause);
        });
        EXPECT_FALSE(lock.dialogBlocked);
        EXPECT_EQ(paused, L"Paused | Re&sume");
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
        EXPECT_EQ(testing_support::IsMarked(dir / L"big.bin"), !cancel);
    }
}

struct SecondCall {
    std::vector<uint32_t> block;
    uint64_t results[FILEOPER_RESULT_SLOTS] = {};
    uint32_t returned = 0;
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~SecondCall() { CloseHandle(done); }
    void Make() {
        returned = ShowOperationStatus(docman::AsRequest(block), results);
        SetEvent(done);
    }
};
SecondCall* g_second = nullptr;

void CALLBACK MakeSecondCall(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_second->Make();
}

// A host with two windows, or a window procedure re-entered from the
// dialog's own message loop, calls again while a run is on: the call is
// refused at once, runs nothing and leaves the run alone.
TEST(RunControl, ASecondCallDuringARunRunsNothingAndLeavesTheRunAlone) {
    for (const bool fromDialogThread : {false, true}) {
        SCOPED_TRACE(fromDialogThread ? "re-entered on the dialog's thread" : "from another thread");
        testing_support::StandinStore store;
        testing_support::TempDir dir;
        for (const wchar_t* name : {L"a.txt", L"x.txt", L"y.txt"})
            ASSERT_TRUE(testing_support::WriteFileBytes(dir / name, "plain"));
        SecondCall second;
        second.block =
            docman::BuildRequestBlock(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"x.txt", dir / L"y.txt"}));
        g_second = &second;
        if (fromDialogThread) SetTimer(nullptr, 0, 10, &MakeSecondCall);
        // A missing item keeps the first run on screen, on its error list.
        const RunEnd end =
            RunWithUser(Request(0, FILEOPER_CHOICE_CONTINUE, {dir / L"a.txt", dir / L"missing"}), [&] {
                const HWND dialog = ui::WaitForDialog(kCaption, kStatusList);
                ui::WaitForText(dialog, IDCANCEL, L"&Close");
                if (!fromDialogThread) second.Make();
                WaitForSingleObject(second.done, ui::kWaitLimitMs);
                ui::Click(dialog, IDCANCEL);
            });
        EXPECT_EQ(second.returned, FILEOPER_ERR_RUN_IN_PROGRESS);
        const uint64_t nothingDone[FILEOPER_RESULT_SLOTS] = {
            0, 0, 2, 0, 0, reinterpret_cast<uintptr_t>(docman::AsRequest(second.block)), 0, 0, 0};
        EXPECT_TRUE(std::equal(std::begin(second.results), std::end(second.results), nothingDone));
        EXPECT_FALSE(testing_support::IsMarked(dir / L"x.txt") || testing_support::IsMarked(dir / L"y.txt"));
        EXPECT_TRUE(testing_support::IsMarked(dir / L"a.txt"));
        EXPECT_EQ(end.results[2], (uint64_t{2} << 32) | 2);
        EXPECT_EQ(end.High(6), 1u);
    }
}

struct StartFailure {
    const char* name;
    int failingCall;  // 1 the scan, 2 the worker, 3 the refresh thread
    std::wstring message;
    uint32_t filesDone;
};

TEST(RunControl, AThreadThatCannotStartStillLetsTheRunEnd) {
    const StartFailure cases[] = {
        {"scan", 1, L"CreateThread failed.", 1},
        {"worker", 2, L"Error! Begin Thread Error", 0},
        {"refresh", 3, L"Error! Begin Thread Error", 1},
    };
    for (const StartFailure& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempDir dir;
        ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"a.txt", "plain"));
        fault::Hook<decltype(&CreateThread)> thread(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "CreateThread",
                                                    nullptr, ERROR_NOT_ENOUGH_MEMORY);
        thread.trigger.Arm(c.failingCall);
        std::wstring shown;
        const RunEnd end = RunWithUser(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"a.txt"}), [&] {
            const HWND box = ui::WaitForMessageBox(kCaption);
            if (!box) return;
            shown = ui::MessageBoxText(box);
            ui::Click(box, IDOK);
        });
        EXPECT_EQ(shown, c.message);
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
        EXPECT_EQ(end.High(2), c.filesDone);
    }
}

}  // namespace
