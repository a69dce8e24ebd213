// Whole runs over the filter model, each with one fault at one point of the
// file operation and one answer to it, and runs whose destination is the
// source under another name, all judged by one invariant (ExpectNothingLost);
// the wipe's runs also by what it does to the source.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "standins/varendb/varendb_standin.h"
#include "tests/support/filter_model.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/ui_run.h"

using namespace testing_support;

namespace {

enum Fault { kSourceOpen, kMark, kCopy, kDiskFull, kWipeStart, kWipePartWay, kDeleteAfterWipe, kRename, kListing,
             kFolderRemoval, kNone };
const char* const kFaultNames[] = {"source open", "mark", "copy", "disk full", "wipe start", "wipe part-way",
                                   "delete after wipe", "rename", "listing", "folder removal"};
enum Answer { kRetry, kContinue, kSkipAll, kStop, kUndo, kCancel };
const char* const kAnswerNames[] = {"retry", "continue", "skip all", "stop", "undo", "cancel"};
const uint32_t kPresets[] = {FILEOPER_CHOICE_RETRY, FILEOPER_CHOICE_CONTINUE, FILEOPER_FLAG_ASK_ON_ERRORS,
                             FILEOPER_CHOICE_STOP, FILEOPER_CHOICE_UNDO, FILEOPER_CHOICE_STOP};

template <typename Fn>
Fn StandIn(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(dll), name)));
}
const auto g_setInfo = StandIn<int(WINAPI*)(const wchar_t*, ENCRYPT_INFO*)>(L"TzDevIo.dll", MAKEINTRESOURCEA(171));
const auto g_threadSetting = StandIn<uint32_t(WINAPI*)()>(L"TzRtl.dll", MAKEINTRESOURCEA(1100));
HANDLE Event(BOOL manual) { return CreateEventW(nullptr, manual, FALSE, nullptr); }
const HANDLE g_cancelAsked = Event(FALSE), g_cancelDone = Event(FALSE);
const HANDLE g_refreshHeld = Event(TRUE), g_refreshGo = Event(TRUE);

// The first call of the worker that reaches the point fails (with Cancel, the
// user cancels there instead); `writers`: handles in g.txt's folders, true for the wipe's.
struct Plan {
    Fault point = kNone;
    bool cancel = false;
    std::wstring source, folders[2], targets[2];
    std::map<HANDLE, bool> writers;
    int wipeWrites = 0;
    std::vector<std::string> wipes;  // what the wipe did to the source: "zeros <bytes>", "flush", "delete"
    volatile bool struck = false;
    volatile DWORD worker = 0;
    bool OnWorker() const { return GetCurrentThreadId() == worker; }
    bool Strike(Fault at) {  // true when the call must fail now
        if (at != point || struck || !OnWorker()) return false;
        struck = true;
        if (cancel) SignalObjectAndWait(g_cancelAsked, g_cancelDone, ui::kWaitLimitMs, FALSE);
        return !cancel;
    }
} g_plan;

bool Same(const wchar_t* a, const std::wstring& b) { return a && _wcsicmp(a, b.c_str()) == 0; }
std::wstring FolderOf(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path.substr(0, path.find_last_of(L'\\'));
}
bool InFaultFolder(const std::wstring& path) {
    return Same(FolderOf(path).c_str(), g_plan.folders[0]) || Same(FolderOf(path).c_str(), g_plan.folders[1]);
}
// True, with the error set, when the call reaches the point and must fail.
bool Fails(bool reached, Fault at, DWORD error) { return reached && g_plan.Strike(at) && (SetLastError(error), true); }

