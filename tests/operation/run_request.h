#pragma once
// A whole run of the library as a host starts it, with nobody at the screen:
// the dialog closes by itself at the end.
#include <string>
#include <vector>

#include "tests/ui/ui_run.h"

namespace testing_support {

struct RunOutcome : ui_test::RunEnd {
    uint32_t FilesDone() const { return High(2); }
    uint32_t ReverseFlag() const { return Low(3); }
    uint32_t ErrorCount() const { return High(6); }
};

// Runs kind over items with flags.
inline RunOutcome RunOperation(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items,
                               const std::wstring& destination = L"") {
    RunOutcome outcome;
    static_cast<ui_test::RunEnd&>(outcome) =
        ui_test::RunWithUser(ui_test::Request(kind, flags | FILEOPER_FLAG_CLOSE_AT_END, items, destination), [] {});
    return outcome;
}

}  // namespace testing_support
