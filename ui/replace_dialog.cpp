#include "ui/replace_dialog.h"

#include "resources/resource.h"

namespace oper {

CRepFiledlg::CRepFiledlg(HWND parent) : fw::Dialog(IDD_REPLACE_CONFIRM, parent) {}

INT_PTR CRepFiledlg::Ask(const std::wstring& message) {
    m_strMessage = message;
    return DoModal();
}

BOOL CRepFiledlg::OnInitDialog() {
    SetItemText(IDC_REPLACE_MESSAGE, m_strMessage);
    return TRUE;
}

bool CRepFiledlg::OnCommand(WORD id, WORD code) {
    switch (id) {
        case IDC_REPLACE_YES:
            EndDialog(IDYES);
            return true;
        case IDC_REPLACE_YES_ALL:
            EndDialog(IDOK);
            return true;
        case IDC_REPLACE_NO:
            EndDialog(IDNO);
            return true;
        default:
            return fw::Dialog::OnCommand(id, code);
    }
}

}  // namespace oper
