// The code-to-message table: which string the lists, the error choice and the
// host show for each module error code.
#include <gtest/gtest.h>

#include <cstdint>

#include "ui/error_messages.h"

namespace {

using oper::MessageIdForError;

// Codes 0 to 20 and the reboot code have a message each; every other code,
// 21 (out of memory) included, is an unknown error.
TEST(MessageIdForError, GivesTheMessageOfEachModuleErrorCode) {
    const uint32_t expected[] = {1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029, 1030, 1031,
                                 1032, 1033, 1036, 1037, 57345, 57348, 57349, 57350, 57351, 57352};
    for (int32_t code = 0; code <= 20; ++code) EXPECT_EQ(MessageIdForError(code), expected[code]) << code;
    EXPECT_EQ(MessageIdForError(static_cast<int32_t>(0x80000001u)), 1040u);
    for (int64_t code : {21LL, 22LL, 23LL, 1034LL, 1040LL, -1LL, 0x80000000LL, 0x80000002LL, 0x7FFFFFFFLL})
        EXPECT_EQ(MessageIdForError(static_cast<int32_t>(code)), 1038u) << code;
}

}  // namespace
