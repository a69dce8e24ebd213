// Throughput and per-file cost of the file transforms, against Wine's
// CopyFileExW and against a plain ReadFile/WriteFile loop opened with the
// same flags (the floor of the design: one read and one write per chunk).
//
//   fileoper_bench [--size-mib N] [--files N] [--repeat N] [--standin-marks N] [--standin-only] [FOLDER]
//
// Every figure is the median of the repetitions, with the spread (min..max)
// beside it; the page cache makes single runs noisy.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "bench/standin_bench.h"
#include "devio/devio.h"
#include "fileoper.h"
#include "tests/support/iat_patch.h"

namespace {

using bench::Now;

struct Settings {
    uint64_t bigSize = 512ull << 20;
    int smallFiles = 2000;
    int repeat = 5;
    int standinMarks = 100000;
    bool standinOnly = false;
    std::wstring folder;
};

struct Stats {
    double median, low, high;
};

Stats Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front(), samples.back()};
}

bool Fill(const std::wstring& path, uint64_t size) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 2654435761u >> 13);
    bool ok = true;
    for (uint64_t done = 0; ok && done < size;) {
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(chunk.size(), size - done)), written = 0;
        ok = WriteFile(h, chunk.data(), n, &written, nullptr) && written == n;
        done += written;
    }
    CloseHandle(h);
    return ok;
}

// The floor: the same opens and the same 64 KiB chunks, nothing else.
bool PlainLoop(const std::wstring& from, const std::wstring& to, DWORD sourceFlags, DWORD destinationFlags) {
    HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            sourceFlags, nullptr);
    HANDLE out = CreateFileW(to.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, destinationFlags, nullptr);
    void* buffer = VirtualAlloc(nullptr, 65536, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool ok = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && buffer;
    DWORD got = 0, written = 0;
    while (ok && ReadFile(in, buffer, 65536, &got, nullptr) && got) ok = WriteFile(out, buffer, got, &written, nullptr);
    if (out != INVALID_HANDLE_VALUE) SetEndOfFile(out);
    VirtualFree(buffer, 0, MEM_RELEASE);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return ok;
}

// Writes a file's dirty pages to disk, so that a timed run does not pay for
// the writeback of what an untimed preparation wrote.
bool Settle(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    FlushFileBuffers(h);
    CloseHandle(h);
    return true;
}

// A driver library that answers at once, as a kernel call nearly does: the
// stand-in keeps its marks in files, which under Wine costs milliseconds a
// call and would hide the library's own cost.
int WINAPI InstantSetEncryptInfoW(const wchar_t*, ENCRYPT_INFO*) { return 1; }
int WINAPI InstantClearEncryptInfoW(const wchar_t*, int) { return 1; }
int WINAPI InstantIsEncryptedW(const wchar_t*, int) { return 1; }

class InstantDriver {
public:
    InstantDriver()
        : set_(GetModuleHandleW(L"fileoper.dll"), "TzDevIo.dll", WORD{171},
               reinterpret_cast<const void*>(&InstantSetEncryptInfoW)),
          clear_(GetModuleHandleW(L"fileoper.dll"), "TzDevIo.dll", WORD{181},
                 reinterpret_cast<const void*>(&InstantClearEncryptInfoW)),
          query_(GetModuleHandleW(L"fileoper.dll"), "TzDevIo.dll", WORD{161},
                 reinterpret_cast<const void*>(&InstantIsEncryptedW)) {}

private:
    fault::ImportPatch set_, clear_, query_;
};

// The recovery journal cannot take its turn to append, so the library
// writes no record: the transforms as they cost without the journal.
class NoJournal {
public:
    NoJournal() : lock_(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "LockFileEx", &Refuse) {}

private:
    static BOOL WINAPI Refuse(HANDLE, DWORD, DWORD, DWORD, DWORD, LPOVERLAPPED) {
        SetLastError(ERROR_LOCK_VIOLATION);
        return FALSE;
    }
    fault::ImportPatch lock_;
};

struct Contender {
    const char* name;
    std::function<bool()> prepare;  // untimed
    std::function<bool()> run;      // timed
};

