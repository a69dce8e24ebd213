// Starting, pausing, cancelling and ending a run. The dialog's thread is the
// only writer of the run state; the threads report back only by posting
// WM_OPER_NOTIFY, and the dialog closes once all three have.
#include <windows.h>

#include <commctrl.h>

#include <ctime>

#include "framework/strings.h"
#include "operation/worker.h"
#include "resources/resource.h"
#include "ui/check_thread.h"
#include "ui/preparation_scan.h"
#include "ui/progress_dialog.h"

namespace oper {

namespace {

constexpr LPARAM kScanDone = 1;
constexpr WPARAM kRefreshDone = 1;

}  // namespace

// A thread that cannot be started reports as done at once, through the same
// notice its thread would have posted, so that the run still reaches its end
// and nothing ever acts on a thread that does not exist.
void CDlgopstatus::OnStartTimer() {
    KillTimer(Window(), m_nTimerId);
    StartPreparationScan();
    if (!StartWorker()) {
        fw::ShowMessageBox(Window(), L"Error! Begin Thread Error", MB_ICONERROR);
        PostMessageW(Window(), WM_OPER_NOTIFY, 0, 0);
        PostMessageW(Window(), WM_OPER_NOTIFY, kRefreshDone, 0);
        return;
    }
    if (!StartRefresh()) {
        fw::ShowMessageBox(Window(), L"Error! Begin Thread Error", MB_ICONERROR);
        PostMessageW(Window(), WM_OPER_NOTIFY, kRefreshDone, 0);
    }
}

void CDlgopstatus::StartPreparationScan() {
    const fw::KernelHandle scan(CreateThread(nullptr, 0, &PreparationScan, this, CREATE_SUSPENDED, nullptr));
    if (!scan) {
        fw::ShowMessageBox(Window(), L"CreateThread failed.", MB_ICONERROR);
        m_bPrepDone = 1;
        PostMessageW(Window(), WM_OPER_NOTIFY, 0, kScanDone);
        return;
    }
    SetThreadPriority(scan.get(), THREAD_PRIORITY_HIGHEST);
    ResumeThread(scan.get());
}

// The worker's object deletes itself when its thread ends; from its resume
// on, only the duplicated handle is used, and it stays valid until the
// dialog has ended.
bool CDlgopstatus::StartWorker() {
    m_pOperThread = fw::Thread::BeginSuspended<COperThread>(THREAD_PRIORITY_HIGHEST);
    if (!m_pOperThread) return false;
    m_timeStart = _time64(nullptr);
    m_pOperThread->SetMainWindow(Window());
    m_hOperThread = m_pOperThread->DuplicateThreadHandle();
    m_pOperThread->Resume();
    m_pOperThread = nullptr;
    g_state.runState = kRunning;
    return true;
}

bool CDlgopstatus::StartRefresh() {
    m_pCheckThread = fw::Thread::BeginSuspended<CCheckThread>(THREAD_PRIORITY_BELOW_NORMAL);
    if (!m_pCheckThread) return false;
    m_pCheckThread->SetMainWindow(Window());
    m_pCheckThread->SetDialog(this);
    m_hCheckThread = m_pCheckThread->DuplicateThreadHandle();
    m_pCheckThread->Resume();
    m_pCheckThread = nullptr;
    return true;
}

// In any other state (the run finished while a second cancel question was
// open) there is nothing to suspend or resume and the button is disabled:
// the step does nothing.
void CDlgopstatus::PauseOrResume() {
    switch (g_state.runState) {
        case kRunning:
            SuspendThread(m_hOperThread.get());
            g_state.runState = kPaused;
            m_strSavedCaption = ItemText(IDC_OPERATION);
            SetItemText(IDC_OPERATION, fw::LoadResString(IDS_PAUSED));
            SetItemText(IDC_PAUSE, fw::LoadResString(IDS_RESUME));
            break;
        case kPaused:
            ResumeThread(m_hOperThread.get());
            g_state.runState = kRunning;
            SetItemText(IDC_OPERATION, m_strSavedCaption);
            SetItemText(IDC_PAUSE, fw::LoadResString(IDS_PAUSE));
            break;
        case kCancelRequested:
            ResumeThread(m_hOperThread.get());
            SetItemText(IDC_PAUSE, fw::LoadResString(IDS_PAUSE));
            break;
        default:
            break;
    }
}

// A Yes that comes after the run has finished (the worker reported while the
// question was open) leaves the finished state alone, so that Close still
// ends the dialog.
void CDlgopstatus::OnCancel() {
    if (g_state.runState == kFinished) {
        if (m_bCheckDone && m_bOperDone && m_bPrepDone) EndDialog(IDCANCEL);
        return;
    }
    if (g_state.runState == kRunning) PauseOrResume();
    const int answer = fw::ShowMessageBox(Window(), fw::LoadResString(IDS_CONFIRM_EXIT), MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES && g_state.runState != kFinished) g_state.runState = kCancelRequested;
    PauseOrResume();
}

void CDlgopstatus::OnCompletion(WPARAM wParam, LPARAM lParam) {
    if (lParam == kScanDone) {
        if (!m_bOperDone && m_hOperThread) SetThreadPriority(m_hOperThread.get(), THREAD_PRIORITY_ABOVE_NORMAL);
    } else if (wParam == 0) {
        m_bOperDone = 1;
        g_state.runState = kFinished;
        EnableWindow(Item(IDC_PAUSE), FALSE);
        SetItemText(IDC_OPERATION, fw::LoadResString(IDS_FINISHED));
        SetItemText(IDC_ITEM, L"");
    } else if (wParam == kRefreshDone) {
        m_bCheckDone = 1;
    }
    if (!(m_bCheckDone && m_bOperDone && m_bPrepDone)) return;
    if (g_state.errorCount != 0 && !(RequestView(g_state.request).Flags() & kFlagCloseAtEnd)) {
        EndOnErrorList();
    } else {
        EndDialog(0);
    }
}

// The run stays on screen on its error list until the user presses Close.
void CDlgopstatus::EndOnErrorList() {
    SendMessageW(m_tabLists, TCM_SETCURSEL, 1, 0);
    ShowList(1);
    SetItemText(IDCANCEL, fw::LoadResString(IDS_CLOSE));
    SendMessageW(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDCANCEL)), TRUE);
    SetItemText(IDC_LEFT_TIME, L"00:00:00");
}

}  // namespace oper