// Beneath the filter model's hooks; the test's own imports are not patched.
HANDLE WINAPI FaultyCreate(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                           DWORD flags, HANDLE model) {
    const bool source = Same(path, g_plan.source), writes = (access & GENERIC_WRITE) != 0;
    const bool wipe = source && writes && share == 0;
    if (Fails(source && !writes && (access & GENERIC_READ), kSourceOpen, ERROR_SHARING_VIOLATION) ||
        Fails(wipe, kWipeStart, ERROR_SHARING_VIOLATION))
        return INVALID_HANDLE_VALUE;
    const HANDLE file = CreateFileW(path, access, share, security, disposition, flags, model);
    if (g_plan.OnWorker()) {
        g_plan.writers.erase(file);
        if (writes && (source || InFaultFolder(path))) g_plan.writers[file] = wipe;
    }
    return file;
}
BOOL WINAPI FaultyWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    const auto known = g_plan.OnWorker() ? g_plan.writers.find(file) : g_plan.writers.end();
    const bool wipe = known != g_plan.writers.end() && known->second;
    const bool zeros = std::string(static_cast<const char*>(data), size) == std::string(size, '\0');
    if (wipe) g_plan.wipes.push_back((zeros ? "zeros " : "data ") + std::to_string(size));
    return !Fails(wipe && ++g_plan.wipeWrites == 2, kWipePartWay, ERROR_WRITE_FAULT) &&
           !Fails(known != g_plan.writers.end() && !wipe, kCopy, ERROR_WRITE_FAULT) &&
           WriteFile(file, data, size, written, overlapped);
}
BOOL WINAPI NotedFlush(HANDLE file) {
    const auto known = g_plan.OnWorker() ? g_plan.writers.find(file) : g_plan.writers.end();
    if (known != g_plan.writers.end() && known->second) g_plan.wipes.push_back("flush");
    return FlushFileBuffers(file);
}
// Only a run with wipe deletes the source it has zeroed.
BOOL WINAPI FaultyDelete(LPCWSTR path) {
    if (Same(path, g_plan.source)) g_plan.wipes.push_back("delete");
    return !Fails(Same(path, g_plan.source), kDeleteAfterWipe, ERROR_ACCESS_DENIED) && DeleteFileW(path);
}
// Not a sharing conflict: the library's moves would pause and try again.
BOOL WINAPI FaultyMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
    const bool target = Same(to, g_plan.targets[0]) || Same(to, g_plan.targets[1]);
    return !Fails(target, kRename, ERROR_WRITE_PROTECT) && MoveFileExW(from, to, flags);
}
BOOL WINAPI FaultySpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
    const BOOL ok = GetDiskFreeSpaceExW(folder, available, total, free);
    if (ok && Fails(InFaultFolder(std::wstring(folder) + L"*"), kDiskFull, 0)) available->QuadPart = 1;
    return ok;
}
HANDLE WINAPI FaultyFind(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
    const bool listing = Same(pattern, g_plan.folders[0] + L"\\*.*");
    return Fails(listing, kListing, ERROR_ACCESS_DENIED) ? INVALID_HANDLE_VALUE : FindFirstFileW(pattern, found);
}
BOOL WINAPI FaultyRemoveFolder(LPCWSTR path) {
    return !Fails(Same(path, g_plan.folders[0]), kFolderRemoval, ERROR_ACCESS_DENIED) && RemoveDirectoryW(path);
}
int WINAPI FaultySetInfo(const wchar_t* path, ENCRYPT_INFO* info) {
    return Fails(InFaultFolder(path), kMark, ERROR_ACCESS_DENIED) ? 0 : g_setInfo(path, info);
}
// Only the refresh thread's waits are held (until the rows are read), not a
// worker that pauses between attempts: its first act names its thread.
uint32_t WINAPI NoteWorker() {
    g_plan.worker = GetCurrentThreadId();
    return g_threadSetting();
}
void WINAPI HeldSleep(DWORD milliseconds) {
    if (milliseconds != 0 && !g_plan.OnWorker()) {
        SignalObjectAndWait(g_refreshHeld, g_refreshGo, INFINITE, FALSE);
        milliseconds = 0;
    }
    Sleep(milliseconds);
}
const std::wstring g_hostTemp = [] {
    wchar_t path[MAX_PATH];
    return std::wstring(path, GetTempPathW(MAX_PATH, path));
}();

constexpr uint32_t kWipe = FILEOPER_FLAG_WIPE, kMoves = FILEOPER_FLAG_MOVE;

// The faults each run reaches besides source open, copy, disk full, listing:
// in place, the rename replaces the zeroed source (nothing deletes it) and the
// transforms rename a temporary file the run never learns; a decryption checks
// no mark; only a move removes folders and stands for a plain run to a
// destination (the alias table runs one, with an undo).
struct RunKind {
    const char* name;
    uint32_t kind, flags;
    bool toDestination;
    std::vector<Fault> faults;
};
const RunKind kMatrix[] = {
    {"in place", 0, 0, false, {kMark, kRename}},
    {"in place, wipe", 0, kWipe, false, {kMark, kWipeStart, kWipePartWay, kRename}},
    {"decrypt in place", 1, 0, false, {kRename}},
    {"to destination, wipe", 0, kWipe, true, {kRename, kMark, kWipeStart, kWipePartWay, kDeleteAfterWipe}},
    {"move", 0, kMoves, true, {kRename, kMark, kFolderRemoval}},
    {"decrypt, move", 1, kMoves, true, {kRename}},
};

