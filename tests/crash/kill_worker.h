#pragma once
// What the crash-safety tests share: a worker started and killed at a random
// moment, the data the library's leftovers hold, read as the filter hands
// them out, and a fixture that counts the losses.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/filter_model.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

namespace crash_test {

// Starts the worker with its arguments and the handle of an inherited event
// it sets once its work has begun, lets it run for up to `longest` ms and
// kills it.
inline void RunAndKill(const std::wstring& arguments, DWORD longest, std::mt19937& random) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    std::wstring command = L"\"" + testing_support::BinDir() + L"crash_worker.exe\" " + arguments + L" " +
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
inline std::vector<std::pair<std::wstring, std::string>> Leftovers(const std::vector<std::wstring>& folders) {
    std::vector<std::pair<std::wstring, std::string>> found;
    for (const std::wstring& folder : folders)
        for (const std::wstring& name : testing_support::TempFilesIn(folder))
            found.emplace_back(folder + L"\\" + name, testing_support::PlainView(folder + L"\\" + name));
    return found;
}

// Random bytes, mostly small documents, every `bigEvery`-th spanning several chunks.
inline std::string RandomDocument(std::mt19937& random, int index, int bigEvery, size_t small) {
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
        testing_support::SetTempFolder(temp);
        testing_support::RemoveTree(rescue);
    }
    void TearDown() override {
        testing_support::RemoveTree(rescue);
        for (const std::string& lost : losses) ADD_FAILURE() << "lost " << lost;
    }

    testing_support::StandinStore store;
    testing_support::TempDir dir;
    std::wstring temp = dir / L"temp";
    std::wstring rescue = dir.path().substr(0, 3) + testing_support::kRescueName;
    int kills = 0;
    std::vector<std::string> losses;
};

}  // namespace crash_test
