#pragma once
// The message shown for a module error code. The status and error lists, the
// error choice dialog and the host's reports all go through this one table.
#include <cstdint>

namespace oper {

struct ErrorMessage {
    uint32_t code;
    uint32_t stringId;
};

constexpr int kErrorMessageCount = 22;

// Searched in this order; a code without an entry shows IDS_ERR_UNKNOWN.
extern const ErrorMessage ErrorMessageTable[kErrorMessageCount];

uint32_t MessageIdForError(int32_t code);

}  // namespace oper
