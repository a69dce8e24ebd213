// The cost of a result row as the worker adds it (AddResultRow: a copy into
// the dialog's own store, which the list shows a few times a second), with
// few rows and with 100,000, the memory the rows take, and the cost of taking
// them all back as an undo does (PopStatusRow). A real progress dialog runs
// through ShowOperationStatus, held open at its refresh thread.
//
//   ui_bench [--rows N]
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "bench/measure.h"
#include "framework/module.h"
#include "operation/operation_state.h"
#include "operation/run_dialog.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/ui_run.h"

namespace {

using bench::Now;
using bench::WorkingSetMiB;

// Microseconds per row for rows [from, to).
double AddRows(oper::RunDialog& run, int from, int to) {
    const double start = Now();
    for (int row = from; row < to; ++row) {
        const std::wstring text = L"C:\\Users\\Public\\Documents\\Reports\\file " + std::to_wstring(row) + L".docx";
        run.AddResultRow(0, (row % 50 == 0) ? 1 : 0, text.c_str());
    }
    return (Now() - start) * 1e6 / (to - from);
}


// Milliseconds the dialog's thread takes to bring the list up to date with
// the rows added since it last did (a read of the list makes it do so at
// once), less a second read with nothing new.
double CatchUp(HWND list) {
    const double start = Now();
    SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    const double middle = Now();
    SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    return ((middle - start) - (Now() - middle)) * 1e3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int rows = 100000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (wcscmp(argv[i], L"--rows") == 0) rows = _wtoi(argv[++i]);
    }
    if (rows < 2000) rows = 2000;
    fw::SetResourceModule(LoadLibraryExW(L"fileoper.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ui_test::RunGate gate(ui_test::RunGate::kRefresh);
    double first = 0, last = 0, pop = 0, before = 0, after = 0, catchUpFirst = 0, catchUpLast = 0;
    int popped = 0;
    ui_test::RunWithUser(ui_test::Request(0, FILEOPER_FLAG_CLOSE_AT_END, {}), [&] {
        if (gate.WaitUntilReached() && ui::WaitForDialog(ui_test::kCaption, ui_test::kStatusList)) {
            oper::RunDialog& run = *oper::g_state.dialog;
            const HWND list = GetDlgItem(run.Window(), ui_test::kStatusList);
            before = WorkingSetMiB();
            first = AddRows(run, 0, 1000);
            CatchUp(list);
            AddRows(run, 1000, 1010);
            catchUpFirst = CatchUp(list);
            AddRows(run, 1010, rows - 1000);
            last = AddRows(run, rows - 1000, rows - 10);
            CatchUp(list);
            AddRows(run, rows - 10, rows);
            catchUpLast = CatchUp(list);
            after = WorkingSetMiB();
            std::wstring path;
            uint64_t data = 0;
            const double start = Now();
            while (run.PopStatusRow(&path, 1, &data) >= 0) ++popped;
            pop = (Now() - start) * 1e6 / (popped ? popped : 1);
        }
        gate.Open();
    });
    printf("AddResultRow (status list, one folder row in 50), microseconds per row:\n");
    printf("  rows 1..1,000          %8.1f\n", first);
    printf("  rows %d..%d   %8.1f\n", rows - 999, rows - 10, last);
    printf("the list catching up with 10 new rows: %.2f ms at 1,010 rows, %.2f ms at %d\n", catchUpFirst, catchUpLast,
           rows);
    printf("working set %.1f MiB before the rows, %.1f MiB with them (%.2f KiB a row)\n", before, after,
           (after - before) * 1024 / rows);
    printf("PopStatusRow, all %d rows, folders from the top first: %.1f microseconds per row\n", popped, pop);
    return first > 0 && last > 0 && popped == rows ? 0 : 1;
}
