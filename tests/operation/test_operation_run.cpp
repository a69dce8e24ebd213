// Whole runs through ShowOperationStatus with preset answers, over the filter
// model: what each kind of run leaves on disk (scrambled bytes in every
// encrypted file, the plain ones in every decrypted one), and what a failure
// or a refusal leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>

#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "standins/varendb/varendb_standin.h"
#include "tests/ui/run_gate.h"
#include "tests/ui/ui_run.h"

using namespace testing_support;

namespace {

// A whole run of the library as a host starts it, with nobody at the screen:
// the dialog closes by itself at the end.
constexpr int kOperationLabel = 1003;

struct RunOutcome : ui_test::RunEnd {
    uint32_t FilesDone() const { return High(2); }
    uint32_t ReverseFlag() const { return Low(3); }
    uint32_t ErrorCount() const { return High(6); }
};

// What the two lists showed when the run finished: the status rows' items,
// the error rows as "item|message".
struct Lists {
    std::vector<std::wstring> status, errors;
    std::map<std::wstring, LPARAM> data;  // a status row's item data by its item
};

// Paths relative to root, when below it.
std::wstring Below(const std::wstring& root, std::wstring path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
    return path.rfind(root + L"\\", 0) == 0 ? path.substr(root.size() + 1) : path;
}

// True when no path comes after a folder that holds it.
bool ContentsFirst(const std::vector<std::wstring>& paths) {
    for (size_t i = 0; i < paths.size(); ++i)
        for (size_t j = i + 1; j < paths.size(); ++j)
            if (paths[j].rfind(paths[i] + L"\\", 0) == 0) return false;
    return true;
}

// Standing records of the record database, relative to root.
std::vector<std::wstring> Records(const std::wstring& root) {
    std::pair<std::wstring, std::vector<std::wstring>> found{root, {}};
    VarendbReadW(0, [](void* context, uint32_t, uint32_t, uint64_t, const wchar_t* path) -> int {
        auto& [base, paths] = *static_cast<decltype(found)*>(context);
        paths.push_back(Below(base, path));
        return 1;
    }, &found);
    return found.second;
}

class OperationRun : public ::testing::Test {
protected:
    // The tree afresh, also between the cases of a table.
    void SetUp() override {
        for (const std::wstring& root : {src, dst}) RemoveTree(root);
        for (const std::wstring& folder : {src, src + L"\\A", src + L"\\A\\B", dst}) CreateDirectoryW(folder.c_str(), nullptr);
        for (const auto& [name, bytes] : files) ASSERT_TRUE(WriteFileBytes(src + name, bytes));
    }
    std::vector<std::wstring> Items() const { return {src + L"\\A", src + L"\\top.txt"}; }
    // A whole run as a host starts it, with nobody at the screen; with lists,
    // the dialog is held open at the end until both lists are read.
    RunOutcome RunOperation(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items,
                            const std::wstring& destination = L"", Lists* lists = nullptr) {
        const docman::RunRequest request =
            ui_test::Request(kind, flags | FILEOPER_FLAG_CLOSE_AT_END, items, destination);
        RunOutcome outcome;
        auto& end = static_cast<ui_test::RunEnd&>(outcome);
        if (!lists) {
            end = ui_test::RunWithUser(request, [] {});
            return outcome;
        }
        end = ui_test::RunHeld({ui_test::RunGate::kRefresh}, request, [&](HWND dialog, ui_test::RunGate&) {
            if (!ui::WaitForText(dialog, kOperationLabel, L"Finished")) return;
            for (const ui::ListRow& row : ui::ListRows(dialog, ui_test::kStatusList)) {
                lists->status.push_back(Below(dir.path(), row.item));
                lists->data[lists->status.back()] = row.data;
            }
            for (const ui::ListRow& row : ui::ListRows(dialog, ui_test::kErrorList))
                lists->errors.push_back(Below(dir.path(), row.item) + L"|" + row.status);
        });
        return outcome;
    }
    // The paths the driver's library was asked to mark (set) or unmark
    // (clear), relative to the test's folder.
    std::vector<std::wstring> Marked(const char* operation) const {
        std::vector<std::wstring> paths;
        for (const auto& [done, path] : store.Calls())
            if (done == operation) paths.push_back(Below(dir.path(), path));
        return paths;
    }
    // The five rows of a run over Items() under root, and in them as in the
    // driver's calls a folder after its contents (before them, clearing).
    void ExpectContentsFirst(const Lists& lists, const char* marking, const std::wstring& root) {
        std::vector<std::wstring> status = lists.status, marks = Marked(marking);
        if (marking == std::string("clear")) {
            std::reverse(status.begin(), status.end());
            std::reverse(marks.begin(), marks.end());
        }
        EXPECT_TRUE(ContentsFirst(status)) << testing::PrintToString(lists.status);
        EXPECT_TRUE(ContentsFirst(marks)) << testing::PrintToString(marks);
        std::sort(status.begin(), status.end());
        std::vector<std::wstring> rows;
        for (const wchar_t* row : {L"\\A", L"\\A\\B", L"\\A\\B\\g.txt", L"\\A\\f.txt", L"\\top.txt"}) rows.push_back(root + row);
        EXPECT_EQ(status, rows);
    }
    void ExpectWhole(const std::wstring& root, bool marked) {
        for (const auto& [name, bytes] : files) {
            EXPECT_TRUE(ReadFileBytes(root + name) == Stored(bytes, marked)) << Narrow(root + name);
            EXPECT_EQ(IsMarked(root + name), marked) << Narrow(root + name);
        }
    }