// Items E, A, top.txt: E is done before A's g.txt (alone in its folder, two
// wipe blocks long) meets the fault, top.txt comes after.
const std::pair<const wchar_t*, std::string> kDocuments[] = {
    {L"\\E\\h.txt", Pattern(9000)}, {L"\\top.txt", Pattern(3000)}, {L"\\A\\f.txt", Pattern(5)},
    {L"\\A\\B\\g.txt", Pattern(70000)}};
const wchar_t* const kItems[] = {L"\\E", L"\\A", L"\\top.txt"};
const std::string kOlderCopy = "an older g.txt the user keeps at the destination";

struct Seen {
    std::vector<ui::ListRow> status, errors;
    std::vector<std::wstring> boxes;
};

// The user until the worker has finished: Yes to All, Retry once where
// offered, else Skip All, OK, and Yes to a cancel the fault asks for.
Seen Watch(const docman::RunRequest& request) {
    Seen seen;
    ui_test::RunWithUser(request, [&] {
        const HWND dialog = ui::WaitForDialog(ui_test::kCaption, ui_test::kStatusList);
        bool retried = false;
        while (dialog && WaitForSingleObject(g_refreshHeld, ui::kWaitLimitMs) == WAIT_OBJECT_0 &&
               IsWindow(dialog) && ui::ControlText(dialog, 1003) != L"Finished") {
            if (WaitForSingleObject(g_cancelAsked, 10) == WAIT_OBJECT_0) {
                ui::Click(dialog, IDCANCEL);
                for (HWND box; (box = ui::WaitForMessageBox(ui_test::kCaption)) && !ui::Answer(box, IDYES);) {
                }
                // The worker goes on once the cancel is set (the Pause button
                // is itself again), so a transform held after its last look
                // at the run state always meets the cancel at its end.
                ui::WaitForText(dialog, 1000, L"&Pause");
                SetEvent(g_cancelDone);
            } else if (const HWND replace = ui::FindDialog(L"Confirm File/Folder Replace", 1037)) {
                ui::Answer(replace, 1035);  // Yes to All
            } else if (const HWND choice = ui::FindDialog(L"Error choice", 1017)) {
                const bool retry = ui::IsEnabled(choice, 1025) && !retried;  // Retry, else Skip All
                retried = (ui::Answer(choice, retry ? 1025 : 1029) && retry) || retried;
            } else if (const HWND box = ui::WaitForMessageBox(ui_test::kCaption, 0)) {
                const std::wstring text = ui::MessageBoxText(box);
                if (ui::Answer(box, IDOK)) seen.boxes.push_back(text);
            }
        }
        seen.status = ui::ListRows(dialog, ui_test::kStatusList);
        seen.errors = ui::ListRows(dialog, ui_test::kErrorList);
        SetEvent(g_refreshGo);
    });
    return seen;
}

// The paths the run's log lines name (after its header line), sorted.
std::vector<std::wstring> LoggedPaths(const std::wstring& log) {
    const std::string bytes = ReadFileBytes(log);
    std::wistringstream text(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2));
    std::vector<std::wstring> paths;
    for (std::wstring line; std::getline(text, line);) paths.push_back(line.substr(0, line.find_first_of(L",\r")));
    if (!paths.empty()) paths.erase(paths.begin());
    std::sort(paths.begin(), paths.end());
    return paths;
}

int WINAPI CollectRecord(void* context, uint32_t operation, uint32_t, uint64_t, const wchar_t* path) {
    static_cast<std::vector<std::pair<uint32_t, std::wstring>>*>(context)->emplace_back(operation, path);
    return 1;
}
// As before the run: plain for an encryption, encrypted for a decryption.
bool Untouched(bool encrypt, const std::wstring& path, const std::string& plain) {
    return FileExists(path) && IsMarked(path) != encrypt && ReadFileBytes(path) == Stored(plain, !encrypt);
}

