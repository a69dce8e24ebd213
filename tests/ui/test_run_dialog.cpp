// The progress dialog as a host meets it: ShowOperationStatus runs it
// modally while a second thread plays the user.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "fileoper.h"
#include "tests/support/operation_request.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"

using testing_support::RequestBlock;
using testing_support::RunResults;

namespace {

TEST(ShowOperationStatus, RunsTheRequestAndHandsBackItsResults) {
    testing_support::TempDir dir;
    RequestBlock request(0, 0, L"", dir.path() + L"\\", {});
    RunResults results;
    EXPECT_EQ(ShowOperationStatus(request.get(), results.slot), 0u);
    EXPECT_EQ(results.slot[5], reinterpret_cast<uint64_t>(request.get()));
    EXPECT_EQ(results.Low(6), FILEOPER_STATE_FINISHED);
    EXPECT_EQ(results.High(6), 0u);
    EXPECT_EQ(results.slot[8], 0u);
    EXPECT_EQ(ShowOperationStatus(request.get(), nullptr), 0u);
}

}  // namespace