    StandinStore store;
    FilterModel filter;
    TempDir dir;
    std::wstring src = dir / L"src", dst = dir / L"dst";
    const std::vector<std::pair<std::wstring, std::string>> files = {
        {L"\\A\\f.txt", Pattern(70000)}, {L"\\A\\B\\g.txt", Pattern(5)}, {L"\\top.txt", ""}};
};

// Each kind of run, and the decryption back: every file whole, and a folder
// marked after everything in it and cleared before anything in it, in the
// rows as in the driver's calls.
TEST_F(OperationRun, EachKindOfRunLeavesEveryFileWhole) {
    const struct { const char* name; uint32_t flags; bool toDestination, sourceStays; } cases[] = {
        {"in place", 0, false, true},         {"in place, wipe", FILEOPER_FLAG_WIPE, false, true},
        {"to destination", 0, true, true},    {"to destination, wipe", FILEOPER_FLAG_WIPE, true, false},
        {"move", FILEOPER_FLAG_MOVE, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Lists lists;
        store.RecordCalls();
        const RunOutcome run = RunOperation(0, c.flags | FILEOPER_CHOICE_STOP, Items(), c.toDestination ? dst : L"", &lists);
        EXPECT_EQ(run.ErrorCount(), 0u);
        EXPECT_EQ(run.FilesDone(), 5u);
        EXPECT_EQ(run.results[5], reinterpret_cast<uintptr_t>(run.request));
        EXPECT_EQ(run.results[8], 0u);
        const std::wstring result = c.toDestination ? dst : src;
        ExpectWhole(result, true);
        ExpectContentsFirst(lists, "set", Below(dir.path(), result));
        // The undo reads what a row stands for from its item data.
        const std::wstring shown = Below(dir.path(), result);
        EXPECT_EQ((std::vector<LPARAM>{lists.data[shown + L"\\A"], lists.data[shown + L"\\A\\f.txt"],
                                       lists.data[shown + L"\\top.txt"]}),
                  (std::vector<LPARAM>{1, 0, c.toDestination ? 0 : 0x10000}));
        for (const wchar_t* folder : {L"\\A", L"\\A\\B"}) EXPECT_TRUE(IsMarked(result + folder));
        if (c.toDestination && c.sourceStays) ExpectWhole(src, false);
        EXPECT_EQ(FileExists(src + L"\\A\\f.txt"), c.sourceStays);
        EXPECT_EQ(ListFolder(result + L"\\A").size(), 2u) << "a temporary file was left";

        Lists back;
        store.RecordCalls();
        EXPECT_EQ(RunOperation(1, FILEOPER_CHOICE_STOP, {result + L"\\A", result + L"\\top.txt"}, L"", &back).ErrorCount(), 0u);
        ExpectWhole(result, false);
        ExpectContentsFirst(back, "clear", Below(dir.path(), result));
        EXPECT_FALSE(IsMarked(result + L"\\A"));
    }
}

TEST_F(OperationRun, ARefusedMarkIsAnErrorAndTheFilesStayEncrypted) {
    store.SetSwitch(L"refuse-set.txt", Utf8(src + L"\\A\\B"));
    const RunOutcome run = RunOperation(0, FILEOPER_CHOICE_CONTINUE, Items());
    EXPECT_EQ(run.ErrorCount(), 1u);
    EXPECT_FALSE(IsMarked(src + L"\\A\\B"));
    EXPECT_TRUE(IsMarked(src + L"\\A"));
    ExpectWhole(src, true);
}

TEST_F(OperationRun, ASystemFolderIsRefused) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    const RunOutcome run = RunOperation(0, FILEOPER_CHOICE_CONTINUE | FILEOPER_FLAG_NO_DESCENT, {windows});
    EXPECT_EQ(run.ErrorCount(), 1u);
    EXPECT_FALSE(IsMarked(windows));
}

// Each run after f.txt alone was encrypted: which rows it adds, what it
// reports, and what it leaves. (The preset Undo is judged with the undo's order below.)
TEST_F(OperationRun, TheListsShowWhatTheRunDid) {
    const wchar_t kLockedG[] = L"src\\A\\B\\g.txt|Create file error, file does not exist or locked by other process";
    const struct {
        const char* name;
        uint32_t kind, flags;
        std::vector<std::wstring> items, status, errors;
        bool toDestination;
        const wchar_t* locked;
    } cases[] = {
        {"encrypted files skipped in place", 0, FILEOPER_FLAG_SKIP_ENCRYPTED | FILEOPER_CHOICE_STOP, {L"A"},
         {L"src\\A", L"src\\A\\B", L"src\\A\\B\\g.txt"}, {}, false, nullptr},
        {"no skipping at a destination", 0, FILEOPER_FLAG_SKIP_ENCRYPTED | FILEOPER_CHOICE_STOP, {L"A"},
         {L"dst\\A", L"dst\\A\\B", L"dst\\A\\B\\g.txt", L"dst\\A\\f.txt"}, {}, true, nullptr},
        {"decrypting a folder without a mark", 1, FILEOPER_CHOICE_CONTINUE, {L"A"}, {L"src\\A\\f.txt"}, {}, false,
         nullptr},
        {"an item that cannot be read ends the run", 0, FILEOPER_CHOICE_STOP, {L"gone.txt", L"top.txt"}, {},
         {L"src\\gone.txt|Access denied"}, false, nullptr},
        {"a folder whose contents failed", 0, FILEOPER_FLAG_SKIP_ENCRYPTED | FILEOPER_CHOICE_STOP, {L"A"}, {},
         {kLockedG}, false, L"\\A\\B\\g.txt"},
        // The preset choice after a failure; a preset Retry is bounded: nobody is there to give up.
        {"continue", 0, FILEOPER_FLAG_SKIP_ENCRYPTED | FILEOPER_CHOICE_CONTINUE, {L"A", L"top.txt"},
         {L"src\\A", L"src\\A\\B", L"src\\top.txt"}, {kLockedG}, false, L"\\A\\B\\g.txt"},
        {"retry", 0, FILEOPER_FLAG_SKIP_ENCRYPTED | FILEOPER_CHOICE_RETRY, {L"A", L"top.txt"}, {}, {kLockedG}, false,
         L"\\A\\B\\g.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        RunOperation(0, FILEOPER_CHOICE_STOP, {src + L"\\A\\f.txt"});
        ASSERT_TRUE(IsMarked(src + L"\\A\\f.txt"));
        std::vector<std::wstring> items;
        for (const std::wstring& item : c.items) items.push_back(src + L"\\" + item);
        const HANDLE lock = c.locked ? OpenAsOther(src + c.locked, GENERIC_READ, 0) : INVALID_HANDLE_VALUE;
        Lists lists;
        const RunOutcome run = RunOperation(c.kind, c.flags, items, c.toDestination ? dst : L"", &lists);
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        // Where a failure ended the walk, the item size stays and the folder stays unmarked.
        const bool failureEnded = c.locked && c.status.empty();
        EXPECT_EQ(run.results[4] != 0, failureEnded) << "the item size";
        EXPECT_FALSE(IsMarked(src + L"\\A\\B") && failureEnded) << "a folder whose contents failed";
        std::vector<std::wstring> status = lists.status;
        std::sort(status.begin(), status.end());
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(lists.errors, c.errors);
        const std::wstring f = (c.toDestination ? dst : src) + L"\\A\\f.txt";
        EXPECT_EQ(ReadFileBytes(f), Stored(files[0].second, c.kind == 0)) << "f.txt must stay whole";
        EXPECT_EQ(IsMarked(f), c.kind == 0);
    }
}

// A run that fails on its last item with the preset Undo: in place, the
// folders' marks go first, then the files from the last; at a destination,
// the files from the last, then the folders. Every top-level item undone
// takes its record along.
TEST_F(OperationRun, AnUndoTakesBackEveryRowInItsOrder) {
    for (const bool toDestination : {false, true}) {
        SCOPED_TRACE(toDestination ? "to destination" : "in place");
        SetUp();
        store.RecordCalls();
        const RunOutcome run = RunOperation(0, FILEOPER_CHOICE_UNDO | FILEOPER_FLAG_RECORD_ARGUMENT,
                                            {src + L"\\A", src + L"\\top.txt", src + L"\\gone.txt"},
                                            toDestination ? dst : L"");
        EXPECT_EQ(run.FilesDone(), 0u);
        EXPECT_EQ(run.ReverseFlag(), 0u);
        EXPECT_EQ(run.results[1], 0u) << "completed bytes";
        ExpectWhole(src, false);
        EXPECT_FALSE(IsMarked(src + L"\\A") || IsMarked(src + L"\\A\\B"));
        if (toDestination) {
            EXPECT_EQ(ListFolder(dst + L"\\A"), std::vector<std::wstring>{});
        } else {
            const std::vector<std::wstring> cleared = Marked("clear");
            ASSERT_GE(cleared.size(), 2u);
            EXPECT_EQ(std::vector<std::wstring>(cleared.begin(), cleared.begin() + 2),
                      (std::vector<std::wstring>{L"src\\A\\B", L"src\\A"}));
        }
        EXPECT_EQ(Records(src), std::vector<std::wstring>{});
    }
}

fault::Trigger g_fail;

// Only the folder lists' 40-byte nodes: the dialog's threads allocate too.
LPVOID __cdecl FailingCalloc(size_t count, size_t size) {
    if (count == 1 && size == 40 && g_fail.Fire()) return nullptr;
    return fault::Real(&calloc, "msvcrt.dll", "calloc")(count, size);
}

// A locked file, a folder that cannot be listed and a full disk are in the
// fault matrix (test_run_safety.cpp); a folder list short of memory is not.
TEST_F(OperationRun, AMoveKeepsEverySourceWhenAFolderListFindsNoMemory) {
    const fault::ImportPatch patch(GetModuleHandleW(L"fileoper.dll"), "msvcrt.dll", "calloc",
                                   reinterpret_cast<const void*>(&FailingCalloc));
    g_fail.Arm(2);
    RunOperation(0, FILEOPER_CHOICE_CONTINUE | FILEOPER_FLAG_MOVE, {src + L"\\A"}, dst);
    ExpectWhole(src, false);
}

// A host may pass no results array; a null request is bad input that runs
// nothing and leaves the caller's array as it was.
TEST_F(OperationRun, NullResultsRunAsUsualAndANullRequestRunsNothing) {
    const std::vector<uint32_t> block = docman::BuildRequestBlock(
        ui_test::Request(0, FILEOPER_CHOICE_STOP | FILEOPER_FLAG_CLOSE_AT_END, {src + L"\\top.txt"}));
    EXPECT_EQ(ShowOperationStatus(docman::AsRequest(block), nullptr), 0u);
    EXPECT_TRUE(IsMarked(src + L"\\top.txt"));

    uint64_t results[FILEOPER_RESULT_SLOTS];
    std::fill(std::begin(results), std::end(results), 0xA5A5A5A5A5A5A5A5ull);
    EXPECT_EQ(ShowOperationStatus(nullptr, results), FILEOPER_ERR_INVALID_PARAMETER);
    for (uint64_t slot : results) EXPECT_EQ(slot, 0xA5A5A5A5A5A5A5A5ull);
}

// A tree 390 folders deep, its paths near 4,000 characters, is encrypted,
// undone and moved away on the worker's default stack (a level takes some 224
// bytes). Under Wine a file call costs time in proportion to the folders in
// its path: deeper trees take minutes. Its own CTest test.
TEST_F(OperationRun, DeepTreeIsEncryptedUndoneAndRemoved) {
    const auto Long = [](const std::wstring& path) { return L"\\\\?\\" + path; };
    const std::wstring top = dir / L"t";
    std::wstring deepest = top;
    ASSERT_TRUE(CreateDirectoryW(top.c_str(), nullptr));
    // As deep as the Unix path limit leaves room for, with the library's
    // temporary names and the destination's extra characters.
    const size_t levels = (std::min)(size_t{390}, (LongestPathIn(dir.path(), 4000) - top.size() - 48) / 10);
    for (size_t i = 0; i < levels; ++i) {
        deepest += L"\\ddddddddd";
        ASSERT_TRUE(CreateDirectoryW(Long(deepest).c_str(), nullptr)) << i;
    }
    ASSERT_GT(deepest.size(), 3700u);
    ASSERT_TRUE(WriteFileBytes(Long(deepest + L"\\x"), "deep"));

    // The missing second item fails, and the preset Undo reverses the tree.
    const RunOutcome undone = RunOperation(0, FILEOPER_CHOICE_UNDO, {top, dir / L"missing"});
    EXPECT_EQ(undone.ErrorCount(), 1u);
    EXPECT_EQ(undone.FilesDone(), 0u);
    for (const std::wstring& path : {top, Long(deepest), Long(deepest + L"\\x")}) EXPECT_FALSE(IsMarked(path));

    // The destination's name is as long as the source's: every path fits.
    const std::wstring moved = dir / L"m";
    ASSERT_TRUE(CreateDirectoryW(moved.c_str(), nullptr));
    const RunOutcome move = RunOperation(0, FILEOPER_CHOICE_STOP | FILEOPER_FLAG_MOVE, {top}, moved);
    EXPECT_EQ(move.ErrorCount(), 0u);
    EXPECT_FALSE(FileExists(top));
    const std::wstring arrived = moved + L"\\t" + deepest.substr(top.size()) + L"\\x";
    EXPECT_EQ(ReadFileBytes(Long(arrived)), Scramble("deep"));
    EXPECT_TRUE(IsMarked(Long(arrived)));
}

// An item that is its destination, or that the destination lies in, is
// refused with a message box and left alone, and the run goes on with the
// next item. The check is a plain substring search, so a destination that
// merely starts with the item's name and goes deeper is refused too.
TEST(Refusals, AnItemHoldingItsDestinationIsLeftAloneAndTheRunGoesOn) {
    enum Box { kSameFolder, kInsideSource, kNone };
    const struct { const wchar_t* destination; Box box; } cases[] = {
        {L"\\Data", kSameFolder}, {L"\\Database\\X", kInsideSource}, {L"\\Database", kNone}};
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.destination));
        StandinStore store;
        TempDir dir;
        const std::wstring item = dir / L"Data", destination = dir.path() + c.destination;
        for (const std::wstring& f : {item, dir / L"Database", destination}) CreateDirectoryW(f.c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(item + L"\\f.txt", "data") && WriteFileBytes(dir / L"other.txt", "other"));

