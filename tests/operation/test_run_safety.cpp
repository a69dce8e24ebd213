// Whole runs over the filter model, each with one fault at one point of the
// file operation and one answer to it, and runs whose destination is the
// source under another name. One invariant judges every run: each document
// is whole somewhere, that place is where its row and the log say, nothing
// is recorded or reported as done that was not, and nothing that was whole
// before the run is damaged.
#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "standins/tzevtlog/tzevtlog_standin.h"
#include "standins/varendb/varendb_standin.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/ui_run.h"

using namespace testing_support;

namespace {

constexpr wchar_t kErrorChoice[] = L"Error choice";
constexpr wchar_t kReplace[] = L"Confirm File/Folder Replace";
constexpr wchar_t kFinished[] = L"Finished";
constexpr int kOperationLabel = 1003, kChoiceMessage = 1017, kRetryButton = 1025, kSkipAllButton = 1029;
constexpr int kReplaceMessage = 1037, kReplaceYesToAll = 1035;
constexpr WORD kSetEncryptInfo = 171, kGetThreadSetting = 1100;

enum Fault { kSourceOpen, kMark, kCopy, kDiskFull, kWipeStart, kWipePartWay, kDeleteAfterWipe, kRename, kListing, kFolderRemoval };
const char* const kFaultNames[] = {"source open", "mark", "copy", "disk full", "wipe start", "wipe part-way",
                                   "delete after wipe", "rename", "listing", "folder removal"};
enum Answer { kRetry, kContinue, kSkipAll, kStop, kUndo, kCancel };
const char* const kAnswerNames[] = {"retry", "continue", "skip all", "stop", "undo", "cancel"};
const uint32_t kPresets[] = {FILEOPER_CHOICE_RETRY, FILEOPER_CHOICE_CONTINUE, FILEOPER_FLAG_ASK_ON_ERRORS,
                             FILEOPER_CHOICE_STOP, FILEOPER_CHOICE_UNDO, FILEOPER_CHOICE_STOP};

// What one cell's fault does: at the first call of the worker that reaches
// its point it fails (or, for the answer Cancel, the user cancels there and
// the call goes through). The worker's handles on the faulted document's
// folders are followed, so that a write can be told apart: the new copy's,
// or the wipe's (true).
struct Plan {
    Fault point = kSourceOpen;
    bool cancel = false;
    std::wstring source, folders[2], targets[2];
    std::map<HANDLE, bool> writers;
    int wipeWrites = 0;
    volatile bool struck = false;
    volatile DWORD worker = 0;
    HANDLE cancelAsked = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE cancelDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE refreshHeld = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE refreshGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    bool OnWorker() const { return GetCurrentThreadId() == worker; }
    // True when the call must fail now.
    bool Strike(Fault at) {
        if (at != point || struck || !OnWorker()) return false;
        struck = true;
        if (!cancel) return true;
        SetEvent(cancelAsked);
        WaitForSingleObject(cancelDone, ui::kWaitLimitMs);
        return false;
    }
} g_plan;

bool Same(const wchar_t* a, const std::wstring& b) { return a && _wcsicmp(a, b.c_str()) == 0; }
std::wstring FolderOf(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path.substr(0, path.find_last_of(L'\\'));
}
bool InFaultFolder(const wchar_t* path) {
    return path && (Same(FolderOf(path).c_str(), g_plan.folders[0]) || Same(FolderOf(path).c_str(), g_plan.folders[1]));
}
template <typename R>
R Failing(R result, DWORD error) {
    SetLastError(error);
    return result;
}

struct Next {
    decltype(&CreateFileW) create;
    decltype(&WriteFile) write;
    decltype(&DeleteFileW) remove;
    decltype(&MoveFileExW) move;
    decltype(&GetDiskFreeSpaceExW) space;
    decltype(&FindFirstFileW) find;
    decltype(&RemoveDirectoryW) removeFolder;
    int(WINAPI* setInfo)(const wchar_t*, ENCRYPT_INFO*);
    uint32_t(WINAPI* threadSetting)();
} g_next;

HANDLE WINAPI FaultyCreate(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                           DWORD flags, HANDLE model) {
    const bool source = Same(path, g_plan.source), writes = (access & GENERIC_WRITE) != 0;
    const bool wipe = source && writes && share == 0;
    if (source && !writes && (access & GENERIC_READ) && g_plan.Strike(kSourceOpen))
        return Failing(INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    if (wipe && g_plan.Strike(kWipeStart)) return Failing(INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    const HANDLE file = g_next.create(path, access, share, security, disposition, flags, model);
    if (g_plan.OnWorker()) {
        g_plan.writers.erase(file);
        if (writes && (source || InFaultFolder(path))) g_plan.writers[file] = wipe;
    }
    return file;
}

BOOL WINAPI FaultyWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    const auto known = g_plan.OnWorker() ? g_plan.writers.find(file) : g_plan.writers.end();
    if (known != g_plan.writers.end() && !known->second && g_plan.Strike(kCopy)) return Failing(FALSE, ERROR_WRITE_FAULT);
    if (known != g_plan.writers.end() && known->second && ++g_plan.wipeWrites == 2 && g_plan.Strike(kWipePartWay))
        return Failing(FALSE, ERROR_WRITE_FAULT);
    return g_next.write(file, data, size, written, overlapped);
}

// Only a run with wipe deletes the source it has zeroed.
BOOL WINAPI FaultyDelete(LPCWSTR path) {
    if (Same(path, g_plan.source) && g_plan.Strike(kDeleteAfterWipe)) return Failing(FALSE, ERROR_ACCESS_DENIED);
    return g_next.remove(path);
}

// Not a sharing conflict: the library's moves would pause and try again.
BOOL WINAPI FaultyMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if ((Same(to, g_plan.targets[0]) || Same(to, g_plan.targets[1])) && g_plan.Strike(kRename))
        return Failing(FALSE, ERROR_WRITE_PROTECT);
    return g_next.move(from, to, flags);
}

BOOL WINAPI FaultySpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
    const BOOL ok = g_next.space(folder, available, total, free);
    if (ok && InFaultFolder((std::wstring(folder) + L"*").c_str()) && g_plan.Strike(kDiskFull)) available->QuadPart = 1;
    return ok;
}

