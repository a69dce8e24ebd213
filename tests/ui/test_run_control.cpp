// Pause, resume and cancel as the user presses them, and runs whose threads
// cannot be started: every path ends the run, none hangs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/ui_run.h"

namespace {

using namespace ui_test;

constexpr int kPause = 1000;
constexpr int kOperation = 1003;

enum Action { kPressPause, kCancelNo, kCancelYes, kLetTheWorkerRun };

struct Step {
    Action action;
    std::wstring label;   // the operation label afterwards
    std::wstring button;  // the Pause button afterwards
};

std::wstring Seen(HWND dialog) {
    return ui::ControlText(dialog, kOperation) + L" | " + ui::ControlText(dialog, kPause);
}

// Answers the cancel question; what the label showed while it was open.
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

struct ControlCase {
    const char* name;
    std::vector<Step> steps;
    bool canceled;
};

TEST(RunControl, PauseResumeAndCancelAsTheUserPressesThem) {
    const std::wstring question = L"The operating is not finished, are you sure to exit?";
    const ControlCase cases[] = {
        {"pause, resume",
         {{kPressPause, L"Paused", L"Re&sume"}, {kPressPause, L"Encrypting", L"&Pause"}},
         false},
        {"cancel, no while running", {{kCancelNo, L"Encrypting", L"&Pause"}}, false},
        {"cancel, no while paused",
         {{kPressPause, L"Paused", L"Re&sume"}, {kCancelNo, L"Encrypting", L"&Pause"}},
         false},
        {"cancel, yes while paused",
         {{kPressPause, L"Paused", L"Re&sume"},
          {kCancelYes, L"Paused", L"&Pause"},
          {kLetTheWorkerRun, L"Finished", L"&Pause"}},
         true},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempDir dir;
        const std::wstring file = dir / L"a.txt";
        ASSERT_TRUE(testing_support::WriteFileBytes(file, "plain"));
        std::vector<std::wstring> seen, asked;
        std::vector<ui::ListRow> rows;
        RunGate refresh(RunGate::kRefresh);
        RunGate worker(RunGate::kWorkerStart);
        const RunEnd end = RunWithUser(Request(0, 0, {file}), [&] {
            const HWND dialog = worker.WaitUntilReached() ? ui::WaitForDialog(kCaption, kStatusList) : nullptr;
            for (const Step& step : c.steps) {
                if (!dialog) break;
                if (step.action == kPressPause) ui::Click(dialog, kPause);
                if (step.action == kCancelNo) asked.push_back(AnswerCancel(dialog, IDNO));
                if (step.action == kCancelYes) asked.push_back(AnswerCancel(dialog, IDYES));
                if (step.action == kLetTheWorkerRun) worker.Open();
                ui::WaitForText(dialog, kOperation, step.label);
                ui::WaitForText(dialog, kPause, step.button);
                seen.push_back(Seen(dialog));
            }
            worker.Open();
            if (dialog && ui::WaitForText(dialog, kOperation, L"Finished")) rows = ui::ListRows(dialog, kStatusList);
            refresh.Open();
        });
        std::vector<std::wstring> expected;
        for (const Step& step : c.steps) expected.push_back(step.label + L" | " + step.button);
        EXPECT_EQ(seen, expected);
        for (const std::wstring& text : asked) EXPECT_EQ(text, question + L" | Paused");
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
        testing_support::TempDir dir;
        const std::wstring file = dir / L"a.txt";
        ASSERT_TRUE(testing_support::WriteFileBytes(file, "plain"));
        std::wstring afterwards;
        bool pauseEnabled = true;
        RunGate refresh(RunGate::kRefresh);
        RunGate worker(RunGate::kWorkerStart);
        const RunEnd end = RunWithUser(Request(0, 0, {file}), [&] {
            const HWND dialog = worker.WaitUntilReached() ? ui::WaitForDialog(kCaption, kStatusList) : nullptr;
            if (!dialog) return;
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
            refresh.Open();
        });
        EXPECT_EQ(afterwards, L"Finished | &Pause");
        EXPECT_FALSE(pauseEnabled);
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
    }
}

// CreateThread as the library calls it: the n-th call fails.
fault::Trigger g_threadFailure;
HANDLE WINAPI FailingCreateThread(SECURITY_ATTRIBUTES* security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                  void* argument, DWORD flags, DWORD* id) {
    if (g_threadFailure.Fire()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return fault::Real(&CreateThread, "kernel32.dll", "CreateThread")(security, stack, start, argument, flags, id);
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
        const std::wstring file = dir / L"a.txt";
        ASSERT_TRUE(testing_support::WriteFileBytes(file, "plain"));
        fault::ImportPatch patch(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "CreateThread",
                                 reinterpret_cast<const void*>(&FailingCreateThread));
        g_threadFailure.Arm(c.failingCall);
        std::wstring shown;
        const RunEnd end = RunWithUser(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {file}), [&] {
            const HWND box = ui::WaitForMessageBox(kCaption);
            if (!box) return;
            shown = ui::MessageBoxText(box);
            ui::Click(box, IDOK);
        });
        g_threadFailure.Disarm();
        EXPECT_EQ(shown, c.message);
        EXPECT_EQ(end.Low(6), FILEOPER_STATE_FINISHED);
        EXPECT_EQ(end.High(2), c.filesDone);
    }
}

}  // namespace