class RunSafety : public ::testing::Test {
protected:
    // The transforms' fall-back folder in the test's, for this test alone:
    // the next test's folder is made in the host's.
    void SetUp() override {
        CreateDirectoryW((dir / L"tmp").c_str(), nullptr);
        SetTempFolder(dir / L"tmp");
    }
    void TearDown() override { SetTempFolder(g_hostTemp); }

    // A run over a fresh tree (encrypted for a decryption), the fault aimed at
    // g.txt; without the older copy at the destination a missing item fails.
    Seen RunOnce(const RunKind& run, uint32_t answer, Fault fault, bool cancel) {
        const bool encrypted = run.kind == 1;
        RemoveTree(src);
        for (const wchar_t* f : {L"", L"\\E", L"\\A", L"\\A\\B"}) CreateDirectoryW((src + f).c_str(), nullptr);
        if (olderCopy_) RemoveTree(dst);
        if (olderCopy_) for (const wchar_t* f : {L"", L"\\A", L"\\A\\B"}) CreateDirectoryW((dst + f).c_str(), nullptr);
        ENCRYPT_INFO info;
        BuildEncryptInfoW(nullptr, &info);
        for (const auto& [name, plain] : kDocuments)
            EXPECT_TRUE(WriteFileBytes(src + name, Stored(plain, encrypted)) &&
                        (!encrypted || g_setInfo((src + name).c_str(), &info)));
        // A decryption also clears the marks of the destination's folders.
        for (const std::wstring& folder : {src + L"\\E", src + L"\\A", src + L"\\A\\B", dst + L"\\A", dst + L"\\A\\B"})
            EXPECT_TRUE(!encrypted || !FileExists(folder) || MarkFolder(folder));
        EXPECT_TRUE(!olderCopy_ || WriteFileBytes(dst + L"\\A\\B\\g.txt", kOlderCopy));
        log_ = ui::EmptyPrivateLog();
        std::vector<std::wstring> items;
        for (const wchar_t* item : kItems) items.push_back(src + item);
        if (!olderCopy_) items.push_back(src + L"\\missing.txt");
        const std::wstring g = src + L"\\A\\B\\g.txt";
        g_plan = {fault, cancel, g, {src + L"\\A\\B", (run.toDestination ? dst : src) + L"\\A\\B"},
                  {g, dst + L"\\A\\B\\g.txt"}, {}, 0, {}, false, 0};
        ResetEvent(g_refreshHeld);
        ResetEvent(g_refreshGo);
        const HMODULE dll = GetModuleHandleW(L"fileoper.dll");
        const fault::ImportPatch faults[] = {
            {dll, "KERNEL32.dll", "CreateFileW", &FaultyCreate}, {dll, "KERNEL32.dll", "WriteFile", &FaultyWrite},
            {dll, "KERNEL32.dll", "DeleteFileW", &FaultyDelete}, {dll, "KERNEL32.dll", "MoveFileExW", &FaultyMove},
            {dll, "KERNEL32.dll", "FlushFileBuffers", &NotedFlush},
            {dll, "KERNEL32.dll", "GetDiskFreeSpaceExW", &FaultySpace},
            {dll, "KERNEL32.dll", "FindFirstFileW", &FaultyFind},
            {dll, "KERNEL32.dll", "RemoveDirectoryW", &FaultyRemoveFolder}, {dll, "KERNEL32.dll", "Sleep", &HeldSleep},
            {dll, "TzDevIo.dll", WORD(171), &FaultySetInfo}, {dll, "TzRtl.dll", WORD(1100), &NoteWorker},
            {dll, "TzRtl.dll", WORD(1121), &ui::PrivateVendorPath}};
        FilterModel filter;
        return Watch(ui_test::Request(run.kind, run.flags | answer | FILEOPER_FLAG_CLOSE_AT_END, items,
                                      run.toDestination ? dst : L""));
    }

