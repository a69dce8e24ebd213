// Crash safety of whole runs: a worker process runs in-place encryptions
// with and without wipe, decryptions and moves to a destination, and is
// killed at random moments. After every kill each file's exact data must
// exist whole at its path, at its destination, or in a leftover told apart
// by its name (".tmp") and place (beside the file, in the temporary folder
// or the rescue folder). Zero losses is the only pass.
#include <gtest/gtest.h>
#include <windows.h>

#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace testing_support;

constexpr int kKillsPerMode = 25;
const wchar_t* const kFolders[] = {L"", L"\\A", L"\\A\\B"};
const wchar_t kRescueName[] = L"7a3e5c19-4b2d-4e8f-9c61-2d5b8a0f3e47";

class RunCrash : public ::testing::Test {
protected:
    void Build(std::mt19937& random) {
        RemoveTree(src);
        RemoveTree(dst);
        files.clear();
        for (const wchar_t* folder : kFolders) {
            CreateDirectoryW((src + folder).c_str(), nullptr);
            for (int i = 0; i < 12; ++i) {
                const size_t size = i % 6 == 0 ? 100000 + random() % 200000 : random() % 9000;
                std::string bytes(size, '\0');
                for (char& c : bytes) c = static_cast<char>(random());
                files.push_back({std::wstring(folder) + L"\\f" + std::to_wstring(i) + L".dat", bytes});
                ASSERT_TRUE(WriteFileBytes(src + files.back().first, bytes));
            }
        }
        CreateDirectoryW(dst.c_str(), nullptr);
    }

    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        std::vector<std::wstring> places = {temp, dir.path().substr(0, 3) + kRescueName};
        for (const wchar_t* folder : kFolders) places.insert(places.end(), {src + folder, dst + folder});
        for (const std::wstring& place : places)
            for (const std::wstring& name : ListFolder(place))
                if (name.size() > 4 && name.substr(name.size() - 4) == L".tmp") found.push_back(ReadFileBytes(place + L"\\" + name));
        return found;
    }

    void KillAndCheck(const wchar_t* mode, std::mt19937& random) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
        std::wstring command = L"\"" + BinDir() + L"run_crash_worker.exe\" " + mode + L" \"" + src + L"\" \"" + dst +
                               L"\" " + std::to_wstring(reinterpret_cast<uintptr_t>(started));
        SetEnvironmentVariableW(L"TMP", temp.c_str());
        SetEnvironmentVariableW(L"TEMP", temp.c_str());
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
            << "start error " << GetLastError();
        // A loaded machine starts a worker slowly; only its early end is a failure.
        HANDLE waits[2] = {started, pi.hProcess};
        ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, INFINITE), WAIT_OBJECT_0) << "worker ended before it started";
        Sleep(random() % 700);
        TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, INFINITE);
        for (HANDLE h : {pi.hThread, pi.hProcess, started}) CloseHandle(h);
        ++kills;

        const std::vector<std::string> leftovers = Leftovers();
        for (const auto& [name, bytes] : files) {
            bool kept = ReadFileBytes(src + name) == bytes || ReadFileBytes(dst + name) == bytes;
            for (const std::string& leftover : leftovers) kept = kept || leftover == bytes;
            if (!kept) losses.push_back(Narrow(std::wstring(mode) + L" " + name));
        }
        RemoveTree(temp);
        CreateDirectoryW(temp.c_str(), nullptr);
    }

    StandinStore store;
    TempDir dir;
    std::wstring src = dir / L"src", dst = dir / L"dst", temp = dir / L"temp";
    std::vector<std::pair<std::wstring, std::string>> files;
    int kills = 0;
    std::vector<std::string> losses;
};

TEST_F(RunCrash, NoKillOfAWholeRunLosesAFile) {
    std::mt19937 random(GetTickCount());
    CreateDirectoryW(temp.c_str(), nullptr);
    for (const wchar_t* mode : {L"encrypt", L"wipe", L"decrypt", L"move"}) {
        for (int i = 0; i < kKillsPerMode && !HasFatalFailure(); ++i) {
            Build(random);
            KillAndCheck(mode, random);
        }
    }
    std::cout << "run crash safety: " << kills << " kills, " << losses.size() << " lost\n";
    EXPECT_EQ(kills, 4 * kKillsPerMode);
    for (const std::string& lost : losses) ADD_FAILURE() << "lost " << lost;
}

}  // namespace
