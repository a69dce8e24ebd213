// A whole run through ShowOperationStatus at scale: an in-place encryption of
// N small files that fails on its last item (a folder refused its mark) and
// is undone (the preset Undo). The encryption and the undo are each timed
// per file, with the time the worker spent waiting on the dialog's thread.
//
//   run_bench [--files N] [FOLDER]
//
// One size per process, so that the peak memory reported is that size's.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "fileoper.h"
#include "host/request_block.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

namespace {

using bench::Now;
using bench::WorkingSetMiB;

constexpr int kFilesPerFolder = 1000;
constexpr DWORD kFileSize = 512;

// Seconds the library spent in SendMessageW to a window of another thread:
// every list row the worker adds or takes is such a call.
volatile double g_crossThreadSeconds = 0;

LRESULT WINAPI TimedSendMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
    static const auto real = fault::Real(&SendMessageW, "user32.dll", "SendMessageW");
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) return real(window, message, w, l);
    const double start = Now();
    const LRESULT result = real(window, message, w, l);
    g_crossThreadSeconds += Now() - start;
    return result;
}

// When the run reached the item whose mark is refused: the undo starts there.
std::wstring g_refusedItem;
volatile double g_refusedAt = 0;
volatile double g_waitingAtRefusal = 0;
volatile double g_workingSetAtRefusal = 0;


int WINAPI NotedSetEncryptInfo(const wchar_t* path, ENCRYPT_INFO* info) {
    static const auto real = reinterpret_cast<decltype(&NotedSetEncryptInfo)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"TzDevIo.dll"), MAKEINTRESOURCEA(171))));
    if (_wcsicmp(path, g_refusedItem.c_str()) == 0) {
        g_refusedAt = Now();
        g_waitingAtRefusal = g_crossThreadSeconds;
        g_workingSetAtRefusal = WorkingSetMiB();
    }
    return real(path, info);
}

bool WriteSmallFile(const std::wstring& path, int seed) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char data[kFileSize];
    for (DWORD i = 0; i < kFileSize; ++i) data[i] = static_cast<char>((seed * 131 + i * 7) >> 1);
    DWORD written = 0;
    const bool ok = WriteFile(h, data, kFileSize, &written, nullptr) && written == kFileSize;
    CloseHandle(h);
    return ok;
}

// root\docs\dNNN\fNNNN.txt, a thousand files a folder.
bool MakeTree(const std::wstring& docs, int files) {
    if (!CreateDirectoryW(docs.c_str(), nullptr)) return false;
    std::wstring folder;
    for (int i = 0; i < files; ++i) {
        if (i % kFilesPerFolder == 0) {
            folder = docs + L"\\d" + std::to_wstring(i / kFilesPerFolder);
            if (!CreateDirectoryW(folder.c_str(), nullptr)) return false;
        }
        if (!WriteSmallFile(folder + L"\\f" + std::to_wstring(i) + L".txt", i)) return false;
    }
    return true;
}

struct RunFigures {
    double seconds = 0;
    double waiting = 0;
    uint32_t returned = 0;
    uint64_t errors = 0;
};

RunFigures Run(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items) {
    docman::RunRequest request;
    request.kind = kind;
    request.flags = flags | FILEOPER_FLAG_CLOSE_AT_END;
    BuildEncryptInfoW(nullptr, &request.info);
    request.items = items;
    const std::vector<uint32_t> block = docman::BuildRequestBlock(request);
    uint64_t results[FILEOPER_RESULT_SLOTS] = {};
    g_crossThreadSeconds = 0;
    const double start = Now();
    RunFigures figures;
    figures.returned = ShowOperationStatus(docman::AsRequest(block), results);
    figures.seconds = Now() - start;
    figures.waiting = g_crossThreadSeconds;
    figures.errors = results[6] >> 32;
    return figures;
}

void Print(const char* what, const RunFigures& f, int files) {
    printf("  %-8s %8.1f s  %7.2f ms/file  (%5.2f ms/file waiting on the dialog)  returned %u\n", what, f.seconds,
           f.seconds * 1e3 / files, f.waiting * 1e3 / files, f.returned);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int files = 10000;
    std::wstring folder;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--files" && i + 1 < argc) files = _wtoi(argv[++i]);
        else folder = a;
    }
    if (folder.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder = std::wstring(temp) + L"fileoper-run-bench";
    }
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring root = folder + L"\\" + std::to_wstring(files) + L"-" + std::to_wstring(GetTickCount());
    const std::wstring store = root + L"\\store", docs = root + L"\\docs", last = root + L"\\last";
    CreateDirectoryW(root.c_str(), nullptr);
    SetEnvironmentVariableW(L"TZDEVIO_STORE", store.c_str());
    const double making = Now();
    if (!MakeTree(docs, files) || !CreateDirectoryW(last.c_str(), nullptr)) {
        fprintf(stderr, "cannot make %d files in %ls\n", files, root.c_str());
        return 1;
    }
    printf("%d files of %lu bytes, %d a folder (made in %.1f s), encrypted in place and undone:\n", files, kFileSize, kFilesPerFolder,
           Now() - making);
    const fault::ImportPatch timing(GetModuleHandleW(L"fileoper.dll"), "USER32.dll", "SendMessageW",
                                    reinterpret_cast<const void*>(&TimedSendMessage));
    // The last item, an empty folder, is refused its mark: the run encrypts
    // every file, fails there and reverses everything before it.
    CreateDirectoryW(store.c_str(), nullptr);
    const std::string refused(last.begin(), last.end());
    HANDLE h = CreateFileW((store + L"\\refuse-set.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, refused.data(), static_cast<DWORD>(refused.size()), &written, nullptr);
    CloseHandle(h);
    g_refusedItem = last;
    const fault::ImportPatch noting(GetModuleHandleW(L"fileoper.dll"), "TzDevIo.dll", 171,
                                    reinterpret_cast<const void*>(&NotedSetEncryptInfo));
    const double workingSetBefore = WorkingSetMiB();
    const double start = Now();
    const RunFigures run = Run(0, FILEOPER_CHOICE_UNDO, {docs, last});
    const double end = Now();
    RunFigures encrypt = run, undo = run;
    encrypt.seconds = g_refusedAt - start;
    encrypt.waiting = g_waitingAtRefusal;
    undo.seconds = end - g_refusedAt;
    undo.waiting = run.waiting - g_waitingAtRefusal;
    Print("encrypt", encrypt, files);
    Print("undo", undo, files);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    printf("  working set %.1f MiB before the run, %.1f MiB once every file is encrypted, %.1f MiB after\n",
           workingSetBefore, g_workingSetAtRefusal, WorkingSetMiB());
    printf("  peak working set %.1f MiB, peak private bytes %.1f MiB\n", memory.PeakWorkingSetSize / 1048576.0,
           memory.PeakPagefileUsage / 1048576.0);
    // Every file is plain again after the undo: nothing worth keeping.
    testing_support::RemoveTree(root);
    if (run.errors == 1 && g_refusedAt > 0) return 0;
    fprintf(stderr, "the run listed %llu errors, not the one refusal\n", static_cast<unsigned long long>(run.errors));
    return 1;
}
