// A whole run through ShowOperationStatus at scale, beside the bare exported
// transforms on the same tree: a loop of EncryptFileInPlaceW over every file,
// then DecryptFileInPlaceW over every file; then the run, an in-place
// encryption of the same files that fails on its last item (a folder refused
// its mark) and is undone (the preset Undo); then the two loops again. The
// run's encryption and undo are each timed per file against the mean of
// their loops, with the time the worker spent waiting on the dialog's
// thread, row by row, and how often the dialog repainted its lists and its
// figures meanwhile.
//
//   run_bench [--files N] [--run-only] [FOLDER]
//
// One size per process, so that the peak memory reported is that size's.
// --run-only leaves the loops out (no ratios): the run's memory and rows
// alone, in a third of the time.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
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
// Rows at each end of a phase whose waits are compared.
constexpr size_t kEndRows = 1000;

// The worker is the thread that marks the files (and clears the marks in the
// undo): each of its marks starts the next row. Its cross-thread sends
// between two marks are that row's wait on the dialog's thread. Kept in
// memory reserved before the run.
DWORD g_worker = 0;
volatile double g_firstRowAt = 0;
double g_rowWait = 0;
std::vector<float> g_rowWaits;

// Seconds spent in SendMessageW to a window of another thread, by every
// thread of the library.
volatile double g_crossThreadSeconds = 0;

LRESULT WINAPI TimedSendMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
    static const auto real = fault::Real(&SendMessageW, "user32.dll", "SendMessageW");
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) return real(window, message, w, l);
    const double start = Now();
    const LRESULT result = real(window, message, w, l);
    const double spent = Now() - start;
    g_crossThreadSeconds += spent;
    if (GetCurrentThreadId() == g_worker) g_rowWait += spent;
    return result;
}

void StartRow() {
    if (g_firstRowAt == 0) g_firstRowAt = Now();
    g_worker = GetCurrentThreadId();
    if (g_rowWaits.size() < g_rowWaits.capacity()) g_rowWaits.push_back(static_cast<float>(g_rowWait));
    g_rowWait = 0;
}

// When the run reached the item whose mark is refused: the undo starts there.
std::wstring g_refusedItem;
volatile double g_refusedAt = 0;
volatile double g_waitingAtRefusal = 0;
volatile double g_workingSetAtRefusal = 0;
size_t g_rowsAtRefusal = 0;

FARPROC DevIo(WORD ordinal) { return GetProcAddress(GetModuleHandleW(L"TzDevIo.dll"), MAKEINTRESOURCEA(ordinal)); }

int WINAPI NotedSetEncryptInfo(const wchar_t* path, ENCRYPT_INFO* info) {
    static const auto real = reinterpret_cast<decltype(&NotedSetEncryptInfo)>(reinterpret_cast<void*>(DevIo(171)));
    StartRow();
    if (_wcsicmp(path, g_refusedItem.c_str()) == 0) {
        g_refusedAt = Now();
        g_waitingAtRefusal = g_crossThreadSeconds;
        g_workingSetAtRefusal = WorkingSetMiB();
        g_rowsAtRefusal = g_rowWaits.size();
    }
    return real(path, info);
}

int WINAPI NotedClearEncryptInfo(const wchar_t* path, int reserved) {
    static const auto real = reinterpret_cast<decltype(&NotedClearEncryptInfo)>(reinterpret_cast<void*>(DevIo(181)));
    StartRow();
    return real(path, reserved);
}

// How often the dialog's thread painted a kind of window in each half of the
// run, from its first row on: a paint comes through its message loop (an
// invalidated window) or straight from the list's own scrolling
// (UpdateWindow), and is counted either way.
struct Paints {
    int count = 0;
    double last = 0;
    double longestGap = 0;

    void Add(double now, double since) {
        longestGap = std::max(longestGap, now - (count ? last : since));
        last = now;
        ++count;
    }
};
Paints g_listPaints[2];
Paints g_figurePaints[2];

void CountPaint(HWND window) {
    if (g_firstRowAt == 0) return;
    const int half = g_refusedAt > 0 ? 1 : 0;
    const double since = half ? g_refusedAt : g_firstRowAt;
    wchar_t name[32] = L"";
    GetClassNameW(window, name, 32);
    if (wcscmp(name, L"SysListView32") == 0) g_listPaints[half].Add(Now(), since);
    if (wcscmp(name, L"msctls_progress32") == 0) g_figurePaints[half].Add(Now(), since);
}