    // The one invariant.
    void ExpectNothingLost(const RunKind& run, const Seen& seen) {
        const bool encrypt = run.kind == 0;
        std::set<std::wstring> done;  // sources of documents with a success row
        for (const auto& [name, plain] : kDocuments) {
            SCOPED_TRACE(Narrow(name));
            const std::wstring source = src + name, target = run.toDestination ? dst + name : source;
            const auto named = [&](const ui::ListRow& row) {  // the document, or a temporary file beside it
                const std::wstring folder = FolderOf(row.item);
                const std::wstring tail = row.item.substr(std::max<size_t>(row.item.size(), 4) - 4);
                return Same(row.item.c_str(), source) || Same(row.item.c_str(), target) ||
                       (Same(tail.c_str(), L".tmp") &&
                        (Same(folder.c_str(), FolderOf(source)) || Same(folder.c_str(), FolderOf(target))));
            };
            const auto success = std::find_if(seen.status.begin(), seen.status.end(), named);
            const auto failure = std::find_if(seen.errors.begin(), seen.errors.end(), named);
            std::wstring home = source;
            if (success != seen.status.end()) {
                home = success->item;
                EXPECT_TRUE(Same(home.c_str(), target) && IsMarked(home) == encrypt && PlainView(home) == plain)
                    << "success row " << Narrow(home);
                done.insert(source);
            } else if (failure != seen.errors.end() && PlainView(failure->item) == plain) {
                home = failure->item;
            } else {
                EXPECT_TRUE(Untouched(encrypt, source, plain)) << "no row names a whole copy, and the source changed";
            }
            if (FileExists(source) && !Same(home.c_str(), source)) {
                EXPECT_TRUE(Untouched(encrypt, source, plain) || (run.flags & kWipe)) << "source damaged, copy away";
            }
            if (run.toDestination && olderCopy_ && name == std::wstring(L"\\A\\B\\g.txt")) {
                EXPECT_TRUE((ReadFileBytes(target) == kOlderCopy && !IsMarked(target)) ||
                            (Same(home.c_str(), target) && PlainView(target) == plain))
                    << "the older destination file";
            }
        }
        std::vector<std::wstring> errorItems;
        for (const ui::ListRow& row : seen.errors) errorItems.push_back(row.item);
        std::sort(errorItems.begin(), errorItems.end());
        EXPECT_EQ(errorItems, LoggedPaths(log_)) << "every error row has its log line";
        std::vector<std::pair<uint32_t, std::wstring>> records;
        StandIn<decltype(&VarendbReadW)>(L"Varendb.dll", "VarendbReadW")(!encrypt, &CollectRecord, &records);
        for (const auto& [operation, item] : records) {
            const bool allDone = std::all_of(std::begin(kDocuments), std::end(kDocuments), [&](const auto& d) {
                return (src + d.first).rfind(item, 0) != 0 || done.count(src + d.first);
            });
            EXPECT_TRUE(allDone || (!encrypt && operation != VARENDB_RECORD_DELETED)) << "record of " << Narrow(item);
        }
    }

    // A source is zeroed to its last byte, in blocks of 64 KiB, and flushed
    // before it is deleted (in place the encrypted copy's rename takes its
    // name). One another program holds stays as it was, its encrypted copy
    // goes, and it is an error.
    void ExpectWipe(const RunKind& run, Fault fault, Answer answer, const Seen& seen) {
        if (fault == kSourceOpen && answer == kRetry) {
            std::vector<std::string> wiped = {"zeros 65536", "zeros 4464", "flush", "delete"};
            wiped.resize(run.toDestination ? 4 : 3);
            EXPECT_EQ(g_plan.wipes, wiped);
        } else if (fault == kWipeStart && answer == kStop) {
            ASSERT_EQ(seen.errors.size(), 1u);
            EXPECT_EQ(seen.errors[0].item + L"|" + seen.errors[0].status,
                      (run.toDestination ? dst : src) + kDocuments[3].first + L"|Can not delete file,  file is read "
                      L"only (write protected) or locked by other process");
            EXPECT_EQ(TempFilesIn(src + L"\\A\\B"), std::vector<std::wstring>{});
            EXPECT_TRUE(Untouched(true, src + kDocuments[3].first, kDocuments[3].second));
        }
    }