        std::vector<std::wstring> shown;  // every message box, answered with OK
        const auto user = [&] {
            for (const HWND run = ui::WaitForDialog(ui_test::kCaption, ui_test::kStatusList); IsWindow(run);) {
                const HWND box = ui::WaitForMessageBox(ui_test::kCaption, 100);
                if (box) shown.push_back(ui::MessageBoxText(box));
                if (box) ui::Answer(box, IDOK);
            }
        };
        ui_test::RunWithUser(ui_test::Request(0, FILEOPER_FLAG_CLOSE_AT_END, {item, dir / L"other.txt"}, destination), user);

        const std::wstring texts[] = {
            L"Invalidate operation.\nthe source folder \"" + item + L"\" and destination \"" + destination +
                L"\" is the same.",
            L"Invalidate operation.\nthe destination \"" + destination +
                L"\" is the sub folder of the source folder \"" + item + L"\"."};
        EXPECT_EQ(shown, c.box == kNone ? std::vector<std::wstring>{} : std::vector<std::wstring>{texts[c.box]});
        EXPECT_EQ(ReadFileBytes(item + L"\\f.txt"), "data") << "the refused item must stay untouched";
        EXPECT_EQ(IsMarked(destination + L"\\Data\\f.txt"), c.box == kNone);
        EXPECT_TRUE(IsMarked(destination + L"\\other.txt")) << "the run must go on after a refusal";
    }
}

}  // namespace