LRESULT CALLBACK TakenPaints(int code, WPARAM removed, LPARAM lParam) {
    const MSG& message = *reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && removed == PM_REMOVE && message.message == WM_PAINT) CountPaint(message.hwnd);
    return CallNextHookEx(nullptr, code, removed, lParam);
}

LRESULT CALLBACK SentPaints(int code, WPARAM fromThread, LPARAM lParam) {
    const CWPSTRUCT& message = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message.message == WM_PAINT) CountPaint(message.hwnd);
    return CallNextHookEx(nullptr, code, fromThread, lParam);
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

std::wstring Folder(const std::wstring& docs, int file) { return docs + L"\\d" + std::to_wstring(file / kFilesPerFolder); }

std::wstring FilePath(const std::wstring& docs, int file) {
    return Folder(docs, file) + L"\\f" + std::to_wstring(file) + L".txt";
}

// root\docs\dNNN\fNNNN.txt, a thousand files a folder.
bool MakeTree(const std::wstring& docs, int files) {
    if (!CreateDirectoryW(docs.c_str(), nullptr)) return false;
    for (int i = 0; i < files; ++i) {
        if (i % kFilesPerFolder == 0 && !CreateDirectoryW(Folder(docs, i).c_str(), nullptr)) return false;
        if (!WriteSmallFile(FilePath(docs, i), i)) return false;
    }
    return true;
}

// Seconds for the exported transform over every file; -1 when one failed.
double BareLoop(const std::wstring& docs, int files, bool encrypt) {
    ENCRYPT_INFO info;
    BuildEncryptInfoW(nullptr, &info);
    uint32_t state = 0, percent = 0;
    const double start = Now();
    for (int i = 0; i < files; ++i) {
        const std::wstring path = FilePath(docs, i);
        const BOOL done = encrypt ? EncryptFileInPlaceW(path.c_str(), &info, &state, &percent)
                                  : DecryptFileInPlaceW(path.c_str(), &state, &percent);
        if (!done) {
            fprintf(stderr, "%s failed on %ls\n", encrypt ? "EncryptFileInPlaceW" : "DecryptFileInPlaceW", path.c_str());
            return -1;
        }
    }
    return Now() - start;
}

struct BareFigures {
    double encrypt = 0;
    double decrypt = 0;
};

// Every file encrypted, then every file decrypted.
bool Bare(const std::wstring& docs, int files, BareFigures* figures) {
    figures->encrypt = BareLoop(docs, files, true);
    figures->decrypt = figures->encrypt < 0 ? -1 : BareLoop(docs, files, false);
    return figures->decrypt >= 0;
}

