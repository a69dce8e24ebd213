// Crash safety: a worker process (crash_worker.cpp) works over the filter
// model and is killed at random moments, hundreds of times. After every kill
// each file's exact data must still lie on disk whole (scrambled where
// marked): at its path, at its destination, or in a leftover the library's
// name (".tmp") and place tell apart from the user's files (beside the file,
// in the temporary folder or in the rescue folder). Zero losses is the only
// pass. CrashSafety kills in-place encryptions and decryptions of a few
// hundred files, one after another; RunCrash kills whole runs: in-place
// encryptions with and without wipe, decryptions, and moves to a destination.
#include <gtest/gtest.h>

#include <iostream>
#include <random>

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

// Random bytes, mostly small documents, every `bigEvery`-th spanning several chunks.
std::string RandomDocument(std::mt19937& random, int index, int bigEvery, size_t small) {
    const size_t size = index % bigEvery == 0 ? 100000 + random() % 300000 : random() % small;
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Marks and a temporary folder of the test's own, which the workers inherit,
// and a rescue folder that starts and ends empty. Every loss fails the test.
class KillTest : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryW(temp.c_str(), nullptr);
        SetTempFolder(temp);
        RemoveTree(rescue);
    }
    void TearDown() override {
        RemoveTree(rescue);
        for (const std::string& lost : losses) ADD_FAILURE() << "lost " << lost;
    }

    StandinStore store;
    TempDir dir;
    std::wstring temp = dir / L"temp", rescue = dir.path().substr(0, 3) + kRescueName;
    int kills = 0;
    std::vector<std::string> losses;
};

constexpr int kFiles = 200;
constexpr int kKillsPerFileMode = 150;

class CrashSafety : public KillTest {
protected:
    void SetUp() override {
        KillTest::SetUp();
        CreateDirectoryW(data.c_str(), nullptr);
        std::mt19937 random(20261206);
        for (int i = 0; i < kFiles; ++i) {
            wchar_t name[32];
            swprintf(name, 32, L"\\f%03d.dat", i);
            files.push_back({data + name, RandomDocument(random, i, 10, 20000)});
            ASSERT_TRUE(WriteFileBytes(files.back().first, files.back().second));
        }
    }

    // Checks every file, then restores the ones kept only in a leftover and
    // clears the leftovers for the next round.
    void CheckAndRecover() {
        const auto leftovers = Leftovers({data, temp, rescue});
        for (const auto& [path, bytes] : files) {
            ++filesChecked;
            if (PlainView(path) == bytes) continue;
            bool kept = false;
            for (const auto& leftover : leftovers) kept = kept || leftover.second == bytes;
            if (kept) {
                ++keptInLeftover;
            } else {
                losses.push_back(Narrow(path) + ": " + std::to_string(bytes.size()) + " bytes, found " +
                                 std::to_string(PlainView(path).size()) + (IsMarked(path) ? " (marked)" : ""));
            }
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ASSERT_TRUE(WriteFileBytes(path, Stored(bytes, IsMarked(path))));
        }
        for (const auto& leftover : leftovers) DeleteFileW(leftover.first.c_str());
    }

    void RunMode(const wchar_t* mode, std::mt19937& random) {
        for (int i = 0; i < kKillsPerFileMode && !HasFatalFailure(); ++i) {
            RunAndKill(std::wstring(mode) + L" \"" + data + L"\" -", 100, random);
            ++kills;
            CheckAndRecover();
        }
    }

    std::wstring data = dir / L"documents";
    std::vector<std::pair<std::wstring, std::string>> files;
    long filesChecked = 0, keptInLeftover = 0;
};

TEST_F(CrashSafety, NoKillAtAnyMomentLosesAFile) {
    std::mt19937 random(GetTickCount());
    RunMode(L"files", random);
    RunMode(L"full", random);
    std::cout << "crash safety: " << kills << " kills, " << filesChecked << " file checks, " << keptInLeftover
              << " kept only in a leftover, " << losses.size() << " lost\n";
    EXPECT_GE(keptInLeftover, 1) << "no kill landed between delete and rename: the test proves little";
}

constexpr int kKillsPerRunMode = 25;
const wchar_t* const kFolders[] = {L"", L"\\A", L"\\A\\B"};

class RunCrash : public KillTest {
protected:
    void Build(std::mt19937& random) {
        for (const std::wstring& root : {src, dst}) RemoveTree(root);
        files.clear();
        for (const wchar_t* folder : kFolders) {
            CreateDirectoryW((src + folder).c_str(), nullptr);
            for (int i = 0; i < 12; ++i) {
                files.push_back({std::wstring(folder) + L"\\f" + std::to_wstring(i) + L".dat",
                                 RandomDocument(random, i, 6, 9000)});
                ASSERT_TRUE(WriteFileBytes(src + files.back().first, files.back().second));
            }
        }
        CreateDirectoryW(dst.c_str(), nullptr);
    }

    void KillAndCheck(const wchar_t* mode, std::mt19937& random) {
        RunAndKill(std::wstring(mode) + L" \"" + src + L"\" \"" + dst + L"\"", 700, random);
        ++kills;
        std::vector<std::wstring> places = {temp, rescue};
        for (const wchar_t* folder : kFolders) places.insert(places.end(), {src + folder, dst + folder});
        const auto leftovers = Leftovers(places);
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
        for (int i = 0; i < kKillsPerRunMode && !HasFatalFailure(); ++i) {
            Build(random);
            KillAndCheck(mode, random);
        }
    }
    std::cout << "run crash safety: " << kills << " kills, " << losses.size() << " lost\n";
    EXPECT_EQ(kills, 4 * kKillsPerRunMode);
}

}  // namespace