HANDLE WINAPI FaultyFind(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
    if (Same(pattern, g_plan.folders[0] + L"\\*.*") && g_plan.Strike(kListing))
        return Failing(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    return g_next.find(pattern, found);
}

BOOL WINAPI FaultyRemoveFolder(LPCWSTR path) {
    if (Same(path, g_plan.folders[0]) && g_plan.Strike(kFolderRemoval)) return Failing(FALSE, ERROR_ACCESS_DENIED);
    return g_next.removeFolder(path);
}

int WINAPI FaultySetInfo(const wchar_t* path, ENCRYPT_INFO* info) {
    if (InFaultFolder(path) && g_plan.Strike(kMark)) return Failing(0, ERROR_ACCESS_DENIED);
    return g_next.setInfo(path, info);
}

// The worker's first act names its thread: only the other threads' waits
// (the refresh thread's) are held, so the dialog stays up until the rows
// have been read, while a worker that pauses between attempts goes on.
uint32_t WINAPI NoteWorker() {
    g_plan.worker = GetCurrentThreadId();
    return g_next.threadSetting();
}

// Once the rows are read the refresh thread need not wait any more.
void WINAPI HeldSleep(DWORD milliseconds) {
    if (milliseconds != 0 && GetCurrentThreadId() != g_plan.worker) {
        SetEvent(g_plan.refreshHeld);
        WaitForSingleObject(g_plan.refreshGo, INFINITE);
        milliseconds = 0;
    }
    fault::Real(&Sleep, "kernel32.dll", "Sleep")(milliseconds);
}

// The error log of this process alone, emptied before each run.
int WINAPI PrivateVendorPath(const wchar_t* name, wchar_t* out, int) {
    swprintf(out, MAX_PATH, L"TzVendor\\safety-test-%lu\\%ls", GetCurrentProcessId(), name);
    return 1;
}

std::wstring LogPath() {
    wchar_t folder[MAX_PATH], relative[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
    PrivateVendorPath(L"TzVozAdu\\Error.log", relative, 0);
    PathAppendW(folder, relative);
    return folder;
}

// Every import the cells need, patched under the filter model.
class Faults {
public:
    Faults() {
        const HMODULE library = GetModuleHandleW(L"fileoper.dll");
        g_next.create = Patch(library, "KERNEL32.dll", "CreateFileW", &FaultyCreate);
        g_next.write = Patch(library, "KERNEL32.dll", "WriteFile", &FaultyWrite);
        g_next.remove = Patch(library, "KERNEL32.dll", "DeleteFileW", &FaultyDelete);
        g_next.move = Patch(library, "KERNEL32.dll", "MoveFileExW", &FaultyMove);
        g_next.space = Patch(library, "KERNEL32.dll", "GetDiskFreeSpaceExW", &FaultySpace);
        g_next.find = Patch(library, "KERNEL32.dll", "FindFirstFileW", &FaultyFind);
        g_next.removeFolder = Patch(library, "KERNEL32.dll", "RemoveDirectoryW", &FaultyRemoveFolder);
        g_next.setInfo = Patch(library, "TzDevIo.dll", kSetEncryptInfo, &FaultySetInfo);
        g_next.threadSetting = Patch(library, "TzRtl.dll", kGetThreadSetting, &NoteWorker);
        Patch(library, "KERNEL32.dll", "Sleep", &HeldSleep);
        Patch(library, "TzRtl.dll", WORD(1121), &PrivateVendorPath);
    }

private:
    template <typename Name, typename Fn>
    Fn* Patch(HMODULE library, const char* dll, Name function, Fn* hook) {
        patches_.emplace_back(std::make_unique<fault::ImportPatch>(library, dll, function, hook));
        return reinterpret_cast<Fn*>(patches_.back()->previous());
    }
    std::vector<std::unique_ptr<fault::ImportPatch>> patches_;
};

struct RunKind {
    const char* name;
    uint32_t kind, flags;
    bool toDestination, wipe;
};
const RunKind kInPlace = {"in place", 0, 0, false, false};
const RunKind kInPlaceWipe = {"in place, wipe", 0, FILEOPER_FLAG_WIPE, false, true};
const RunKind kToDestinationWipe = {"to destination, wipe", 0, FILEOPER_FLAG_WIPE, true, true};
const RunKind kMove = {"move", 0, FILEOPER_FLAG_MOVE, true, false};
const RunKind kDecryptInPlace = {"decrypt in place", 1, 0, false, false};
const RunKind kDecryptMove = {"decrypt, move", 1, FILEOPER_FLAG_MOVE, true, false};

struct Document {
    const wchar_t* name;
    std::string plain;
};
// The items are E, A and top.txt, in this order: E is done (and moved) before
// A's g.txt meets the fault, top.txt comes after it. g.txt, alone in its
// folder, is long enough for a wipe of two blocks.
const Document kDocuments[] = {{L"\\E\\h.txt", Pattern(9000)},
                               {L"\\top.txt", Pattern(3000)},
                               {L"\\A\\f.txt", Pattern(5)},
                               {L"\\A\\B\\g.txt", Pattern(70000)}};
const wchar_t* const kItems[] = {L"\\E", L"\\A", L"\\top.txt"};
const wchar_t* const kFolders[] = {L"\\E", L"\\A", L"\\A\\B"};
const std::string kOlderCopy = "an older g.txt the user keeps at the destination";

struct Seen {
    std::vector<ui::ListRow> status, errors;
    std::vector<std::wstring> boxes;
};

// A prompt whose button does not yet take the press is found again on the
// next round.
bool Dismiss(HWND window, int button) {
    if (!ui::Click(window, button)) return false;
    ui::MarkHandled(window);
    ui::WaitUntilGone(window);
    return true;
}

// The user at the screen until the worker has finished: replaces are
// answered Yes to All, the first question with Retry where it is offered,
// every other with Skip All, message boxes with OK, and a cancel the fault
// asks for with Yes.
Seen PlayUser(HWND dialog) {
    Seen seen;
    bool retried = false;
    while (IsWindow(dialog) && ui::ControlText(dialog, kOperationLabel) != kFinished) {
        if (WaitForSingleObject(g_plan.cancelAsked, 10) == WAIT_OBJECT_0) {
            ui::Click(dialog, IDCANCEL);
            for (HWND box; (box = ui::WaitForMessageBox(ui_test::kCaption)) && !Dismiss(box, IDYES);) {
            }
            SetEvent(g_plan.cancelDone);
        } else if (const HWND replace = ui::FindDialog(kReplace, kReplaceMessage)) {
            Dismiss(replace, kReplaceYesToAll);
        } else if (const HWND choice = ui::FindDialog(kErrorChoice, kChoiceMessage)) {
            const bool retry = ui::IsEnabled(choice, kRetryButton) && !retried;
            retried = (Dismiss(choice, retry ? kRetryButton : kSkipAllButton) && retry) || retried;
        } else if (const HWND box = ui::WaitForMessageBox(ui_test::kCaption, 0)) {
            const std::wstring text = ui::MessageBoxText(box);
            if (Dismiss(box, IDOK)) seen.boxes.push_back(text);
        }
    }
    seen.status = ui::ListRows(dialog, ui_test::kStatusList);
    seen.errors = ui::ListRows(dialog, ui_test::kErrorList);
    return seen;
}

Seen Watch(const docman::RunRequest& request) {
    ResetEvent(g_plan.refreshHeld);
    ResetEvent(g_plan.refreshGo);
    g_plan.worker = 0;
    Seen seen;
    ui_test::RunWithUser(request, [&] {
        const HWND dialog = ui::WaitForDialog(ui_test::kCaption, ui_test::kStatusList);
        if (dialog && WaitForSingleObject(g_plan.refreshHeld, ui::kWaitLimitMs) == WAIT_OBJECT_0) seen = PlayUser(dialog);
        SetEvent(g_plan.refreshGo);
    });
    return seen;
}

// The paths the run's log lines name, one a failure.
std::vector<std::wstring> LoggedPaths() {
    const std::string bytes = ReadFileBytes(LogPath());
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<std::wstring> paths;
    size_t start = text.find(L"\r\n");  // after the run's header line
    while (start != std::wstring::npos && start + 2 < text.size()) {
        const size_t end = text.find(L"\r\n", start + 2);
        const std::wstring line = text.substr(start + 2, end - start - 2);
        paths.push_back(line.substr(0, line.find(L',')));
        start = end;
    }
    return paths;
}

int WINAPI CollectRecord(void* context, uint32_t operation, uint32_t, uint64_t, const wchar_t* path) {
    static_cast<std::vector<std::pair<uint32_t, std::wstring>>*>(context)->emplace_back(operation, path);
    return 1;
}
int WINAPI CollectEvent(void* context, uint32_t id, uint64_t, const void* data, uint32_t size) {
    const auto* bytes = static_cast<const char*>(data);
    const size_t skip = (id == 20 || id == 21) ? 36 : 0;
    if (size > skip) static_cast<std::vector<std::wstring>*>(context)->push_back(reinterpret_cast<const wchar_t*>(bytes + skip));
    return 1;
}
template <typename Fn>
Fn StandIn(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(dll), name)));
}

