// Starting, pausing, cancelling and ending a run. The dialog's thread is the
// only writer of the run state; the threads report back only by posting
// WM_OPER_NOTIFY, and the dialog closes once all three have.
//
// The worker is created with the scan but resumed only when the scan has
// reported: while the scan walks a folder, nothing in it changes under it.
// An in-place encryption puts a temporary file beside each file and, for a
// moment, holds the file under no name but the temporary one; a scan walking
// beside it would count one entry too many or too few. Counting first keeps
// the file total to the user's own entries, so that a run without errors
// ends at n of n. The scan costs a directory listing per folder, a small
// fraction of what the worker spends per file.
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

// The handle is kept until the dialog has ended, so that the call can wait
// for the thread to leave the library.
void CDlgopstatus::StartPreparationScan() {
    m_hPrepThread.reset(CreateThread(nullptr, 0, &PreparationScan, this, CREATE_SUSPENDED, nullptr));
    if (!m_hPrepThread) {
        fw::ShowMessageBox(Window(), L"CreateThread failed.", MB_ICONERROR);
        PostMessageW(Window(), WM_OPER_NOTIFY, 0, kScanDone);
        return;
    }
    SetThreadPriority(m_hPrepThread.get(), THREAD_PRIORITY_HIGHEST);
    ResumeThread(m_hPrepThread.get());
}

// Created now, resumed when the scan has reported (ResumeWorker). The
// object deletes itself when its thread ends; after the resume only the
// duplicated handle is used, and it stays valid until the dialog has ended.
bool CDlgopstatus::StartWorker() {
    m_pOperThread = fw::Thread::BeginSuspended<COperThread>(THREAD_PRIORITY_HIGHEST);
    if (!m_pOperThread) return false;
    m_clock.Start(_time64(nullptr));
    m_pOperThread->SetMainWindow(Window());
    m_hOperThread = m_pOperThread->DuplicateThreadHandle();
    g_state.runState = kRunning;
    return true;
}

void CDlgopstatus::ResumeWorker() {
    if (!m_pOperThread) return;
    if (m_hOperThread) SetThreadPriority(m_hOperThread.get(), THREAD_PRIORITY_ABOVE_NORMAL);
    m_pOperThread->Resume();
    m_pOperThread = nullptr;
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

// The worker is never suspended from outside: it could be stopped inside a
// heap or loader call, holding a lock this thread needs next. It holds
// itself at its next safe point (WaitWhileRunPaused) for as long as the run
// state reads paused, and goes on when the word changes to running or
// cancel requested. In any other state (the run finished while a second
// cancel question was open) the button is disabled: the step does nothing.
void CDlgopstatus::PauseOrResume() {
    switch (g_state.runState) {
        case kRunning:
            g_state.runState = kPaused;
            m_strSavedCaption = ItemText(IDC_OPERATION);
            SetItemText(IDC_OPERATION, fw::LoadResString(IDS_PAUSED));
            SetItemText(IDC_PAUSE, fw::LoadResString(IDS_RESUME));
            break;
        case kPaused:
            g_state.runState = kRunning;
            SetItemText(IDC_OPERATION, m_strSavedCaption);
            SetItemText(IDC_PAUSE, fw::LoadResString(IDS_PAUSE));
            break;
        case kCancelRequested:
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
        // Set here rather than by the scan, so that the dialog cannot end
        // before the scan's last act, this notice.
        m_bPrepDone = 1;
        ResumeWorker();
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