// Runs the contenders in turn, repeat times, rotating the order so that no
// one always runs on the warmest cache; returns seconds per run.
std::vector<Stats> Race(std::vector<Contender>& contenders, int repeat, const std::function<void()>& settle) {
    std::vector<std::vector<double>> times(contenders.size());
    for (int r = 0; r < repeat; ++r) {
        for (size_t k = 0; k < contenders.size(); ++k) {
            size_t i = (k + r) % contenders.size();
            if (contenders[i].prepare && !contenders[i].prepare()) {
                fprintf(stderr, "prepare failed: %s\n", contenders[i].name);
                exit(1);
            }
            settle();
            double start = Now();
            if (!contenders[i].run()) {
                fprintf(stderr, "failed: %s (error code %u, system %lu)\n", contenders[i].name, GetOperErrorCode(),
                        GetLastError());
                exit(1);
            }
            times[i].push_back(Now() - start);
        }
    }
    std::vector<Stats> out;
    for (auto& t : times) out.push_back(Summarise(t));
    return out;
}

void PrintThroughput(const char* title, std::vector<Contender>& contenders, const std::vector<Stats>& stats,
                     uint64_t bytes) {
    printf("\n%s\n", title);
    for (size_t i = 0; i < contenders.size(); ++i) {
        const double mib = bytes / 1048576.0;
        printf("  %-34s %7.0f MiB/s  (%.0f..%.0f)\n", contenders[i].name, mib / stats[i].median, mib / stats[i].high,
               mib / stats[i].low);
    }
}

