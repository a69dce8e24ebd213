#pragma once
// A whole run of the library as a host starts it, for the tests.
#include <windows.h>

#include <string>
#include <vector>

#include "fileoper.h"
#include "host/request_block.h"

namespace testing_support {

struct RunOutcome {
    uint32_t returned = 0;
    uint64_t results[FILEOPER_RESULT_SLOTS] = {};
    const OperationRequest* request = nullptr;
    uint32_t FilesDone() const { return static_cast<uint32_t>(results[2] >> 32); }
    uint32_t ReverseFlag() const { return static_cast<uint32_t>(results[3]); }
    uint32_t ErrorCount() const { return static_cast<uint32_t>(results[6] >> 32); }
};

// Runs kind over items with flags (the dialog closes by itself at the end).
inline RunOutcome RunOperation(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items,
                               const std::wstring& destination = L"") {
    docman::RunRequest request;
    request.kind = kind;
    request.flags = flags | FILEOPER_FLAG_CLOSE_AT_END | (destination.empty() ? 0 : FILEOPER_FLAG_TO_DESTINATION);
    request.destination = destination;
    request.items = items;
    BuildEncryptInfoW(nullptr, &request.info);
    const std::vector<uint32_t> block = docman::BuildRequestBlock(request);
    RunOutcome outcome;
    outcome.request = docman::AsRequest(block);
    outcome.returned = ShowOperationStatus(outcome.request, outcome.results);
    return outcome;
}

}  // namespace testing_support
