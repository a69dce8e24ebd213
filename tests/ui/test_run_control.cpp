// Pause, resume and cancel as the user presses them, and runs whose threads
// cannot be started: every path ends the run, none hangs. (The tabs and the
// detail toggle are pressed in the run screenshots, the counters drawn in
// test_scan_and_figures.cpp.)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
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
using testing_support::TempDir;
using testing_support::WriteFileBytes;

constexpr int kPause = 1000, kOperation = 1003;
constexpr wchar_t kFinished[] = L"Finished | &Pause (off)";

// The operation label and the Pause button, marked when disabled.
std::wstring Seen(HWND dialog) {
    return ui::ControlText(dialog, kOperation) + L" | " + ui::ControlText(dialog, kPause) +
           (ui::IsEnabled(dialog, kPause) ? L"" : L" (off)");
}

// Answers the cancel question; what it asked, and the label while it was open.
std::wstring AnswerCancel(HWND dialog, int answer) {
    ui::Click(dialog, IDCANCEL);
    const HWND box = ui::WaitForMessageBox(kCaption);
    if (!box) return L"no question";
    const std::wstring asked = ui::MessageBoxText(box) + L" | " + ui::ControlText(dialog, kOperation);
    ui::Answer(box, answer);
    return asked;
}

enum Action { kPressPause, kCancelNo, kCancelYes, kLetTheWorkerRun, kCancelAgainNo, kCancelAgainYes };

struct Step {
    Action action;
    std::wstring seen;  // Seen() afterwards
};

// A one-file encryption, the worker held at its first act and the refresh
// thread at its first wait while the steps play. Cancel Again: the question
// is open while the worker finishes, and its answer must change nothing.
TEST(RunControl, PauseResumeAndCancelAsTheUserPressesThem) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        bool canceled;
    } cases[] = {
        {"pause, resume", {{kPressPause, L"Paused | Re&sume"}, {kPressPause, L"Encrypting | &Pause"}}, false},
        {"cancel, no while running", {{kCancelNo, L"Encrypting | &Pause"}}, false},
        {"cancel, no while paused", {{kPressPause, L"Paused | Re&sume"}, {kCancelNo, L"Encrypting | &Pause"}}, false},
        {"cancel, yes while paused",
         {{kPressPause, L"Paused | Re&sume"}, {kCancelYes, L"Paused | &Pause"}, {kLetTheWorkerRun, kFinished}}, true},
        {"cancel again, no", {{kCancelYes, L"Paused | &Pause"}, {kCancelAgainNo, kFinished}}, true},
        {"cancel again, yes", {{kCancelYes, L"Paused | &Pause"}, {kCancelAgainYes, kFinished}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir / L"a.txt", "plain"));
        std::vector<std::wstring> seen, expected, asked;
        std::vector<ui::ListRow> rows;
        const auto user = [&](HWND dialog, RunGate& worker) {
            for (const Step& step : c.steps) {
                if (step.action == kPressPause) ui::Click(dialog, kPause);
                if (step.action == kCancelNo || step.action == kCancelYes)
                    asked.push_back(AnswerCancel(dialog, step.action == kCancelYes ? IDYES : IDNO));
                if (step.action == kLetTheWorkerRun) worker.Open();
                if (step.action == kCancelAgainNo || step.action == kCancelAgainYes) {
                    ui::Click(dialog, IDCANCEL);
                    const HWND box = ui::WaitForMessageBox(kCaption);
                    worker.Open();
                    ui::WaitForText(dialog, kOperation, L"Finished");
                    if (box) ui::Answer(box, step.action == kCancelAgainYes ? IDYES : IDNO);
                }
                for (DWORD t = GetTickCount(); Seen(dialog) != step.seen && GetTickCount() - t < ui::kWaitLimitMs;)
                    Sleep(10);
                seen.push_back(Seen(dialog));
                expected.push_back(step.seen);
            }
            worker.Open();
            if (ui::WaitForText(dialog, kOperation, L"Finished")) rows = ui::ListRows(dialog, kStatusList);
        };
        const RunEnd end = RunHeld({RunGate::kWorkerStart, RunGate::kRefresh}, Request(0, 0, {dir / L"a.txt"}), user);
        EXPECT_EQ(seen, expected);
        for (const std::wstring& text : asked)
            EXPECT_EQ(text, L"The operating is not finished, are you sure to exit? | Paused");
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back().item == L"Canceled", c.canceled);
    }
}

// A lock that the worker holds inside its first write and that the dialog's
// thread needs while it pauses the run (in life: the heap's or the loader's):
// a worker stopped from outside would keep it for as long as the pause lasts.
struct WriteLock {
    DWORD dialogThread = GetCurrentThreadId();
    HANDLE free = CreateEventW(nullptr, TRUE, TRUE, nullptr), held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE wanted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile LONG taken = 0, asked = 0;
    bool dialogBlocked = false;
    ~WriteLock() {
        for (HANDLE event : {free, held, wanted}) CloseHandle(event);
    }
    void WorkerWrites() {
        if (GetCurrentThreadId() == dialogThread || InterlockedExchange(&taken, 1)) return;
        ResetEvent(free);
        SignalObjectAndWait(held, wanted, ui::kWaitLimitMs, FALSE);
        SetEvent(free);
    }
    void DialogNeedsIt() {
        if (GetCurrentThreadId() != dialogThread || WaitForSingleObject(held, 0) || InterlockedExchange(&asked, 1))
            return;
        dialogBlocked = SignalObjectAndWait(wanted, free, ui::kWaitLimitMs, FALSE) != WAIT_OBJECT_0;
    }
};

