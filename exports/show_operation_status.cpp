// The one named export: a whole operation run behind a modal progress dialog.
#include <windows.h>

#include "fileoper.h"
#include "framework/activation.h"
#include "framework/module.h"
#include "operation/operation_state.h"
#include "standins/tzrtl/tzrtl.h"
#include "ui/progress_dialog.h"

namespace {

// Non-zero while a run is on. The run's state is module-wide, so a second
// call (another window's thread, or a window procedure re-entered from the
// dialog's modal loop) is turned away before it touches anything.
volatile LONG g_runOn = 0;

class RunClaim {
public:
    RunClaim() : held_(InterlockedCompareExchange(&g_runOn, 1, 0) == 0) {}
    ~RunClaim() {
        if (held_) InterlockedExchange(&g_runOn, 0);
    }
    RunClaim(const RunClaim&) = delete;
    RunClaim& operator=(const RunClaim&) = delete;
    bool Held() const { return held_; }

private:
    const bool held_;
};

// The results of a call that ran nothing: none of its items reached, no run
// state, so that a host reading only the results does not take it for a
// complete run.
void CopyRefusedResults(const OperationRequest* request, uint64_t* results) {
    for (int slot = 0; slot < oper::kResultSlots; ++slot) results[slot] = 0;
    if (request->itemCount > 0) results[2] = static_cast<uint32_t>(request->itemCount);
    results[5] = reinterpret_cast<uintptr_t>(request);
}

}  // namespace

extern "C" uint32_t WINAPI ShowOperationStatus(const OperationRequest* request, uint64_t* results) {
    // Nothing to run: no dialog, the results and the previous run's state
    // untouched.
    if (!request) return FILEOPER_ERR_INVALID_PARAMETER;
    const RunClaim claim;
    if (!claim.Held()) {
        if (results) CopyRefusedResults(request, results);
        return FILEOPER_ERR_RUN_IN_PROGRESS;
    }
    // The library's own manifest for every window of the call: the progress
    // dialog, its message boxes and the error choice dialog.
    const fw::ModuleActivation activation(fw::ResourceModule());
    char optionsKey[MAX_PATH] = "";
    TzRtl_MakeVendorKeyA("TzVozAdu\\Option", optionsKey);
    LoadOperOptions(optionsKey);
    if (request->flags & oper::kFlagDecryptAfterReboot) SetOperOptions(1, 1);
    oper::g_state.request = request;
    {
        // Run returns once the run's three threads have left the library.
        oper::CDlgopstatus dialog(nullptr);
        dialog.Run();
    }
    if (results) oper::CopyResults(oper::g_state, results);
    return IsRebootRequired() ? FILEOPER_REBOOT_REQUIRED : 0;
}
