#pragma once
// The progress dialog of an operation run: it resets the shared state, starts
// the scan, the worker and the refresh thread, takes their rows, questions
// and completion notices, and closes once all three have reported.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/dialog.h"
#include "framework/handles.h"
#include "operation/run_dialog.h"
#include "ui/error_log.h"
#include "ui/progress_figures.h"
#include "ui/result_lists.h"

namespace oper {

class COperThread;
class CCheckThread;

class CDlgopstatus : public fw::Dialog, public RunDialog {
public:
    explicit CDlgopstatus(HWND parent);
    ~CDlgopstatus() override;

    // Runs the dialog, then waits until the scan, the worker and the
    // refresh thread, which have all reported by then, have left the
    // library's code.
    INT_PTR Run();

    // RunDialog, called on the worker thread.
    HWND Window() const override { return fw::Dialog::Window(); }
    void AddResultRow(int32_t code, uint32_t itemData, const wchar_t* text) override;
    int PopStatusRow(std::wstring* path, uint32_t direction, uint64_t* itemData) override;
    std::unique_ptr<ReplacePrompt> CreateReplacePrompt() override;

    // Called on the refresh thread: draws the figures for a position on the
    // 0..200 scale.
    void RefreshProgress(uint32_t position);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code) override;
    void OnCancel() override;
    bool OnNotify(const NMHDR& header, LRESULT* result) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnDestroy() override;

private:
    // Layout and view (progress_dialog.cpp).
    void BindControls();
    void InsertTabsAndColumns() const;
    void ApplyViewOptions();
    void ResetOperationState() const;
    void ToggleDetail();
    void ShowList(int tab) const;

    // Run control (run_control.cpp).
    void OnStartTimer();
    void StartPreparationScan();
    bool StartWorker();
    void ResumeWorker();
    bool StartRefresh();
    void PauseOrResume();
    void OnCompletion(WPARAM wParam, LPARAM lParam);
    void EndOnErrorList();

    // The result lists (result_lists.cpp): brings both up to date, on a short
    // timer and whenever the run stops to show itself; answers their
    // LVN_GETDISPINFOW.
    void ShowRows();
    bool OnListNotify(const NMHDR& header);

    // Error choice (error_choice_dialog.cpp).
    INT_PTR AskErrorChoice(int32_t code);

    HICON m_hIcon = nullptr;
    uint32_t m_bCheckDone = 0;
    uint32_t m_bOperDone = 0;
    uint32_t m_bPrepDone = 0;
    fw::KernelHandle m_hPrepThread;
    // Valid only between creation and resume: the object deletes itself
    // when its thread ends; m_hOperThread outlives it.
    COperThread* m_pOperThread = nullptr;
    fw::KernelHandle m_hOperThread;
    HWND m_tabLists = nullptr;
    HWND m_listStatus = nullptr;
    HWND m_listError = nullptr;
    HWND m_staticLeftTime = nullptr;
    HWND m_staticElapsed = nullptr;
    HWND m_staticOperation = nullptr;
    HWND m_staticItem = nullptr;
    HWND m_progressTotal = nullptr;
    HWND m_progressItem = nullptr;
    ErrorLog m_log;
    uint32_t m_bShowDetail = 1;
    int64_t m_spanElapsed = 0;
    std::wstring m_strElapsed;
    std::wstring m_strLeft;
    RunClock m_clock;
    int64_t m_nActiveSeconds = 0;
    int64_t m_nLeftSeconds = 0;
    CCheckThread* m_pCheckThread = nullptr;
    fw::KernelHandle m_hCheckThread;
    UINT_PTR m_nTimerId = 0;
    std::wstring m_strSavedCaption;
    // The lists' rows: written by the worker, shown by the dialog's thread.
    ResultList m_statusRows;
    ResultList m_errorRows;
};

}  // namespace oper