struct Row {
    const RunKind* run;
    std::vector<Fault> faults;
};

std::vector<Fault> With(std::vector<Fault> faults, std::initializer_list<Fault> more) {
    faults.insert(faults.end(), more);
    return faults;
}

class RunSafety : public ::testing::Test {
protected:
    void RunMatrix(const std::vector<Row>& rows);

    // The in-place transforms' fall-back folder lies in the test's, and the
    // log's folder exists, as the product's installation makes it.
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        systemTemp_ = temp;
        CreateDirectoryW((dir / L"tmp").c_str(), nullptr);
        SetTempFolder(dir / L"tmp");
        const std::wstring log = LogPath();
        SHCreateDirectoryExW(nullptr, log.substr(0, log.find_last_of(L'\\')).c_str(), nullptr);
    }

    void TearDown() override { SetTempFolder(systemTemp_); }

    // A tree for the run kind: plain documents for an encryption, encrypted
    // ones for a decryption, and an older g.txt at the destination.
    void Build(const RunKind& run, bool olderCopy = true) {
        RemoveTree(src);
        CreateDirectoryW(src.c_str(), nullptr);
        for (const wchar_t* folder : kFolders) CreateDirectoryW((src + folder).c_str(), nullptr);
        if (olderCopy) {
            RemoveTree(dst);
            for (const std::wstring& folder : {dst, dst + L"\\A", dst + L"\\A\\B"}) CreateDirectoryW(folder.c_str(), nullptr);
        }
        const bool encrypted = run.kind == 1;
        for (const Document& d : kDocuments) {
            ASSERT_TRUE(WriteFileBytes(src + d.name, Stored(d.plain, encrypted)) && (!encrypted || Mark(src + d.name)));
        }
        // A decryption also clears the marks of the destination's folders.
        for (const std::wstring& folder : {src + L"\\E", src + L"\\A", src + L"\\A\\B", dst + L"\\A", dst + L"\\A\\B"}) {
            ASSERT_TRUE(!encrypted || !FileExists(folder) || MarkFolder(folder));
        }
        olderCopy_ = olderCopy;
        if (olderCopy) {
            ASSERT_TRUE(WriteFileBytes(dst + L"\\A\\B\\g.txt", kOlderCopy));
        }
        DeleteFileW(LogPath().c_str());
    }

    static bool Mark(const std::wstring& file) {
        static const auto set = StandIn<int(WINAPI*)(const wchar_t*, ENCRYPT_INFO*)>(L"TzDevIo.dll", MAKEINTRESOURCEA(kSetEncryptInfo));
        ENCRYPT_INFO info;
        BuildEncryptInfoW(nullptr, &info);
        return set(file.c_str(), &info) != 0;
    }

    docman::RunRequest Request(const RunKind& run, uint32_t answer, const std::wstring& destination) const {
        std::vector<std::wstring> items;
        for (const wchar_t* item : kItems) items.push_back(src + item);
        return ui_test::Request(run.kind, run.flags | answer | FILEOPER_FLAG_CLOSE_AT_END, items,
                                run.toDestination ? destination : L"");
    }

    // As before the run: plain for an encryption, encrypted for a decryption.
    static bool Untouched(bool encrypt, const std::wstring& path, const std::string& plain) {
        return FileExists(path) && IsMarked(path) != encrypt && ReadFileBytes(path) == Stored(plain, !encrypt);
    }

    // The one invariant. `undone`: the run ended in an undo, whose reversals
    // leave the conversions' events behind.
    void ExpectNothingLost(const RunKind& run, const Seen& seen, bool undone) {
        const bool encrypt = run.kind == 0;
        const auto converted = [&](const std::wstring& path, const std::string& plain) {
            return IsMarked(path) == encrypt && PlainView(path) == plain;
        };
        std::set<std::wstring> done;  // sources of documents with a success row
        for (const Document& d : kDocuments) {
            SCOPED_TRACE(Narrow(d.name));
            const std::wstring source = src + d.name, target = run.toDestination ? dst + d.name : source;
            const auto named = [&](const ui::ListRow& row) {
                const std::wstring folder = FolderOf(row.item);
                return Same(row.item.c_str(), source) || Same(row.item.c_str(), target) ||
                       (row.item.size() > 4 && Same(row.item.substr(row.item.size() - 4).c_str(), L".tmp") &&
                        (Same(folder.c_str(), FolderOf(source)) || Same(folder.c_str(), FolderOf(target))));
            };
            const auto success = std::find_if(seen.status.begin(), seen.status.end(), named);
            const auto failure = std::find_if(seen.errors.begin(), seen.errors.end(), named);
            std::wstring home = source;
            if (success != seen.status.end()) {
                home = success->item;
                EXPECT_TRUE(Same(home.c_str(), target) && converted(home, d.plain)) << "success row " << Narrow(home);
                done.insert(source);
            } else if (failure != seen.errors.end() && PlainView(failure->item) == d.plain) {
                home = failure->item;
            } else {
                EXPECT_TRUE(Untouched(encrypt, source, d.plain)) << "no row names a whole copy, and the source changed";
            }
            if (FileExists(source) && !Same(home.c_str(), source)) {
                EXPECT_TRUE(Untouched(encrypt, source, d.plain) || run.wipe) << "a source damaged, its copy elsewhere";
            }
            if (run.toDestination && olderCopy_ && d.name == std::wstring(L"\\A\\B\\g.txt")) {
                EXPECT_TRUE((ReadFileBytes(target) == kOlderCopy && !IsMarked(target)) ||
                            (Same(home.c_str(), target) && PlainView(target) == d.plain))
                    << "the older destination file";
            }
        }
        std::vector<std::wstring> errorItems, logged = LoggedPaths();
        for (const ui::ListRow& row : seen.errors) errorItems.push_back(row.item);
        std::sort(errorItems.begin(), errorItems.end());
        std::sort(logged.begin(), logged.end());
        EXPECT_EQ(errorItems, logged) << "every error row has its log line";

        const auto allDone = [&](const std::wstring& item) {
            for (const Document& d : kDocuments)
                if ((src + d.name).rfind(item, 0) == 0 && !done.count(src + d.name)) return false;
            return true;
        };
        std::vector<std::pair<uint32_t, std::wstring>> records;
        StandIn<decltype(&VarendbReadW)>(L"Varendb.dll", "VarendbReadW")(!encrypt, &CollectRecord, &records);
        for (const auto& [operation, item] : records) {
            if (encrypt || operation == VARENDB_RECORD_DELETED) {
                EXPECT_TRUE(allDone(item)) << "record of " << Narrow(item);
            }
        }
        std::vector<std::wstring> events;
        StandIn<decltype(&TzEvtLogReadW)>(L"TzEvtLog.dll", "TzEvtLogReadW")(&CollectEvent, &events);
        for (const Document& d : kDocuments) {
            if (!undone && std::count(events.begin(), events.end(), src + d.name)) {
                EXPECT_TRUE(done.count(src + d.name)) << "event for " << Narrow(d.name);
            }
        }
    }

    // A whole run under the filter model, with a fault aimed at g.txt.
    Seen RunWithFault(const docman::RunRequest& request, std::optional<Fault> fault, bool cancel) {
        g_plan.point = fault.value_or(kSourceOpen);
        g_plan.struck = !fault;
        g_plan.cancel = cancel;
        g_plan.source = src + L"\\A\\B\\g.txt";
        g_plan.folders[0] = src + L"\\A\\B";
        g_plan.folders[1] = request.destination.empty() ? g_plan.folders[0] : dst + L"\\A\\B";
        g_plan.targets[0] = g_plan.source;
        g_plan.targets[1] = dst + L"\\A\\B\\g.txt";
        g_plan.writers.clear();
        g_plan.wipeWrites = 0;
        Faults faults;
        FilterModel filter;
        return Watch(request);
    }

    TempDir dir;
    std::wstring src = dir / L"LongSourceFolder", dst = dir / L"dst";
    bool olderCopy_ = true;
    std::wstring systemTemp_;
};

