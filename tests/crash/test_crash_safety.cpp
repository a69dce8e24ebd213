// A worker process (crash_worker.cpp) works over the filter model and is
// killed at random moments, hundreds of times. After every kill the recovery
// (docman recover --apply) runs, and then each file's exact data must lie on
// disk whole at its path or at its destination: none may be left only in a
// leftover of the library (".tmp" beside the file, in the temporary folder
// or in the rescue folder), and none lost.
#include <gtest/gtest.h>

#include <iostream>
#include <random>

#include "host/recovery.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

// Starts the worker with its arguments and the handle of an inherited event
// it sets once its work has begun, lets it run for up to `longest` ms and
// kills it.
void RunAndKill(const std::wstring& arguments, DWORD longest, std::mt19937& random) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    std::wstring command = L"\"" + BinDir() + L"crash_worker.exe\" " + arguments + L" " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(started));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        << "start error " << GetLastError();
    // A loaded machine starts a worker slowly; only its early end is a failure.
    HANDLE waits[2] = {started, pi.hProcess};
    const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    Sleep(random() % longest);
    TerminateProcess(pi.hProcess, 9);
    WaitForSingleObject(pi.hProcess, INFINITE);
    for (HANDLE h : {pi.hThread, pi.hProcess, started}) CloseHandle(h);
    ASSERT_EQ(which, WAIT_OBJECT_0) << "worker ended before it began";
}

// The library's leftovers (".tmp") in the folders, with their plain data.
std::vector<std::pair<std::wstring, std::string>> Leftovers(const std::vector<std::wstring>& folders) {
    std::vector<std::pair<std::wstring, std::string>> found;
    for (const std::wstring& folder : folders)
        for (const std::wstring& name : TempFilesIn(folder))
            found.emplace_back(folder + L"\\" + name, PlainView(folder + L"\\" + name));
    return found;
}

bool Holds(const std::wstring& path, const std::string& bytes) { return FileExists(path) && PlainView(path) == bytes; }

const wchar_t* const kTree[] = {L"", L"\\A", L"\\A\\B"};

// Marks and a temporary folder of the test's own, which the workers inherit,
// and a rescue folder that starts and ends empty. Every loss fails the test.
class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryW(temp.c_str(), nullptr);
        SetTempFolder(temp);
        RemoveTree(rescue);
    }
    void TearDown() override {
        RemoveTree(rescue);
        std::cout << kills << " kills, " << restored << " documents put back from a leftover by the recovery, "
                  << keptInLeftover << " kept only in a leftover after recovery, " << losses.size() - keptInLeftover
                  << " lost\n";
        for (const std::string& loss : losses) ADD_FAILURE() << "not whole under its name: " << loss;
    }

    // `count` random documents in each of the tree's first `levels` folders,
    // mostly small, every `bigEvery`-th spanning several chunks; the
    // destination empty.
    void Build(size_t levels, int count, int bigEvery, size_t small) {
        for (const std::wstring& root : {src, dst}) RemoveTree(root);
        files.clear();
        for (const wchar_t* folder : std::vector<const wchar_t*>(kTree, kTree + levels)) {
            CreateDirectoryW((src + folder).c_str(), nullptr);
            for (int i = 0; i < count; ++i) {
                std::string bytes(i % bigEvery == 0 ? 100000 + random() % 300000 : random() % small, '\0');
                for (char& c : bytes) c = static_cast<char>(random());
                files.push_back({std::wstring(folder) + L"\\f" + std::to_wstring(i) + L".dat", bytes});
                ASSERT_TRUE(WriteFileBytes(src + files.back().first, bytes));
            }
        }
        CreateDirectoryW(dst.c_str(), nullptr);
    }

    // Kills the worker at a random moment, recovers, then looks for every
    // file whole at its path or its destination, and clears what leftovers
    // the recovery had no use for.
    void KillAndCheck(const wchar_t* mode, DWORD longest) {
        RunAndKill(std::wstring(mode) + L" \"" + src + L"\" \"" + dst + L"\"", longest, random);
        ++kills;
        std::vector<docman::Recovery> found;
        ASSERT_TRUE(docman::Recover(oper::JournalPath(), dir.path(), true, found));
        for (const docman::Recovery& recovery : found)
            restored += recovery.finding == docman::Finding::kLeftover && recovery.changed;
        std::vector<std::wstring> places = {temp, rescue};
        for (const wchar_t* folder : kTree) places.insert(places.end(), {src + folder, dst + folder});
        const auto leftovers = Leftovers(places);
        for (const auto& [name, bytes] : files) {
            if (Holds(src + name, bytes) || Holds(dst + name, bytes)) continue;
            bool kept = false;
            for (const auto& leftover : leftovers) kept = kept || leftover.second == bytes;
            if (kept) ++keptInLeftover;
            losses.push_back(Narrow(mode + (L" " + name)) + (kept ? ": kept only in a leftover" : ": lost"));
        }
        for (const auto& leftover : leftovers) DeleteFileW(leftover.first.c_str());
    }

    StandinStore store;
    TempDir dir;
    std::wstring src = dir / L"src", dst = dir / L"dst", temp = dir / L"temp";
    std::wstring rescue = dir.path().substr(0, 3) + kRescueName;
    std::mt19937 random{GetTickCount()};
    std::vector<std::pair<std::wstring, std::string>> files;
    int kills = 0, restored = 0, keptInLeftover = 0;
    std::vector<std::string> losses;
};

// Two hundred files encrypted and decrypted in place one after another, with
// room on the volume for a second copy and ("full") without.
TEST_F(CrashSafety, NoKillAtAnyMomentLosesAFile) {
    for (const wchar_t* mode : {L"files", L"full"}) {
        Build(1, 200, 10, 20000);
        for (int i = 0; i < 150 && !HasFatalFailure(); ++i) KillAndCheck(mode, 100);
    }
    EXPECT_GE(restored, 1) << "no kill landed between delete and rename: the test proves little";
}

// Whole runs over a tree: in-place encryptions with and without wipe,
// decryptions, and moves to a destination and back.
TEST_F(CrashSafety, NoKillOfAWholeRunLosesAFile) {
    for (const wchar_t* mode : {L"encrypt", L"wipe", L"decrypt", L"move"}) {
        for (int i = 0; i < 25 && !HasFatalFailure(); ++i) {
            Build(3, 12, 6, 9000);
            KillAndCheck(mode, 700);
        }
    }
    EXPECT_EQ(kills, 4 * 25);
}

}  // namespace
