#include "ui/error_choice_dialog.h"

#include "exports/error_state.h"
#include "framework/strings.h"
#include "operation/operation_state.h"
#include "operation/run_dialog.h"
#include "resources/resource.h"
#include "ui/error_messages.h"
#include "ui/progress_dialog.h"

namespace oper {

namespace {

struct ChoiceButton {
    WORD id;
    uint32_t choice;
    uint32_t applyToAll;
};

const ChoiceButton kChoiceButtons[] = {
    {IDC_RETRY, kChoiceRetry, 0},   {IDC_CONTINUE, kChoiceContinue, 0}, {IDC_SKIP_ALL, kChoiceContinue, 1},
    {IDC_STOP, kChoiceStop, 0},     {IDC_UNDO, kChoiceUndo, 0},
};

}  // namespace

CDlgErroption::CDlgErroption(HWND parent) : fw::Dialog(IDD_ERROR_CHOICE, parent) {}

// Undo is only for an encryption; neither a retry nor an undo can help a full
// disk or a system object, and a retry must not read a source whose wipe had
// begun.
BOOL CDlgErroption::OnInitDialog() {
    const uint32_t kind = RequestView(g_state.request).Kind();
    EnableWindow(Item(IDC_UNDO), kind == kKindEncrypt);
    EnableWindow(Item(IDC_RETRY), !g_state.retryRefused);
    if (m_nErrorCode == kErrDiskFull || m_nErrorCode == kErrSystemObject) {
        EnableWindow(Item(IDC_RETRY), FALSE);
        EnableWindow(Item(IDC_UNDO), FALSE);
    }
    const std::wstring reason = fw::LoadResString(m_nReasonId);
    SetItemText(IDC_ERROR_MESSAGE, fw::FormatResString(kind == kKindEncrypt ? IDS_ASK_ENCRYPT_FAILED : IDS_ASK_DECRYPT_FAILED,
                                                       {g_state.currentItemName, reason.c_str()}));
    RemoveCloseItem();
    return TRUE;
}

bool CDlgErroption::OnCommand(WORD id, WORD code) {
    for (const ChoiceButton& button : kChoiceButtons) {
        if (button.id != id) continue;
        g_state.applyToAll = button.applyToAll;
        g_state.rememberedChoice = button.choice;
        EndDialog(button.choice);
        return true;
    }
    return fw::Dialog::OnCommand(id, code);
}

// The choice dialog is owned by the progress dialog, which is disabled while
// the question is open: Pause and Cancel wait for the answer.
INT_PTR CDlgopstatus::AskErrorChoice(int32_t code) {
    CDlgErroption dialog(Window());
    dialog.m_nReasonId = MessageIdForError(code);
    dialog.m_nErrorCode = static_cast<uint32_t>(code);
    return dialog.DoModal();
}

}  // namespace oper