// Every fault of each row with every answer. The listing and the folder
// removal ask nobody, so only Continue and Cancel tell them apart; the
// dialog's Skip All (after a first Retry where it is offered) differs from a
// preset Retry only where a retry is refused, after a wipe has begun.
void RunSafety::RunMatrix(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        for (Fault fault : row.faults) {
            for (Answer answer : {kRetry, kContinue, kSkipAll, kStop, kUndo, kCancel}) {
                const bool asksNobody = fault == kListing || fault == kFolderRemoval;
                const bool afterWipe = fault == kWipePartWay || fault == kDeleteAfterWipe || (fault == kRename && row.run->wipe);
                if ((asksNobody && answer != kContinue && answer != kCancel) || (answer == kSkipAll && !afterWipe)) continue;
                SCOPED_TRACE(std::string(row.run->name) + ", " + kFaultNames[fault] + ", " + kAnswerNames[answer]);
                StandinStore store;
                Build(*row.run);
                const Seen seen = RunWithFault(Request(*row.run, kPresets[answer], dst), fault, answer == kCancel);
                EXPECT_TRUE(g_plan.struck) << "the fault's point never came";
                const bool undone = answer == kUndo && row.run->kind == 0 && !seen.errors.empty();
                ExpectNothingLost(*row.run, seen, undone);
                // E, done before the fault, stays done, unless a failed
                // encryption is undone: a decryption offers no undo.
                const std::wstring h = src + kDocuments[0].name;
                const std::wstring hDone = row.run->toDestination ? dst + kDocuments[0].name : h;
                EXPECT_TRUE(undone ? Untouched(row.run->kind == 0, h, kDocuments[0].plain)
                                   : std::any_of(seen.status.begin(), seen.status.end(),
                                                 [&](const ui::ListRow& r) { return Same(r.item.c_str(), hDone); }))
                    << "E after the run";
            }
        }
    }
}

