// Crash safety of whole runs: a worker process runs in-place encryptions
// with and without wipe, decryptions and moves to a destination over the
// filter model, and is killed at random moments. After every kill each
// file's exact data must lie on disk whole (scrambled where marked) at its
// path, at its destination, or in a leftover told apart by its name (".tmp")
// and place (beside the file, in the temporary folder or the rescue folder).
// Zero losses is the only pass.
#include <iostream>

#include "tests/crash/kill_worker.h"

namespace {

using namespace testing_support;

constexpr int kKillsPerMode = 25;
const wchar_t* const kFolders[] = {L"", L"\\A", L"\\A\\B"};

class RunCrash : public crash_test::KillTest {
protected:
    void Build(std::mt19937& random) {
        RemoveTree(src);
        RemoveTree(dst);
        files.clear();
        for (const wchar_t* folder : kFolders) {
            CreateDirectoryW((src + folder).c_str(), nullptr);
            for (int i = 0; i < 12; ++i) {
                files.push_back({std::wstring(folder) + L"\\f" + std::to_wstring(i) + L".dat",
                                 crash_test::RandomDocument(random, i, 6, 9000)});
                ASSERT_TRUE(WriteFileBytes(src + files.back().first, files.back().second));
            }
        }
        CreateDirectoryW(dst.c_str(), nullptr);
    }

    void KillAndCheck(const wchar_t* mode, std::mt19937& random) {
        crash_test::RunAndKill(std::wstring(mode) + L" \"" + src + L"\" \"" + dst + L"\"", 700, random);
        ++kills;
        std::vector<std::wstring> places = {temp, rescue};
        for (const wchar_t* folder : kFolders) places.insert(places.end(), {src + folder, dst + folder});
        const auto leftovers = crash_test::Leftovers(places);
        for (const auto& [name, bytes] : files) {
            bool kept = PlainView(src + name) == bytes || PlainView(dst + name) == bytes;
            for (const auto& leftover : leftovers) kept = kept || leftover.second == bytes;
            if (!kept) losses.push_back(Narrow(std::wstring(mode) + L" " + name));
        }
        RemoveTree(temp);
        CreateDirectoryW(temp.c_str(), nullptr);
    }

    std::wstring src = dir / L"src", dst = dir / L"dst";
    std::vector<std::pair<std::wstring, std::string>> files;
};

TEST_F(RunCrash, NoKillOfAWholeRunLosesAFile) {
    std::mt19937 random(GetTickCount());
    for (const wchar_t* mode : {L"encrypt", L"wipe", L"decrypt", L"move"}) {
        for (int i = 0; i < kKillsPerMode && !HasFatalFailure(); ++i) {
            Build(random);
            KillAndCheck(mode, random);
        }
    }
    std::cout << "run crash safety: " << kills << " kills, " << losses.size() << " lost\n";
    EXPECT_EQ(kills, 4 * kKillsPerMode);
}

}  // namespace
