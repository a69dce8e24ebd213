#pragma once
// The question before an existing file or folder at the destination is
// replaced. One object serves every question of a run, on the worker thread.
#include <string>

#include "framework/dialog.h"
#include "operation/run_dialog.h"

namespace oper {

class CRepFiledlg : public fw::Dialog, public ReplacePrompt {
public:
    explicit CRepFiledlg(HWND parent);

    // 6 Yes, 1 Yes to All, 7 No, 2 Cancel (also Escape).
    INT_PTR Ask(const std::wstring& message) override;

    std::wstring m_strMessage;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code) override;
};

}  // namespace oper
