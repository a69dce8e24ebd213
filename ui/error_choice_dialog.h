#pragma once
// The question put to the user when an item fails: Retry, Continue, Skip All,
// Stop or Undo. The answer is also remembered in the operation state, so that
// a Skip All answers every later failure of the run.
#include <cstdint>

#include "framework/dialog.h"

namespace oper {

class CDlgErroption : public fw::Dialog {
public:
    explicit CDlgErroption(HWND parent);

    uint32_t m_nErrorCode = 0;
    uint32_t m_nReasonId = 0;

protected:
    BOOL OnInitDialog() override;
    // Escape is not one of these: it ends the dialog with IDCANCEL and leaves
    // the remembered choice as it was.
    bool OnCommand(WORD id, WORD code) override;
};

}  // namespace oper
