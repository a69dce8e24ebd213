// The progress dialog's detail toggle and what it remembers of it, and the
// counters. (The tabs are switched in the run screenshots.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fileoper.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/ui_run.h"
#include "tests/ui/view_options.h"

using namespace ui_test;

namespace {

int Height(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

struct DetailCase {
    const char* name;
    int64_t stored;  // -1: absent
    int presses;
    int64_t savedAfter;
};

// After each press (and before the first) the toggle's caption, whether the
// tab control is enabled, and how much taller than opened the dialog is.
TEST(ProgressDialogView, DetailTogglesRestoreTheHeightAndAreSavedOnClose) {
    const DetailCase cases[] = {
        {"absent, untouched", -1, 0, 1},
        {"stored collapsed, expanded by the user", 0, 1, 1},
        {"stored collapsed, expanded and collapsed again", 0, 2, 0},
        {"shown, collapsed by the user", 1, 1, 0},
    };
    for (const DetailCase& c : cases) {
        SCOPED_TRACE(c.name);
        ViewOptionsKey options;
        if (c.stored >= 0) options.Set("ShowOperationDetail", static_cast<uint32_t>(c.stored));
        std::vector<std::wstring> seen, expected;
        RunHeldOpen(0, [&](HWND dialog) {
            const int opened = Height(dialog), detail = Height(GetDlgItem(dialog, 1033)) + 16;
            bool shown = c.stored != 0;
            for (int press = 0, grown = 0;; ++press) {
                const std::wstring caption = shown ? L"<< &Detail" : L"&Detail >>";
                expected.push_back(caption + (shown ? L" on " : L" off ") + std::to_wstring(grown));
                seen.push_back(ui::ControlText(dialog, 1002) + (ui::IsEnabled(dialog, 1033) ? L" on " : L" off ") +
                               std::to_wstring(Height(dialog) - opened));
                if (press == c.presses) break;
                ui::Click(dialog, 1002);
                ui::WaitForText(dialog, 1002, shown ? L"&Detail >>" : L"<< &Detail");
                grown += shown ? -detail : detail;
                shown = !shown;
            }
        });
        ASSERT_FALSE(seen.empty()) << "the dialog was not seen";
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(options.Get("ShowOperationDetail"), c.savedAfter);
    }
}

// With the worker held at its start, the refresh thread draws what the scan
// counted: items reached before items in all, and no error yet.
TEST(ProgressDialogView, CountersShowItemsReachedOfAllAndTheErrors) {
    testing_support::TempDir dir;
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"a.txt", "one"));
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"b.txt", "two"));
    bool drawn = false;
    RunHeld({RunGate::kWorkerStart}, Request(0, FILEOPER_FLAG_CLOSE_AT_END, {dir / L"a.txt", dir / L"b.txt"}),
            [&](HWND dialog, RunGate&) {
                drawn = ui::WaitForText(dialog, 1012, L"0/2") && ui::WaitForText(dialog, 1013, L"0");
            });
    EXPECT_TRUE(drawn);
}

}  // namespace
