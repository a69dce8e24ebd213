// docman as a user runs it: the built-in example of `./dev run` end to end,
// and the answers to bad command lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using testing_support::RunBinProgram;
using testing_support::TempDir;

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Docman, DemoEncryptsAndDecryptsTheSampleAndPassesItsChecks) {
    testing_support::StandinStore store;
    TempDir dir;
    const auto run = RunBinProgram(L"docman.exe", L"--json demo \"" + dir.path() + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Count(run.output, "\"passed\": true"), 3u) << run.output;
    EXPECT_EQ(Count(run.output, "\"passed\": false"), 0u);
    // The one refusal of the example carries its code and message.
    EXPECT_NE(run.output.find("\"error_code\": 14, \"message\": \"File is not encrypted\""), std::string::npos)
        << run.output;
}

TEST(Docman, BadCommandLinesExitWith2AndTouchNothing) {
    TempDir dir;
    const std::wstring file = dir / L"a.txt";
    testing_support::WriteFileBytes(file, "data");
    const std::wstring quoted = L"\"" + file + L"\"";
    const std::wstring badLines[] = {L"no-such-command", L"copy " + quoted, L"encrypt " + quoted + L" --cancel-after 150%",
                                     L"decrypt " + quoted + L" --cancel-after half", L"test-create"};
    for (const std::wstring& args : badLines) {
        const auto run = RunBinProgram(L"docman.exe", args);
        EXPECT_EQ(run.exitCode, 2u) << testing_support::Narrow(args) << ", start error " << run.startError;
    }
    EXPECT_EQ(testing_support::ReadFileBytes(file), "data");
}

TEST(Docman, FailedCallExitsWith1AndReportsTheCode) {
    TempDir dir;
    const auto run = RunBinProgram(L"docman.exe", L"copy \"" + (dir / L"missing.txt") + L"\" \"" + (dir / L"b.txt") + L"\"");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("error_code: 0x1"), std::string::npos) << run.output;
}

}  // namespace