// Pause pressed while the worker is inside a write: the dialog goes on at
// once, the worker holds at its next chunk, and Resume or a Cancel during the
// pause lets it go.
TEST(RunControl, PauseHoldsTheWorkerBetweenChunksNeverInsideACall) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "resume");
        testing_support::StandinStore store;
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir / L"big.bin", std::string(3 << 19, 'x')));
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
            cancel ? (void)AnswerCancel(dialog, IDYES) : (void)ui::Click(dialog, kPause);
        });
        EXPECT_FALSE(lock.dialogBlocked);
        EXPECT_EQ(paused, L"Paused | Re&sume");
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
        EXPECT_EQ(testing_support::IsMarked(dir / L"big.bin"), !cancel);
    }
}

std::vector<uint32_t> g_secondBlock;
uint64_t g_secondResults[FILEOPER_RESULT_SLOTS];
uint32_t g_secondReturned;
HANDLE g_secondDone;

void CALLBACK MakeSecondCall(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_secondReturned = ShowOperationStatus(docman::AsRequest(g_secondBlock), g_secondResults);
    SetEvent(g_secondDone);
}

// A host with two windows, or a window procedure re-entered from the
// dialog's own message loop, calls again while a run is on: the call is
// refused at once, runs nothing and leaves the run alone.
TEST(RunControl, ASecondCallDuringARunRunsNothingAndLeavesTheRunAlone) {
    for (const bool fromDialogThread : {false, true}) {
        SCOPED_TRACE(fromDialogThread ? "re-entered on the dialog's thread" : "from another thread");
        testing_support::StandinStore store;
        TempDir dir;
        for (const wchar_t* name : {L"a.txt", L"x.txt", L"y.txt"}) ASSERT_TRUE(WriteFileBytes(dir / name, "plain"));
        g_secondBlock =
            docman::BuildRequestBlock(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"x.txt", dir / L"y.txt"}));
        g_secondDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (fromDialogThread) SetTimer(nullptr, 0, 10, &MakeSecondCall);
        // A missing item keeps the first run on screen, on its error list.
        const auto user = [&] {
            const HWND dialog = ui::WaitForDialog(kCaption, kStatusList);
            ui::WaitForText(dialog, IDCANCEL, L"&Close");
            if (!fromDialogThread) MakeSecondCall(nullptr, 0, 0, 0);
            WaitForSingleObject(g_secondDone, ui::kWaitLimitMs);
            ui::Click(dialog, IDCANCEL);
        };
        const RunEnd end = RunWithUser(Request(0, FILEOPER_CHOICE_CONTINUE, {dir / L"a.txt", dir / L"missing"}), user);
        CloseHandle(g_secondDone);
        EXPECT_EQ(g_secondReturned, FILEOPER_ERR_RUN_IN_PROGRESS);
        const uint64_t nothingDone[FILEOPER_RESULT_SLOTS] = {
            0, 0, 2, 0, 0, reinterpret_cast<uintptr_t>(docman::AsRequest(g_secondBlock)), 0, 0, 0};
        EXPECT_TRUE(std::equal(std::begin(g_secondResults), std::end(g_secondResults), nothingDone));
        EXPECT_FALSE(testing_support::IsMarked(dir / L"x.txt") || testing_support::IsMarked(dir / L"y.txt"));
        EXPECT_TRUE(testing_support::IsMarked(dir / L"a.txt"));
        EXPECT_EQ(end.results[2], (uint64_t{2} << 32) | 2);
        EXPECT_EQ(end.High(6), 1u);
    }
}

// The scan's thread (1st), the worker (2nd) or the refresh thread (3rd)
// cannot start: the user is told, and the run ends.
TEST(RunControl, AThreadThatCannotStartStillLetsTheRunEnd) {
    const struct {
        int failingCall;
        std::wstring message;
        uint32_t filesDone;
    } cases[] = {
        {1, L"CreateThread failed.", 1}, {2, L"Error! Begin Thread Error", 0}, {3, L"Error! Begin Thread Error", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failingCall);
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir / L"a.txt", "plain"));
        fault::Hook<decltype(&CreateThread)> thread(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "CreateThread",
                                                    nullptr, ERROR_NOT_ENOUGH_MEMORY);
        thread.trigger.Arm(c.failingCall);
        std::wstring shown;
        const RunEnd end = RunWithUser(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"a.txt"}), [&] {
            const HWND box = ui::WaitForMessageBox(kCaption);
            shown = box ? ui::MessageBoxText(box) : L"";
            ui::Click(box, IDOK);
        });
        EXPECT_EQ(shown, c.message);
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
        EXPECT_EQ(end.High(2), c.filesDone);
    }
}

}  // namespace