    // Answers that ask nobody differ only by Continue or Cancel; Skip All
    // differs from Retry only where a retry is refused, after a wipe began.
    void RunMatrix(bool toDestination) {
        for (const RunKind& run : kMatrix) {
            std::vector<Fault> faults = {kSourceOpen, kCopy, kDiskFull, kListing};
            faults.insert(faults.end(), run.faults.begin(), run.faults.end());
            for (Fault fault : faults) {
                for (Answer answer : {kRetry, kContinue, kSkipAll, kStop, kUndo, kCancel}) {
                    const bool asksNobody = fault == kListing || fault == kFolderRemoval;
                    const bool afterWipe = fault == kWipePartWay || fault == kDeleteAfterWipe ||
                                           (fault == kRename && (run.flags & kWipe));
                    if (run.toDestination != toDestination || (answer == kSkipAll && !afterWipe) ||
                        (asksNobody && answer != kContinue && answer != kCancel))
                        continue;
                    SCOPED_TRACE(std::string(run.name) + ", " + kFaultNames[fault] + ", " + kAnswerNames[answer]);
                    StandinStore store;
                    const Seen seen = RunOnce(run, kPresets[answer], fault, answer == kCancel);
                    EXPECT_TRUE(g_plan.struck) << "the fault's point never came";
                    ExpectNothingLost(run, seen);
                    if (run.flags & kWipe) ExpectWipe(run, fault, answer, seen);
                    // E stays done unless a failed encryption is undone.
                    const std::wstring e = (toDestination ? dst : src) + kDocuments[0].first;
                    EXPECT_TRUE(answer == kUndo && run.kind == 0 && !seen.errors.empty()
                                    ? Untouched(true, src + kDocuments[0].first, kDocuments[0].second)
                                    : std::any_of(seen.status.begin(), seen.status.end(),
                                                  [&](const ui::ListRow& r) { return Same(r.item.c_str(), e); }))
                        << "E after the run";
                }
            }
        }
    }

    TempDir dir;
    std::wstring src = dir / L"LongSourceFolder", dst = dir / L"dst";
    bool olderCopy_ = true;
    std::wstring log_;
};

TEST_F(RunSafety, InPlaceEveryFaultAndAnswerLeavesEveryDocumentWhole) { RunMatrix(false); }
TEST_F(RunSafety, ToADestinationEveryFaultAndAnswerLeavesEveryDocumentWhole) { RunMatrix(true); }

// The source root as destination, under each of its names, would lose every
// item to the move, the wipe or the undo: each is refused, the run goes on.
// (Wine 8 makes no junction; its Z: drive gives every folder a second name.)
TEST_F(RunSafety, ADestinationThatIsTheSourceRefusesEveryItem) {
    CreateDirectoryW(src.c_str(), nullptr);
    wchar_t shortName[MAX_PATH] = {};
    GetShortPathNameW(src.c_str(), shortName, MAX_PATH);
    std::wstring upper = src, unixRoot = L"Z:";
    CharUpperW(&upper[0]);
    char* name = StandIn<char*(CDECL*)(const wchar_t*)>(L"kernel32.dll", "wine_get_unix_file_name")(src.c_str());
    for (const char* c = name; *c; ++c) unixRoot += *c == '/' ? L'\\' : wchar_t(*c);
    HeapFree(GetProcessHeap(), 0, name);
    const std::pair<const char*, std::wstring> aliases[] = {
        {"same", src}, {"letter case", upper}, {"trailing backslash", src + L"\\"},
        {"long-path prefix", L"\\\\?\\" + src}, {"8.3 name", shortName}, {"drive Z:", unixRoot}};
    const std::pair<RunKind, uint32_t> runs[] = {{kMatrix[4], FILEOPER_CHOICE_CONTINUE},
                                                 {kMatrix[3], FILEOPER_CHOICE_CONTINUE},
                                                 {{"to destination, undo", 0, 0, true, {}}, FILEOPER_CHOICE_UNDO}};
    olderCopy_ = false;
    for (const auto& [alias, destination] : aliases) {
        for (const auto& [run, answer] : runs) {
            SCOPED_TRACE(std::string(alias) + ", " + run.name);
            StandinStore store;
            dst = destination;
            const Seen seen = RunOnce(run, answer, kNone, false);
            std::wstring shown = destination;
            while (shown.back() == L'\\') shown.pop_back();
            std::vector<std::wstring> refusals;
            for (const wchar_t* item : kItems)
                refusals.push_back(L"Invalidate operation.\nthe source folder \"" + src + item +
                                   L"\" and destination \"" + shown + L"\" is the same.");
            EXPECT_EQ(seen.boxes, refusals);
            ExpectNothingLost(run, seen);
        }
    }
}

}  // namespace
