// docman as a user runs it: the built-in example of `./dev run` end to end,
// and the README's host example.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/product.h"
#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The main job: three runs through the progress dialog, answered by the
// scripted user; every document must keep its bytes after each run.
TEST(Docman, DemoRunsThreeOperationsAndKeepsEveryDocumentWhole) {
    StandinStore store;
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
    StandinStore store;
    TempDir dir;
    CreateDirectoryW((dir / L"docs").c_str(), nullptr);
    WriteFileBytes(dir / L"docs\\a.txt", "alpha");
    WriteFileBytes(dir / L"docs\\b.txt", "beta");
    const auto run = RunBinProgram(L"host_example.exe", L"\"" + (dir / L"docs") + L"\"");
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("items 3 of 3, errors 0, done"), std::string::npos) << run.output;
    EXPECT_TRUE(IsMarked(dir / L"docs\\a.txt"));
}

}  // namespace
