#pragma once
// One operation run as the host starts it, and everything the host can learn
// of it afterwards: the nine results and the return value, the rows of the
// dialog's two lists, the lines the run added to the error log, and the
// entries it added to the event log and the record database.
#include <cstdint>
#include <string>
#include <vector>

#include "host/api.h"
#include "host/output.h"
#include "host/request_block.h"
#include "host/run_watch.h"

namespace docman {

struct RunOutcome {
    uint32_t returned = 0;
    uint64_t results[9] = {};
    std::vector<ListRow> statusRows;
    std::vector<ListRow> errorRows;
    std::vector<std::wstring> logLines;  // the run's header line first
    std::vector<std::wstring> screenshots;
    uint64_t eventsBefore = 0;   // entries the event log held before the run
    uint64_t recordsBefore = 0;  // adds and deletes of the record history before the run

    uint32_t fileTotal() const { return static_cast<uint32_t>(results[2]); }
    uint32_t filesDone() const { return static_cast<uint32_t>(results[2] >> 32); }
    uint32_t errorCount() const { return static_cast<uint32_t>(results[6] >> 32); }
};

// Who answers the dialogs of a run: a person at the screen (null), or a
// scripted user (see ScriptedUser) that takes its screenshots under
// screenshotBase (none when empty).
struct UserScript {
    std::wstring screenshotBase;
};

// Calls ShowOperationStatus with the request. False when the library has no
// such export.
bool RunOperation(const Api& api, const RunRequest& request, const UserScript* script, RunOutcome* outcome);

void PrintOutcome(Output& out, const RunOutcome& outcome);

}  // namespace docman