// A fault is left out where its point never comes: no wipe without the wipe
// flag; in place, the encrypted copy's rename replaces the zeroed source,
// which nothing deletes; a decryption checks no mark of its files. The
// in-place transforms rename their own temporary file, whose name the run
// never learns: their rename is not here.
TEST_F(RunSafety, InPlaceEveryFaultAndAnswerLeavesEveryDocumentWhole) {
    const std::vector<Fault> common = {kSourceOpen, kCopy, kDiskFull, kListing};
    RunMatrix({{&kInPlace, With(common, {kMark})},
               {&kInPlaceWipe, With(common, {kMark, kWipeStart, kWipePartWay, kRename})},
               {&kDecryptInPlace, common}});
}

// Only a move removes folders. A plain run to a destination is the move
// without the deletion of its sources: the move stands for it here (the
// destination-that-is-the-source table runs one, with an undo).
TEST_F(RunSafety, ToADestinationEveryFaultAndAnswerLeavesEveryDocumentWhole) {
    const std::vector<Fault> common = {kSourceOpen, kCopy, kDiskFull, kListing, kRename};
    RunMatrix({{&kToDestinationWipe, With(common, {kMark, kWipeStart, kWipePartWay, kDeleteAfterWipe})},
               {&kMove, With(common, {kMark, kFolderRemoval})},
               {&kDecryptMove, common}});
}

