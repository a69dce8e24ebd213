// The one named export: a whole operation run behind a modal progress dialog.
#include <windows.h>

#include "fileoper.h"
#include "framework/activation.h"
#include "framework/module.h"
#include "operation/operation_state.h"
#include "standins/tzrtl/tzrtl.h"
#include "ui/progress_dialog.h"

extern "C" uint32_t WINAPI ShowOperationStatus(const OperationRequest* request, uint64_t* results) {
    // Nothing to run: no dialog, the results and the previous run's state
    // untouched.
    if (!request) return FILEOPER_ERR_INVALID_PARAMETER;
    // The library's own manifest for every window of the call: the progress
    // dialog, its message boxes and the error choice dialog.
    const fw::ModuleActivation activation(fw::ResourceModule());
    char optionsKey[MAX_PATH] = "";
    TzRtl_MakeVendorKeyA("TzVozAdu\\Option", optionsKey);
    LoadOperOptions(optionsKey);
    if (request->flags & oper::kFlagDecryptAfterReboot) SetOperOptions(1, 1);
    oper::g_state.request = request;
    {
        oper::CDlgopstatus dialog(nullptr);
        dialog.Run();
    }
    if (results) oper::CopyResults(oper::g_state, results);
    return IsRebootRequired() ? FILEOPER_REBOOT_REQUIRED : 0;
}
