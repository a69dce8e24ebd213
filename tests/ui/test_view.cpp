// What the progress dialog shows and remembers of its layout: the view
// options from the registry, the detail toggle and the tab switch.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <functional>

#include "fileoper.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/ui_run.h"
#include "tests/ui/view_options.h"

using namespace ui_test;

namespace {

// Runs a one-item request held at the gate, plays `user` on the open dialog,
// then lets the run end.
void RunHeld(const std::function<void(HWND)>& user) {
    RunGate gate(RunGate::kRefresh);
    RunWithUser(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {}), [&] {
        HWND dialog = gate.WaitUntilReached() ? ui::WaitForDialog(kCaption, kStatusList) : nullptr;
        if (dialog) user(dialog);
        gate.Open();
    });
}

DWORD ListStyle(HWND dialog, int list) {
    return static_cast<DWORD>(SendDlgItemMessageW(dialog, list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)) &
           (LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES | LVS_EX_TWOCLICKACTIVATE);
}

int Height(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

struct StyleCase {
    const char* name;
    uint32_t fullRow, dragDrop, grid, twoClick;  // UINT32_MAX: absent
    DWORD expected;
};

TEST(ProgressDialogView, ListStylesFollowTheStoredOptions) {
    const StyleCase cases[] = {
        {"no key", UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX, LVS_EX_FULLROWSELECT},
        {"all flipped", 0, 1, 7, 1, LVS_EX_HEADERDRAGDROP | LVS_EX_GRIDLINES | LVS_EX_TWOCLICKACTIVATE},
        {"grid only added", UINT32_MAX, 0, 1, UINT32_MAX, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES},
    };
    for (const StyleCase& c : cases) {
        SCOPED_TRACE(c.name);
        ui_test::ViewOptionsKey options;
        const std::pair<const char*, uint32_t> values[] = {{"FullRowSelect", c.fullRow},
                                                           {"HeaderDragDrop", c.dragDrop},
                                                           {"GridLines", c.grid},
                                                           {"TwoClickActivate", c.twoClick}};
        for (const auto& [name, value] : values) {
            if (value != UINT32_MAX) options.Set(name, value);
        }
        DWORD status = 0, error = 0;
        RunHeld([&](HWND dialog) {
            status = ListStyle(dialog, 1031);
            error = ListStyle(dialog, 1032);
        });
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(error, c.expected);
    }
}

struct DetailCase {
    const char* name;
    int64_t stored;  // -1: absent
    int presses;
    int64_t savedAfter;
};

TEST(ProgressDialogView, DetailTogglesRestoreTheHeightAndAreSavedOnClose) {
    const DetailCase cases[] = {
        {"absent, untouched", -1, 0, 1},
        {"stored collapsed, expanded by the user", 0, 1, 1},
        {"stored collapsed, expanded and collapsed again", 0, 2, 0},
        {"shown, collapsed by the user", 1, 1, 0},
    };
    for (const DetailCase& c : cases) {
        SCOPED_TRACE(c.name);
        ui_test::ViewOptionsKey options;
        if (c.stored >= 0) options.Set("ShowOperationDetail", static_cast<uint32_t>(c.stored));
        bool shown = c.stored != 0;
        int opened = 0, expected = 0;
        std::vector<std::wstring> problems;
        RunHeld([&](HWND dialog) {
            opened = expected = Height(dialog);
            const int detail = Height(GetDlgItem(dialog, 1033)) + 16;
            for (int press = 0; press <= c.presses; ++press) {
                if (ui::ControlText(dialog, 1002) != (shown ? L"<< &Detail" : L"&Detail >>"))
                    problems.push_back(L"caption " + ui::ControlText(dialog, 1002));
                if (ui::IsEnabled(dialog, 1033) != shown) problems.push_back(L"tab control enabled state");
                if (Height(dialog) != expected) problems.push_back(L"height " + std::to_wstring(Height(dialog)));
                if (press == c.presses) break;
                const std::wstring before = ui::ControlText(dialog, 1002);
                ui::Click(dialog, 1002);
                ui::WaitForText(dialog, 1002, shown ? L"&Detail >>" : L"<< &Detail");
                expected += shown ? -detail : detail;
                shown = !shown;
            }
        });
        EXPECT_TRUE(problems.empty()) << testing::PrintToString(problems);
        EXPECT_NE(opened, 0) << "the dialog was not seen";
        if (c.presses == 2) {
            EXPECT_EQ(expected, opened);
        }
        EXPECT_EQ(options.Get("ShowOperationDetail"), c.savedAfter);
    }
}

TEST(ProgressDialogView, TabsSwitchBetweenTheTwoLists) {
    std::vector<std::pair<bool, bool>> seen;  // status list visible, error list visible
    RunHeld([&](HWND dialog) {
        const HWND tabs = GetDlgItem(dialog, 1033);
        seen.push_back({ui::IsVisible(dialog, 1031), ui::IsVisible(dialog, 1032)});
        for (int tab : {1, 0}) {
            RECT item;
            SendMessageW(tabs, TCM_GETITEMRECT, tab, reinterpret_cast<LPARAM>(&item));
            const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
            SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageW(tabs, WM_LBUTTONUP, 0, at);
            seen.push_back({ui::IsVisible(dialog, 1031), ui::IsVisible(dialog, 1032)});
        }
    });
    const std::vector<std::pair<bool, bool>> expected = {{true, false}, {false, true}, {true, false}};
    EXPECT_EQ(seen, expected);
}

}  // namespace

namespace {

// With the worker held at its start, the refresh thread draws what the scan
// counted: items reached before items in all, and no error yet.
TEST(ProgressDialogView, CountersShowItemsReachedOfAllAndTheErrors) {
    testing_support::TempDir dir;
    const std::wstring a = dir / L"a.txt", b = dir / L"b.txt";
    ASSERT_TRUE(testing_support::WriteFileBytes(a, "one"));
    ASSERT_TRUE(testing_support::WriteFileBytes(b, "two"));
    bool drawn = false;
    RunGate worker(RunGate::kWorkerStart);
    RunWithUser(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {a, b}), [&] {
        const HWND dialog = worker.WaitUntilReached() ? ui::WaitForDialog(kCaption, kStatusList) : nullptr;
        drawn = dialog && ui::WaitForText(dialog, 1012, L"0/2") && ui::WaitForText(dialog, 1013, L"0");
        worker.Open();
    });
    EXPECT_TRUE(drawn);
}

}  // namespace