void PrintRatio(const char* what, const Stats& ours, const Stats& reference, double target, bool higherIsBetter) {
    const double ratio = higherIsBetter ? reference.median / ours.median : ours.median / reference.median;
    printf("  %-52s %.2fx  (target %s %.2fx) %s\n", what, ratio, higherIsBetter ? ">=" : "<=", target,
           (higherIsBetter ? ratio >= target : ratio <= target) ? "met" : "MISSED");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Settings s;
    if (argc == 3 && std::wstring(argv[1]) == L"--first-call") return bench::FirstCallChild(argv[2]);
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--size-mib" && i + 1 < argc) s.bigSize = _wtoi64(argv[++i]) << 20;
        else if (a == L"--files" && i + 1 < argc) s.smallFiles = _wtoi(argv[++i]);
        else if (a == L"--repeat" && i + 1 < argc) s.repeat = std::max(1, _wtoi(argv[++i]));
        else if (a == L"--standin-marks" && i + 1 < argc) s.standinMarks = std::max(1, _wtoi(argv[++i]));
        else if (a == L"--standin-only") s.standinOnly = true;
        else s.folder = a;
    }
    if (s.folder.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        s.folder = std::wstring(temp) + L"fileoper-bench";
    }
    CreateDirectoryW(s.folder.c_str(), nullptr);
    if (s.standinOnly) return bench::RunStandinBench(s.folder + L"\\standin", s.standinMarks);
    // A store of its own for the driver library's stand-in, so that marks
    // left by tests do not weigh on the figures.
    const std::wstring store = s.folder + L"\\store";
    SetEnvironmentVariableW(L"TZDEVIO_STORE", store.c_str());
    const std::wstring big = s.folder + L"\\big.bin", copy = s.folder + L"\\copy.bin";
    ENCRYPT_INFO info = {};
    if (!Fill(big, s.bigSize) || !BuildEncryptInfoW(nullptr, &info)) {
        fprintf(stderr, "cannot prepare %ls\n", s.folder.c_str());
        return 1;
    }
    uint32_t state = FILEOPER_STATE_RUNNING, percent = 0;
    printf("fileoper benchmark: %llu MiB file, %d small files, %d repetitions, median (spread)\n",
           static_cast<unsigned long long>(s.bigSize >> 20), s.smallFiles, s.repeat);

    // --- Throughput on one large file ---
    // A marked file's data outlive its name until the stand-in's store lets
    // go of them; unmarking first frees them at once, as for a plain file.
    auto discard = [](const std::wstring& path) {
        DevIoClearEncryptInfoW(path.c_str(), 0);
        return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    };
    auto removeCopy = [&] { return discard(copy); };
    std::vector<Contender> copies = {
        {"CopyFileWithProgressW", removeCopy,
         [&] { return CopyFileWithProgressW(big.c_str(), copy.c_str(), &state, &percent) != FALSE; }},
        {"CopyFileExW", removeCopy,
         [&] { return CopyFileExW(big.c_str(), copy.c_str(), nullptr, nullptr, nullptr, 0) != FALSE; }},
        {"plain loop (flags 0 / 0)", removeCopy, [&] { return PlainLoop(big, copy, 0, 0); }},
        {"EncryptFileToW", removeCopy,
         [&] { return EncryptFileToW(big.c_str(), copy.c_str(), &info, &state, &percent) != FALSE; }},
        {"plain loop (0 / write-through)", removeCopy,
         [&] { return PlainLoop(big, copy, 0, FILE_FLAG_WRITE_THROUGH); }},
    };
    const std::wstring target = s.folder + L"\\inplace.bin";
    auto settleLarge = [&] {
        for (const std::wstring* f : {&big, &copy, &target}) Settle(*f);
    };
    std::vector<Stats> c = Race(copies, s.repeat, settleLarge);
    PrintThroughput("Copy and encrypt to a second file:", copies, c, s.bigSize);

    // In place: a fresh copy of the large file is made (untimed) before each
    // run. Replacing a file in place deletes the old one and renames the new
    // one by design; the floor does the same by hand around the plain loop.
    const std::wstring handTemp = s.folder + L"\\inplace.tmp";
    auto freshTarget = [&] {
        return discard(target) && CopyFileExW(big.c_str(), target.c_str(), nullptr, nullptr, nullptr, 0) != FALSE;
    };
    auto byHand = [&](DWORD sourceFlags, DWORD destinationFlags) {
        return PlainLoop(target, handTemp, sourceFlags, destinationFlags) && DeleteFileW(target.c_str()) &&
               MoveFileExW(handTemp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
    };
    std::vector<Contender> inPlace = {
        {"EncryptFileInPlaceW", freshTarget,
         [&] { return EncryptFileInPlaceW(target.c_str(), &info, &state, &percent) != FALSE; }},
        {"  the same, driver answering at once", freshTarget,
         [&] {
             InstantDriver instant;
             return EncryptFileInPlaceW(target.c_str(), &info, &state, &percent) != FALSE;
         }},
        {"by hand (0 / write-through)", freshTarget, [&] { return byHand(0, FILE_FLAG_WRITE_THROUGH); }},
        {"plain loop (0 / write-through)", removeCopy,
         [&] { return PlainLoop(big, copy, 0, FILE_FLAG_WRITE_THROUGH); }},
        {"DecryptFileInPlaceW",
         [&] { return freshTarget() && EncryptFileInPlaceW(target.c_str(), &info, &state, nullptr); },
         [&] { return DecryptFileInPlaceW(target.c_str(), &state, &percent) != FALSE; }},
        {"by hand (no-buffering / 0)", freshTarget, [&] { return byHand(FILE_FLAG_NO_BUFFERING, 0); }},
        {"plain loop (no-buffering / 0)", removeCopy,
         [&] { return PlainLoop(big, copy, FILE_FLAG_NO_BUFFERING, 0); }},
    };
    std::vector<Stats> p = Race(inPlace, s.repeat, settleLarge);
    PrintThroughput("In place:", inPlace, p, s.bigSize);

    // --- Cost per file over many small files ---
    const std::wstring smallDir = s.folder + L"\\small", smallCopy = s.folder + L"\\small-copy";
    CreateDirectoryW(smallDir.c_str(), nullptr);
    CreateDirectoryW(smallCopy.c_str(), nullptr);
    std::vector<std::wstring> names;
    for (int i = 0; i < s.smallFiles; ++i) {
        names.push_back(L"\\doc" + std::to_wstring(i) + L".txt");
        Fill(smallDir + names.back(), 4096);
    }
    auto eachFile = [&](const std::function<bool(const std::wstring&, const std::wstring&)>& f) {
        for (const std::wstring& n : names)
            if (!f(smallDir + n, smallCopy + n)) return false;
        return true;
    };
    auto clearCopies = [&] { return eachFile([&](const std::wstring&, const std::wstring& to) { return discard(to); }); };
    auto decryptAll = [&] {
        return eachFile([&](const std::wstring& from, const std::wstring&) {
            DecryptFileInPlaceW(from.c_str(), &state, nullptr);
            return true;
        });
    };
    std::vector<Contender> perFile = {
        {"CopyFileWithProgressW", clearCopies,
         [&] { return eachFile([&](const std::wstring& a, const std::wstring& b) { return CopyFileWithProgressW(a.c_str(), b.c_str(), &state, &percent) != FALSE; }); }},
        {"CopyFileExW", clearCopies,
         [&] { return eachFile([](const std::wstring& a, const std::wstring& b) { return CopyFileExW(a.c_str(), b.c_str(), nullptr, nullptr, nullptr, 0) != FALSE; }); }},
        {"EncryptFileInPlaceW", decryptAll,
         [&] { return eachFile([&](const std::wstring& a, const std::wstring&) { return EncryptFileInPlaceW(a.c_str(), &info, &state, &percent) != FALSE; }); }},
        {"  the same, driver answering at once", decryptAll,
         [&] {
             InstantDriver instant;
             return eachFile([&](const std::wstring& a, const std::wstring&) { return EncryptFileInPlaceW(a.c_str(), &info, &state, &percent) != FALSE; });
         }},
        {"  the same, no recovery journal", decryptAll,
         [&] {
             NoJournal noJournal;
             return eachFile([&](const std::wstring& a, const std::wstring&) { return EncryptFileInPlaceW(a.c_str(), &info, &state, &percent) != FALSE; });
         }},
        {"  driver at once, no recovery journal", decryptAll,
         [&] {
             InstantDriver instant;
             NoJournal noJournal;
             return eachFile([&](const std::wstring& a, const std::wstring&) { return EncryptFileInPlaceW(a.c_str(), &info, &state, &percent) != FALSE; });
         }},
    };
    std::vector<Stats> f = Race(perFile, s.repeat, [] {});
    printf("\nPer file (%d files of 4 KiB):\n", s.smallFiles);
    for (size_t i = 0; i < perFile.size(); ++i)
        printf("  %-34s %7.3f ms  (%.3f..%.3f)\n", perFile[i].name, f[i].median * 1000 / s.smallFiles,
               f[i].low * 1000 / s.smallFiles, f[i].high * 1000 / s.smallFiles);

    printf("\nRatios (medians):\n");
    PrintRatio("CopyFileWithProgressW vs plain loop, throughput", c[0], c[2], 0.95, true);
    PrintRatio("CopyFileWithProgressW vs CopyFileExW, throughput", c[0], c[1], 0.90, true);
    PrintRatio("EncryptFileToW vs plain loop (write-through), throughput", c[3], c[4], 0.95, true);
    PrintRatio("EncryptFileInPlaceW vs by hand (write-through), throughput", p[0], p[2], 0.95, true);
    PrintRatio("  driver answering at once", p[1], p[2], 0.95, true);
    PrintRatio("EncryptFileInPlaceW vs plain loop (write-through), throughput", p[0], p[3], 0.95, true);
    PrintRatio("DecryptFileInPlaceW vs by hand (no-buffering), throughput", p[4], p[5], 0.95, true);
    PrintRatio("DecryptFileInPlaceW vs plain loop (no-buffering), throughput", p[4], p[6], 0.95, true);
    PrintRatio("CopyFileWithProgressW vs CopyFileExW, cost per file", f[0], f[1], 1.5, false);
    PrintRatio("EncryptFileInPlaceW vs CopyFileExW, cost per file", f[2], f[1], 3.0, false);
    PrintRatio("  driver answering at once", f[3], f[1], 3.0, false);
    PrintRatio("EncryptFileInPlaceW with vs without the recovery journal, cost per file", f[2], f[4], 1.05, false);
    PrintRatio("  driver answering at once", f[3], f[5], 1.05, false);
    return bench::RunStandinBench(s.folder + L"\\standin", s.standinMarks);
}
