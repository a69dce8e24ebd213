#include "tests/ui/scan_run.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "operation/operation_state.h"
#include "ui/preparation_scan.h"
#include "ui/progress_dialog.h"
#include "tests/ui/ui_run.h"

namespace ui_test {

namespace {

DWORD WINAPI ScanOnThread(void* dialog) { return oper::PreparationScan(dialog); }

}  // namespace

// On a thread of its own with a 1 MiB stack, the default of a host built with
// the usual tools.
ScanEnd Scan(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items, uint32_t runState) {
    const std::vector<uint32_t> block = docman::BuildRequestBlock(Request(kind, flags, items));
    oper::g_state.request = docman::AsRequest(block);
    oper::g_state.runState = runState;
    oper::g_state.fileTotal = 0;
    oper::g_state.totalBytes = ~0ull;
    oper::CDlgopstatus dialog(nullptr);
    HANDLE thread = CreateThread(nullptr, 1 << 20, &ScanOnThread, &dialog, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u) << "the scan thread did not end normally";
    return {oper::g_state.fileTotal, oper::g_state.totalBytes};
}

}  // namespace ui_test