void PrintBare(const char* what, double before, double after, int files) {
    printf("  bare %s  %7.3f ms/file before the run, %7.3f after\n", what, before * 1e3 / files, after * 1e3 / files);
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

double MeanMs(std::vector<float>::const_iterator first, std::vector<float>::const_iterator last) {
    if (first == last) return 0;
    double sum = 0;
    for (auto i = first; i != last; ++i) sum += *i;
    return sum * 1e3 / (last - first);
}

// The waits of rows [first, last): median, and the mean at either end.
void PrintRowWaits(size_t first, size_t last) {
    if (last <= first) {
        printf("           no rows counted\n");
        return;
    }
    const auto begin = g_rowWaits.begin() + first, end = g_rowWaits.begin() + last;
    std::vector<float> sorted(begin, end);
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const size_t ends = std::min(kEndRows, last - first);
    printf("           worker's wait a row: median %.4f ms; mean %.4f ms over its first %zu rows, %.4f ms over its last"
           " %zu (%zu rows)\n",
           sorted[sorted.size() / 2] * 1e3, MeanMs(begin, begin + ends), ends, MeanMs(end - ends, end), ends,
           last - first);
}

void PrintHalf(const char* what, double seconds, double waiting, double bare, int files) {
    printf("  run %-8s %8.1f s  %7.3f ms/file  (%6.3f ms/file waiting on the dialog)", what, seconds,
           seconds * 1e3 / files, waiting * 1e3 / files);
    if (bare > 0) printf("  %.3fx of the bare loops", seconds / bare);
    printf("\n");
}

void PrintPaints(const char* half, int index, double seconds) {
    const Paints& list = g_listPaints[index];
    const Paints& figures = g_figurePaints[index];
    printf("  %s: the lists painted %.1f times a second (longest gap %.0f ms), the progress bars %.1f (longest gap"
           " %.0f ms)\n",
           half, list.count / seconds, list.longestGap * 1e3, figures.count / seconds, figures.longestGap * 1e3);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const double benchStart = Now();
    int files = 10000;
    bool runOnly = false;
    std::wstring folder;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--files" && i + 1 < argc) files = _wtoi(argv[++i]);
        else if (a == L"--run-only") runOnly = true;
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
    printf("%d files of %lu bytes, %d a folder (made in %.1f s), encrypted in place and decrypted by the bare"
           " transforms, encrypted in place by a run and undone, then by the bare transforms again:\n",
           files, kFileSize, kFilesPerFolder, Now() - making);
    if (runOnly) printf("  (--run-only: the bare transforms left out)\n");
    // The loops run before and after the run, and the run is compared with
    // their mean: the machine's load drifts over the minutes a size takes.
    BareFigures bareBefore, bareAfter;
    if (!runOnly && !Bare(docs, files, &bareBefore)) return 1;

    const HMODULE library = GetModuleHandleW(L"fileoper.dll");
    // The last item, an empty folder, is refused its mark: the run encrypts
    // every file, fails there and reverses everything before it.
    CreateDirectoryW(store.c_str(), nullptr);
    const std::string refused(last.begin(), last.end());
    HANDLE h = CreateFileW((store + L"\\refuse-set.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, refused.data(), static_cast<DWORD>(refused.size()), &written, nullptr);
    CloseHandle(h);
    g_refusedItem = last;
    g_rowWaits.reserve(2 * static_cast<size_t>(files) + 2);
    RunFigures run;
    double start = 0, end = 0, workingSetBefore = 0, workingSetAfter = 0;
    {
        const fault::ImportPatch timing(library, "USER32.dll", "SendMessageW",
                                        reinterpret_cast<const void*>(&TimedSendMessage));
        const fault::ImportPatch marking(library, "TzDevIo.dll", 171,
                                         reinterpret_cast<const void*>(&NotedSetEncryptInfo));
        const fault::ImportPatch clearing(library, "TzDevIo.dll", 181,
                                          reinterpret_cast<const void*>(&NotedClearEncryptInfo));
        const HHOOK taken = SetWindowsHookExW(WH_GETMESSAGE, TakenPaints, nullptr, GetCurrentThreadId());
        const HHOOK sent = SetWindowsHookExW(WH_CALLWNDPROC, SentPaints, nullptr, GetCurrentThreadId());
        workingSetBefore = WorkingSetMiB();
        start = Now();
        run = Run(0, FILEOPER_CHOICE_UNDO, {docs, last});
        end = Now();
        workingSetAfter = WorkingSetMiB();
        UnhookWindowsHookEx(taken);
        UnhookWindowsHookEx(sent);
    }
    // A row's wait ends at the next mark; the last row of each half ends at
    // the refusal or at the end of the run.
    g_rowWaits.push_back(static_cast<float>(g_rowWait));
    const bool undone = run.errors == 1 && g_refusedAt > 0;
    if (undone && !runOnly && !Bare(docs, files, &bareAfter)) return 1;

    if (!runOnly) {
        PrintBare("EncryptFileInPlaceW", bareBefore.encrypt, bareAfter.encrypt, files);
        PrintBare("DecryptFileInPlaceW", bareBefore.decrypt, bareAfter.decrypt, files);
    }
    PrintHalf("encrypt", g_refusedAt - start, g_waitingAtRefusal, (bareBefore.encrypt + bareAfter.encrypt) / 2, files);
    PrintRowWaits(1, g_rowsAtRefusal);
    PrintHalf("undo", end - g_refusedAt, run.waiting - g_waitingAtRefusal, (bareBefore.decrypt + bareAfter.decrypt) / 2,
              files);
    PrintRowWaits(g_rowsAtRefusal + 1, g_rowWaits.size());
    PrintPaints("encryption", 0, g_refusedAt - g_firstRowAt);
    PrintPaints("undo", 1, end - g_refusedAt);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof(memory);
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    printf("  working set %.1f MiB before the run, %.1f MiB once every file is encrypted, %.1f MiB after\n",
           workingSetBefore, g_workingSetAtRefusal, workingSetAfter);
    // Wine keeps no peak of the private bytes: it reports the present ones.
    printf("  peak working set %.1f MiB, private bytes at the end %.1f MiB\n", memory.PeakWorkingSetSize / 1048576.0,
           memory.PagefileUsage / 1048576.0);
    // Every file is plain again after the undo: nothing worth keeping.
    testing_support::RemoveTree(root);
    printf("  the bench ran %.0f s\n", Now() - benchStart);
    if (undone) return 0;
    fprintf(stderr, "the run listed %llu errors, not the one refusal\n", static_cast<unsigned long long>(run.errors));
    return 1;
}
