// docman as a user runs it: the built-in example of `./dev run` end to end,
// and the answers to bad command lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/product.h"
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

// The main job: three runs through the progress dialog, answered by the
// scripted user; every document must keep its bytes after each run.
TEST(Docman, DemoRunsThreeOperationsAndKeepsEveryDocumentWhole) {
    testing_support::StandinStore store;
    TempDir dir;
    const auto run = RunBinProgram(L"docman.exe", L"--json demo \"" + dir.path() + L"\" --scripted");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Count(run.output, "\"documents_whole\": 128"), 3u) << run.output;
    EXPECT_EQ(Count(run.output, "\"every_document_whole\": true"), 1u);
    // The ledger in use fails both encryptions; the vault's failure is undone.
    EXPECT_EQ(Count(run.output, "ledger.xlsx\", \"status\": \"Create file error"), 2u) << run.output;
    EXPECT_EQ(Count(run.output, "\"error_count\": 1"), 2u);
    EXPECT_EQ(Count(run.output, "\"reverse_progress\": 0"), 3u);
}

// The host example of the README: one folder encrypted in place through the
// progress dialog, which closes by itself when nothing failed.
TEST(Docman, HostExampleEncryptsAFolder) {
    testing_support::StandinStore store;
    TempDir dir;
    CreateDirectoryW((dir / L"docs").c_str(), nullptr);
    testing_support::WriteFileBytes(dir / L"docs\\a.txt", "alpha");
    testing_support::WriteFileBytes(dir / L"docs\\b.txt", "beta");
    const auto run = RunBinProgram(L"host_example.exe", L"\"" + (dir / L"docs") + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("items 3 of 3, errors 0, done"), std::string::npos) << run.output;
    EXPECT_TRUE(testing_support::IsMarked(dir / L"docs\\a.txt"));
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

}  // namespace
