#include "operation/worker.h"

#include "operation/operation_state.h"
#include "operation/run_dialog.h"

namespace oper {

// Placeholder until the run itself lands: reports the end at once.
BOOL COperThread::InitInstance() {
    PostMessageW(MainWindow(), WM_OPER_NOTIFY, 0, 0);
    return FALSE;
}

}  // namespace oper
