// Per-call cost of the TzDevIo stand-in and the cost of a process's first
// call with an empty store and with one holding many marks. A store of
// its own for each, beside the other figures' files.
#include "bench/standin_bench.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "devio/devio.h"
#include "fileoper.h"

namespace bench {

namespace {

constexpr int kCallsTimed = 2000;
constexpr int kFilesPerFolder = 1000;  // Wine looks names up by listing their folder
constexpr int kStartRuns = 5;

ENCRYPT_INFO Descriptor() {
    ENCRYPT_INFO info = {};
    info.size = ENCRYPT_INFO_SIZE;
    strcpy(info.cipherName, "AES-256");
    return info;
}

bool Touch(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

// count files spread over folders of kFilesPerFolder below root.
std::vector<std::wstring> MakeFiles(const std::wstring& root, int count) {
    CreateDirectoryW(root.c_str(), nullptr);
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        const std::wstring folder = root + L"\\" + std::to_wstring(i / kFilesPerFolder);
        if (i % kFilesPerFolder == 0) CreateDirectoryW(folder.c_str(), nullptr);
        files.push_back(folder + L"\\f" + std::to_wstring(i));
        if (!Touch(files.back())) return {};
    }
    return files;
}

void UseStore(const std::wstring& store) { SetEnvironmentVariableW(L"TZDEVIO_STORE", store.c_str()); }

// Milliseconds per call of f over the files.
template <typename F>
double PerCall(const std::vector<std::wstring>& files, F f) {
    const double start = Now();
    for (const std::wstring& file : files)
        if (!f(file.c_str())) return -1;
    return (Now() - start) * 1000 / files.size();
}

struct StartCost {
    double process;    // ms from creating the child to its end
    double firstCall;  // ms of the child's first query, as it measured it
};

StartCost StartChild(const std::wstring& probe) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --first-call \"" + probe + L"\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    const double start = Now();
    StartCost cost = {-1, -1};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(writeEnd);
        writeEnd = nullptr;
        char text[64] = {};
        DWORD got = 0;
        ReadFile(readEnd, text, sizeof text - 1, &got, nullptr);
        WaitForSingleObject(pi.hProcess, INFINITE);
        cost = {(Now() - start) * 1000, atof(text)};
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (writeEnd) CloseHandle(writeEnd);
    CloseHandle(readEnd);
    return cost;
}

void ReportStart(const char* what, const std::wstring& probe) {
    std::vector<double> process, first;
    for (int i = 0; i < kStartRuns; ++i) {
        const StartCost c = StartChild(probe);
        process.push_back(c.process);
        first.push_back(c.firstCall);
    }
    std::sort(process.begin(), process.end());
    std::sort(first.begin(), first.end());
    printf("  %-34s first call %8.3f ms, whole process %7.1f ms (medians of %d)\n", what, first[kStartRuns / 2],
           process[kStartRuns / 2], kStartRuns);
}

}  // namespace

int FirstCallChild(const std::wstring& path) {
    const double start = Now();
    DevIoIsEncryptedW(path.c_str(), 0);
    printf("%.3f\n", (Now() - start) * 1000);
    return 0;
}

int RunStandinBench(const std::wstring& folder, int marks) {
    CreateDirectoryW(folder.c_str(), nullptr);
    ENCRYPT_INFO info = Descriptor();
    auto set = [&](const wchar_t* path) { return DevIoSetEncryptInfoW(path, &info) != 0; };
    auto query = [](const wchar_t* path) { return DevIoIsEncryptedW(path, 0) != 0; };
    auto clear = [](const wchar_t* path) { return DevIoClearEncryptInfoW(path, 0) != 0; };

    printf("\nTzDevIo stand-in (%d files a call kind):\n", kCallsTimed);
    UseStore(folder + L"\\store-calls");
    const std::vector<std::wstring> files = MakeFiles(folder + L"\\calls", kCallsTimed);
    if (files.empty()) return 1;
    const double setMs = PerCall(files, set), queryMs = PerCall(files, query), clearMs = PerCall(files, clear);
    printf("  %-34s %8.3f ms\n  %-34s %8.3f ms\n  %-34s %8.3f ms\n", "mark a file", setMs, "query a marked file", queryMs,
           "clear a file's mark", clearMs);

    const std::wstring probe = files.front();
    UseStore(folder + L"\\store-empty");
    ReportStart("start, empty store", probe);

    UseStore(folder + L"\\store-full");
    const std::vector<std::wstring> many = MakeFiles(folder + L"\\many", marks);
    if (many.empty()) return 1;
    const double fillMs = PerCall(many, set);
    printf("  %-34s %8.3f ms  (filling a store with %d marks)\n", "mark a file", fillMs, marks);
    ReportStart(("start, store of " + std::to_string(marks) + " marks").c_str(), probe);
    return setMs < 0 || queryMs < 0 || clearMs < 0 || fillMs < 0;
}

}  // namespace bench
