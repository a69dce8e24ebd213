// The progress dialog as a host meets it: ShowOperationStatus runs it
// modally while a second thread plays the user.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/ui_run.h"

namespace {

using namespace ui_test;

TEST(ShowOperationStatus, HandsBackTheResultsAndAllowsNone) {
    testing_support::TempDir dir;
    const docman::RunRequest request = Request(0, 0, {});
    const std::vector<uint32_t> block = docman::BuildRequestBlock(request);
    uint64_t results[FILEOPER_RESULT_SLOTS] = {};
    EXPECT_EQ(ShowOperationStatus(docman::AsRequest(block), results), 0u);
    EXPECT_EQ(results[5], reinterpret_cast<uint64_t>(docman::AsRequest(block)));
    EXPECT_EQ(static_cast<uint32_t>(results[6]), FILEOPER_STATE_FINISHED);
    EXPECT_EQ(results[8], 0u);
    EXPECT_EQ(ShowOperationStatus(docman::AsRequest(block), nullptr), 0u);
}

}  // namespace
