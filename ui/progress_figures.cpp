#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include "framework/strings.h"
#include "operation/run_dialog.h"
#include "resources/resource.h"
#include "ui/check_thread.h"
#include "ui/progress_dialog.h"
#include "ui/progress_figures.h"

namespace oper {

namespace {

constexpr DWORD kRefreshPeriod = 200;
constexpr uint32_t kFullPosition = 200;
constexpr uint32_t kTimeUpdateEvery = 5;
constexpr wchar_t kUnknownTime[] = L"??:??:??";

// Counts every refresh since the library was loaded: the times are redrawn
// on every fifth call.
uint32_t g_refreshCalls = 0;

bool RunHasEnded(uint32_t runState) { return runState == kCancelRequested || runState == kFinished; }

// Float to 32-bit integer as the processor truncates: out of range gives the
// most negative value, which the caller then leaves out.
int32_t TruncateToInt32(float value) {
    if (!(value > -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

void SetText(HWND control, const wchar_t* text) { SetWindowTextW(control, text); }

}  // namespace

void RunClock::Start(int64_t now) {
    start_ = now;
    pausedSeconds_ = 0;
    pausedSince_ = kNotPaused;
}

int64_t RunClock::ActiveSeconds(int64_t now, bool paused) {
    if (paused && pausedSince_ == kNotPaused) pausedSince_ = now;
    if (!paused && pausedSince_ != kNotPaused) {
        pausedSeconds_ += now - pausedSince_;
        pausedSince_ = kNotPaused;
    }
    return (paused ? pausedSince_ : now) - start_ - pausedSeconds_;
}

int32_t SecondsLeft(uint32_t pos, int64_t activeSeconds) {
    const float left =
        (static_cast<float>(kFullPosition - pos) / static_cast<float>(pos)) * static_cast<float>(activeSeconds);
    return TruncateToInt32(left);
}

uint32_t OverallPosition(const OperationState& state) {
    const uint64_t total = state.totalBytes;
    if (total == 0) return 0;
    const uint64_t percent = state.reverseProgress ? 100 - state.currentItemPercent : state.currentItemPercent;
    const uint64_t position = ((percent * state.currentItemSize) / 100 + state.completedBytes) * 200 / total;
    return static_cast<uint32_t>(position);
}

void ComputeOverallPosition(CDlgopstatus* dialog) {
    for (;;) {
        Sleep(kRefreshPeriod);
        dialog->RefreshProgress(OverallPosition(g_state));
        if (g_state.completedBytes >= g_state.totalBytes || RunHasEnded(g_state.runState)) return;
    }
}

BOOL CCheckThread::InitInstance() {
    ComputeOverallPosition(m_pDialog);
    PostMessageW(MainWindow(), WM_OPER_NOTIFY, 1, 0);
    return FALSE;
}

void CDlgopstatus::RefreshProgress(uint32_t position) {
    const uint32_t pos = std::min(position, kFullPosition);
    SetText(m_staticItem, g_state.currentItemName);
    SendMessageW(m_progressTotal, PBM_SETPOS, pos, 0);
    SendMessageW(m_progressItem, PBM_SETPOS, g_state.currentItemPercent, 0);
    wchar_t counter[48];
    swprintf(counter, 48, L"%ld/%ld", static_cast<long>(g_state.filesDone), static_cast<long>(g_state.fileTotal));
    SetText(Item(IDC_ITEM_COUNT), counter);
    swprintf(counter, 48, L"%ld", static_cast<long>(g_state.errorCount));
    SetText(Item(IDC_ERROR_COUNT), counter);

    // Every call, so that the clock sees a pause begin and end; the pauses
    // are left out of the elapsed time as well as the estimate, and both
    // stand still while the run is paused.
    const bool paused = g_state.runState == kPaused;
    const int64_t active = m_clock.ActiveSeconds(_time64(nullptr), paused);
    if (g_refreshCalls++ % kTimeUpdateEvery != 0 && pos != kFullPosition) return;
    m_spanElapsed = active;
    m_strElapsed = fw::FormatTimeSpan(m_spanElapsed);
    SetText(m_staticElapsed, m_strElapsed.c_str());
    m_nActiveSeconds = active;
    if (pos == 0) return;
    const int32_t seconds = SecondsLeft(pos, m_nActiveSeconds);
    m_nLeftSeconds = seconds;
    if (seconds < 0) return;
    m_strLeft = paused ? std::wstring(kUnknownTime) : fw::FormatTimeSpan(seconds);
    SetText(m_staticLeftTime, m_strLeft.c_str());
}

}  // namespace oper