// The source root under other names. Wine 8 cannot make a junction
// (FSCTL_SET_REPARSE_POINT fails with ERROR_NOT_SUPPORTED); its Z: drive maps
// the Unix root, so every folder has a second drive letter there.
std::vector<std::pair<const char*, std::wstring>> Aliases(const std::wstring& folder) {
    wchar_t shortName[MAX_PATH] = {};
    GetShortPathNameW(folder.c_str(), shortName, MAX_PATH);
    std::wstring upper = folder, unixRoot = L"Z:";
    CharUpperW(&upper[0]);
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName(folder.c_str());
    for (const char* c = name; *c; ++c) unixRoot += *c == '/' ? L'\\' : wchar_t(*c);
    HeapFree(GetProcessHeap(), 0, name);
    return {{"same", folder}, {"letter case", upper}, {"trailing backslash", folder + L"\\"},
            {"long-path prefix", L"\\\\?\\" + folder}, {"8.3 name", shortName}, {"drive Z:", unixRoot}};
}

// A destination that is the source root: each item would be converted in
// place and then deleted by the move, zeroed by the wipe or deleted by the
// undo. Each is refused as the same folder, and the run goes on.
TEST_F(RunSafety, ADestinationThatIsTheSourceRefusesEveryItem) {
    const RunKind undoKind = {"to destination, undo", 0, 0, true, false};
    const std::pair<const RunKind*, uint32_t> runs[] = {
        {&kMove, FILEOPER_CHOICE_CONTINUE}, {&kToDestinationWipe, FILEOPER_CHOICE_CONTINUE}, {&undoKind, FILEOPER_CHOICE_UNDO}};
    CreateDirectoryW(src.c_str(), nullptr);
    for (const auto& [alias, destination] : Aliases(src)) {
        for (const auto& [run, answer] : runs) {
            SCOPED_TRACE(std::string(alias) + ", " + run->name);
            StandinStore store;
            Build(*run, false);
            dst = destination;
            docman::RunRequest request = Request(*run, answer, destination);
            request.items.push_back(src + L"\\missing.txt");  // fails: the undo runs
            const Seen seen = RunWithFault(request, std::nullopt, false);
            std::wstring shown = destination;
            while (shown.back() == L'\\') shown.pop_back();
            std::vector<std::wstring> refusals;
            for (const wchar_t* item : kItems)
                refusals.push_back(L"Invalidate operation.\nthe source folder \"" + src + item + L"\" and destination \"" +
                                   shown + L"\" is the same.");
            EXPECT_EQ(seen.boxes, refusals);
            ExpectNothingLost(*run, seen, false);
        }
    }
}

}  // namespace
