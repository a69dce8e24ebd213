// The rows the worker side adds, called as the worker calls them
// (from a thread of its own, through the dialog pointer) on a dialog that a
// real ShowOperationStatus runs; and the error log those rows leave.
#include <gtest/gtest.h>
#include <windows.h>

#include <shlwapi.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "exports/error_state.h"
#include "framework/module.h"
#include "operation/operation_state.h"
#include "operation/run_dialog.h"
#include "standins/tzrtl/tzrtl.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/ui_run.h"

namespace {

using namespace ui_test;
using testing_support::ReadFileBytes;

// The library's strings and templates, as fileoper.dll carries them, and the
// private log.
class LibraryResources : public testing::Environment {
    void SetUp() override {
        fw::SetResourceModule(LoadLibraryExW(L"fileoper.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE));
        logPath_ = std::make_unique<fault::ImportPatch>(GetModuleHandleW(nullptr), "TzRtl.dll", WORD(1121),
                                                        reinterpret_cast<const void*>(&ui::PrivateVendorPath));
    }
    void TearDown() override {
        const std::wstring log = ui::EmptyPrivateLog();
        testing_support::RemoveTree(log.substr(0, log.rfind(L"\\TzVozAdu")));
        logPath_.reset();
    }
    std::unique_ptr<fault::ImportPatch> logPath_;
};
testing::Environment* const g_resources = testing::AddGlobalTestEnvironment(new LibraryResources);

std::string Utf16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::vector<std::wstring> Joined(const std::vector<ui::ListRow>& rows) {
    std::vector<std::wstring> joined;
    for (const ui::ListRow& row : rows) joined.push_back(row.item + L"|" + row.status);
    return joined;
}

TEST(ResultRows, EachCodeGoesToItsListWithItsMessageAndLogLine) {
    const std::wstring log = ui::EmptyPrivateLog();
    const std::tuple<int32_t, uint32_t, const wchar_t*> rows[] = {
        {0, 0x10000, L"C:\\docs\\done.txt"}, {14, 0, L"C:\\docs\\plain.txt"},
        {int32_t(0x80000001), 0, L"C:\\docs\\in use.txt"}, {3, 0, L"C:\\docs\\broken.txt"}, {21, 1, L"C:\\docs\\big"}};
    std::vector<ui::ListRow> status, errors;
    std::pair<int, int> selected;  // in the status list, in the error list
    RunHeldOpen(0, [&](HWND dialog) {
        oper::RunDialog& run = *oper::g_state.dialog;
        SetLastError(32);
        oper::SetOperError(oper::kErrReadWrite);
        for (const auto& [code, itemData, text] : rows) run.AddResultRow(code, itemData, text);
        status = ui::ListRows(dialog, kStatusList);
        errors = ui::ListRows(dialog, kErrorList);
        selected = {ui::SelectedRow(dialog, kStatusList), ui::SelectedRow(dialog, kErrorList)};
    });
    EXPECT_EQ(Joined(status),
              (std::vector<std::wstring>{L"C:\\docs\\done.txt|Success", L"C:\\docs\\in use.txt|Reboot Required"}));
    EXPECT_EQ(Joined(errors),
              (std::vector<std::wstring>{L"C:\\docs\\broken.txt|File I/O error", L"C:\\docs\\big|Unknown error"}));
    EXPECT_EQ(selected, std::make_pair(1, 1));
    EXPECT_EQ(oper::g_state.errorCount, 2u);

    const std::string bytes = ReadFileBytes(log);
    const std::string tail = Utf16(L" Encrypting\r\n"  // the end of the header line, after the time
                                   L"C:\\docs\\in use.txt,Reboot Required(ErrorCode: 32)\r\n"
                                   L"C:\\docs\\broken.txt,File I/O error(ErrorCode: 32)\r\n"
                                   L"C:\\docs\\big,Unknown error(ErrorCode: 32)\r\n");
    ASSERT_GT(bytes.size(), tail.size());
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE")) << "no byte-order mark";
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
}

// The log switch in a key of this process alone: the runs of other tests
// beside this one keep their logs.
int WINAPI PrivateVendorKey(const char* name, char* out) {
    snprintf(out, MAX_PATH, "Software\\TzVendor\\test-%lu\\%s", GetCurrentProcessId(), name);
    return 1;
}

// The log as the next run finds it: exactly 2 MiB stays, one byte more is
// moved over the older backup; with the switch off nothing is touched.
TEST(ErrorLog, IsRotatedPastTwoMebibytesAndKeptOnlyWhenSwitchedOn) {
    const struct { const char* name; uint32_t kind; size_t size; bool on, rotated; } cases[] = {
        {"exactly 2 MiB", 0, 0x200000, true, false},
        {"one byte more", 1, 0x200001, true, true},
        {"switched off", 0, 0x200001, false, false},
    };
    const fault::ImportPatch privateKey(GetModuleHandleW(nullptr), "TzRtl.dll", WORD(1120), &PrivateVendorKey);
    char key[MAX_PATH];
    ASSERT_TRUE(TzRtl_MakeVendorKeyA("TzVozAdu", key));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring log = ui::EmptyPrivateLog(), backup = log + L".bak";
        const std::string before(c.size, 'x');
        ASSERT_TRUE(testing_support::WriteFileBytes(log, before) && testing_support::WriteFileBytes(backup, "old"));
        const DWORD on = c.on;
        SHSetValueA(HKEY_CURRENT_USER, key, "ErrorLog", REG_DWORD, &on, sizeof on);
        RunHeldOpen(c.kind, [](HWND) {});
        SHDeleteKeyA(HKEY_CURRENT_USER, std::string(key, strrchr(key, '\\')).c_str());
        const std::string after = ReadFileBytes(log), header = Utf16(c.kind ? L" Decrypting\r\n" : L" Encrypting\r\n");
        const std::string kept = c.rotated ? "" : before;
        EXPECT_TRUE(ReadFileBytes(backup) == (c.rotated ? before : "old"));
        if (!c.on) {
            EXPECT_TRUE(after == before);
            continue;
        }
        ASSERT_GT(after.size(), kept.size() + header.size());
        EXPECT_TRUE(after.compare(0, kept.size(), kept) == 0);
        EXPECT_LT(after.size(), kept.size() + 200) << "one header line";
        EXPECT_EQ(after.substr(after.size() - header.size()), header);
    }
}

}  // namespace
