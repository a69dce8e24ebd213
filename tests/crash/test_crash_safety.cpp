// Crash safety: a worker process encrypts and decrypts a few hundred files in
// place, round after round, and is killed at random moments, hundreds of
// times. After every kill each file's exact data must still exist whole: at
// its path (plain or marked), or in a leftover the library's name pattern
// and place tell apart from the user's files (a temporary file beside it, in
// the temporary folder or in the rescue folder). Zero losses is the only
// pass.
#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using testing_support::FileExists;
using testing_support::ListFolder;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

constexpr int kFiles = 200;
constexpr int kKillsPerMode = 150;
const wchar_t kRescueName[] = L"7a3e5c19-4b2d-4e8f-9c61-2d5b8a0f3e47";

bool IsLibraryTempName(const std::wstring& name) {
    return name.size() > 4 && name.substr(name.size() - 4) == L".tmp";
}

struct Tally {
    int kills = 0;
    long filesChecked = 0;
    long keptInLeftover = 0;
    std::vector<std::string> losses;
};

class CrashSafety : public ::testing::Test {
protected:
    struct File {
        std::wstring path;
        std::string bytes;
    };

    void SetUp() override {
        CreateDirectoryW(data.c_str(), nullptr);
        CreateDirectoryW(temp.c_str(), nullptr);
        std::mt19937 random(20261206);
        for (int i = 0; i < kFiles; ++i) {
            // Mostly small documents, some spanning several 64 KiB chunks.
            const size_t size = (i % 10 == 0) ? 100000 + random() % 300000 : random() % 20000;
            std::string bytes(size, '\0');
            for (char& c : bytes) c = static_cast<char>(random());
            wchar_t name[32];
            swprintf(name, 32, L"\\f%03d.dat", i);
            files.push_back({data + name, bytes});
            ASSERT_TRUE(WriteFileBytes(files.back().path, bytes));
        }
        testing_support::RemoveTree(RescueFolder());
        // The workers inherit a temporary folder of the test's own.
        for (const wchar_t* name : {L"TMP", L"TEMP"}) SetEnvironmentVariableW(name, temp.c_str());
    }

    void TearDown() override { testing_support::RemoveTree(RescueFolder()); }

    std::wstring RescueFolder() const { return dir.path().substr(0, 3) + kRescueName; }

    // Starts the worker, waits until it has begun, lets it run for a random
    // while and kills it.
    void RunAndKill(const wchar_t* mode, std::mt19937& random) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
        std::wstring command = L"\"" + testing_support::BinDir() + L"crash_worker.exe\" \"" + data + L"\" " + mode + L" " +
                               std::to_wstring(random() % kFiles) + L" " +
                               std::to_wstring(reinterpret_cast<uintptr_t>(started));
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
            << "worker not started after " << tally.kills << " kills: error " << GetLastError();
        HANDLE waits[2] = {started, pi.hProcess};
        const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        DWORD exitCode = 0;
        GetExitCodeProcess(pi.hProcess, &exitCode);
        ASSERT_EQ(which, WAIT_OBJECT_0) << "worker ended before it began: exit code " << exitCode;
        Sleep(random() % 100);
        TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, INFINITE);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        CloseHandle(started);
        ++tally.kills;
    }

    std::vector<std::wstring> Leftovers() const {
        std::vector<std::wstring> found;
        for (const std::wstring& name : ListFolder(data))
            if (IsLibraryTempName(name)) found.push_back(data + L"\\" + name);
        for (const std::wstring& folder : {temp, RescueFolder()})
            for (const std::wstring& name : ListFolder(folder))
                if (IsLibraryTempName(name)) found.push_back(folder + L"\\" + name);
        return found;
    }

    // Checks every file, then restores the ones kept only in a leftover and
    // clears the leftovers for the next round.
    void CheckAndRecover() {
        const std::vector<std::wstring> leftovers = Leftovers();
        std::vector<std::string> leftoverData;
        for (const std::wstring& path : leftovers) leftoverData.push_back(ReadFileBytes(path));
        for (const File& f : files) {
            ++tally.filesChecked;
            if (FileExists(f.path) && ReadFileBytes(f.path) == f.bytes) continue;
            bool kept = false;
            for (const std::string& d : leftoverData) kept = kept || d == f.bytes;
            if (kept) {
                ++tally.keptInLeftover;
            } else {
                tally.losses.push_back(Describe(f, leftovers));
            }
            SetFileAttributesW(f.path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ASSERT_TRUE(WriteFileBytes(f.path, f.bytes));
        }
        for (const std::wstring& path : leftovers) DeleteFileW(path.c_str());
    }

    // What was found of a lost file, for the failure message.
    std::string Describe(const File& f, const std::vector<std::wstring>& leftovers) const {
        std::string text = testing_support::Narrow(f.path) + ": expected " + std::to_string(f.bytes.size()) +
                           " bytes, found " +
                           (FileExists(f.path) ? std::to_string(ReadFileBytes(f.path).size()) + " bytes" : "nothing") +
                           (testing_support::IsMarked(f.path) ? " (marked)" : "") + "; leftovers:";
        for (const std::wstring& l : leftovers)
            text += " " + testing_support::Narrow(l) + "=" + std::to_string(ReadFileBytes(l).size());
        return text;
    }

    void RunMode(const wchar_t* mode, std::mt19937& random) {
        for (int i = 0; i < kKillsPerMode; ++i) {
            RunAndKill(mode, random);
            CheckAndRecover();
            if (HasFatalFailure()) return;
        }
    }

    // Marks of this test only; the workers inherit the store.
    testing_support::StandinStore store;
    TempDir dir;
    std::wstring data = dir / L"documents";
    std::wstring temp = dir / L"temp";
    std::vector<File> files;
    Tally tally;
};

TEST_F(CrashSafety, NoKillAtAnyMomentLosesAFile) {
    std::mt19937 random(GetTickCount());
    RunMode(L"normal", random);
    RunMode(L"full", random);
    std::cout << "crash safety: " << tally.kills << " kills, " << tally.filesChecked << " file checks, "
              << tally.keptInLeftover << " kept only in a leftover, " << tally.losses.size() << " lost\n";
    EXPECT_GE(tally.keptInLeftover, 1) << "no kill landed between delete and rename: the test proves little";
    for (const std::string& lost : tally.losses) ADD_FAILURE() << "lost " << lost;
}

}  // namespace
