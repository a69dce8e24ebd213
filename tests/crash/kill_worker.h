#pragma once
// What the crash-safety tests share: a worker started and killed at a random
// moment, and the data the library's leftovers hold, read as the filter
// hands them out.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/filter_model.h"
#include "tests/support/product.h"
#include "tests/support/temp_dir.h"

namespace crash_test {

const wchar_t kRescueName[] = L"7a3e5c19-4b2d-4e8f-9c61-2d5b8a0f3e47";

// Starts a program of build/bin with its arguments and the handle of an
// inherited event it sets once its work has begun, lets it run for up to
// `longest` ms and kills it.
inline void RunAndKill(const std::wstring& program, const std::wstring& arguments, DWORD longest,
                       std::mt19937& random) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE started = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    std::wstring command = L"\"" + testing_support::BinDir() + program + L"\" " + arguments + L" " +
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
        for (const std::wstring& name : testing_support::ListFolder(folder))
            if (name.size() > 4 && name.substr(name.size() - 4) == L".tmp")
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

}  // namespace crash_test
