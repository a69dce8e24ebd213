#include "operation/item_processing.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "devio/devio.h"
#include "engine/long_path.h"
#include "engine/windows_dir.h"
#include "exports/error_state.h"
#include "fileoper.h"
#include "framework/handles.h"
#include "operation/file_operation.h"
#include "operation/run_dialog.h"
#include "operation/worker.h"
#include "operation/worker_services.h"
#include "standins/tzevtlog/tzevtlog.h"
#include "transforms/chunked_copy.h"

namespace oper {

namespace {

enum class RetryRule {
    kEveryFailure,          // every non-zero code is asked about, Retry repeats it
    kNotEncryptedPasses,    // code 14 is neither asked about nor repeated
    kRestartResultOnce,     // the restart-required result is asked about once, never repeated
};

uint32_t CodeOf(uint32_t code) { return code; }
uint32_t CodeOf(const FileOutcome& outcome) { return outcome.code; }
bool Repeatable(uint32_t) { return true; }
bool Repeatable(const FileOutcome& outcome) { return outcome.keptAt.empty(); }

// Runs a step; asks about a failure and runs the step again while the
// answer is Retry.
template <typename Step>
auto RunWithRetry(COperThread& worker, RetryRule rule, Step step) {
    worker.BeginStep();
    for (;;) {
        const auto outcome = step();
        const uint32_t code = CodeOf(outcome);
        if (code == kOk) return outcome;
        if (rule == RetryRule::kNotEncryptedPasses && code == kErrNotEncrypted) return outcome;
        if (worker.AskErrorChoiceAndKeep(code, Repeatable(outcome)) != kChoiceRetry) return outcome;
        if (rule == RetryRule::kRestartResultOnce && !IsFailure(code)) return outcome;
    }
}

// A confirmed cancel ends the item without its mark, record or move.
bool StopsForCancel(COperThread& worker) {
    if (!CancelRequested()) return false;
    worker.NoteItemCancelled();
    return true;
}

uint32_t ClearFolderMark(const std::wstring& target) {
    DecryptFolderW(target.c_str());
    const uint32_t code = GetOperErrorCode();
    if (code == kOk) Event_Add(kEventDecryptedPath, target.c_str());
    return code;
}

uint32_t SetFolderMark(const std::wstring& target) {
    EncryptFolderW(target.c_str(), Request().EncryptInfo());
    const uint32_t code = GetOperErrorCode();
    if (code == kOk) Event_Add(kEventEncryptedPath, target.c_str());
    return code;
}

uint32_t SetFolderMarkWithRetry(COperThread& worker, const std::wstring& target) {
    const uint32_t code = RunWithRetry(worker, RetryRule::kEveryFailure, [&] { return SetFolderMark(target); });
    AddRow(code, kRowFolder, target.c_str());
    return code;
}

bool SkippedAsEncrypted(const wchar_t* path) {
    return !HasFlag(kFlagToDestination) && HasFlag(kFlagSkipEncrypted) && DevIoIsEncryptedW(path, 0) != 0;
}

bool IsSystemFolderToEncrypt(const wchar_t* path) {
    return Request().Kind() == kKindEncrypt && !HasFlag(kFlagToDestination) && IsUnderWindowsDirectory(path);
}

// A file's row shows its destination in a run to a destination. A file that
// did not end well leaves its source needed.
void AddItemRow(COperThread& worker, uint32_t code, uint32_t itemData, const wchar_t* path) {
    if (code != kOk) worker.NoteItemIncomplete();
    AddRow(code, itemData, HasFlag(kFlagToDestination) ? MapItemPath(kToDestination, path).c_str() : path);
}

// A file that stopped for a cancel leaves no row; one whose encrypted copy
// was kept after its source began to be wiped has its row name that copy.
bool AddFileRow(COperThread& worker, const FileOutcome& outcome, uint32_t itemData, const wchar_t* path) {
    if (outcome.cancelled) {
        worker.NoteItemCancelled();
        return false;
    }
    if (outcome.keptAt.empty()) {
        AddItemRow(worker, outcome.code, itemData, path);
    } else {
        worker.NoteItemIncomplete();
        AddRow(outcome.code, itemData, outcome.keptAt.c_str());
    }
    return true;
}

bool Continues(const COperThread& worker) { return worker.LastErrorChoice() == kChoiceContinue; }

uint32_t ProcessTopFolder(COperThread& worker, const wchar_t* item) {
    const uint32_t kind = Request().Kind();
    const std::wstring target = HasFlag(kFlagToDestination) ? MapItemPath(kToDestination, item) : item;
    uint32_t result = kOk;
    if (kind == kKindDecrypt) {
        result = RunWithRetry(worker, RetryRule::kNotEncryptedPasses, [&] { return ClearFolderMark(target); });
        AddRow(result, kRowFolder, target.c_str());
        if (result != kOk && result != kErrNotEncrypted && !Continues(worker)) return result;
    }
    if (HasFlag(kFlagNoDescent)) {
        worker.NoteItemIncomplete();
    } else {
        result = ProcessFolderContents(worker, item);
        if (result != kOk && !Continues(worker)) return result;
    }
    if (kind != kKindEncrypt || StopsForCancel(worker) || SkippedAsEncrypted(target.c_str())) return result;
    return SetFolderMarkWithRetry(worker, target);
}

uint32_t ProcessTopFile(COperThread& worker, const wchar_t* item, uint64_t roundedSize) {
    g_state.currentItemSize = roundedSize;
    if (SkippedAsEncrypted(item)) {
        CountCurrentItemDone();
        return kOk;
    }
    const FileOutcome outcome = RunWithRetry(worker, RetryRule::kEveryFailure, [&] { return ProcessFile(item); });
    AddFileRow(worker, outcome, HasFlag(kFlagToDestination) ? kRowFile : kRowTopLevelInPlaceFile, item);
    CountCurrentItemDone();
    return outcome.code;
}

// One sub-folder of a walk: its mark cleared before its contents, or set
// after them. False when the walk ends here; *result is the code to pass up.
bool ProcessSubFolder(COperThread& worker, const wchar_t* path, uint32_t* result) {
    const uint32_t kind = Request().Kind();
    std::wstring target = path;
    if (HasFlag(kFlagToDestination)) {
        target = MapItemPath(kToDestination, path);
        if (!PathFileExistsLongW(target.c_str())) CreateDirectoryLongW(target.c_str(), nullptr);
    }
    if (kind == kKindDecrypt) {
        const uint32_t code =
            RunWithRetry(worker, RetryRule::kEveryFailure, [&] { return ClearFolderMark(target); });
        AddRow(code, kRowFolder, target.c_str());
        if (code != kOk && worker.AskErrorChoiceAndKeep(code) != kChoiceContinue) {
            *result = code;
            return false;
        }
    }
    const bool systemObject = IsSystemFolderToEncrypt(path);
    if (systemObject) {
        worker.AskErrorChoiceAndKeep(kErrSystemObject);
        AddRow(kErrSystemObject, kRowFolder, path);
        *result = kErrSystemObject;
    } else {
        *result = ProcessFolderContents(worker, path);
    }
    if (*result != kOk && !Continues(worker)) return false;
    if (kind != kKindEncrypt || systemObject || StopsForCancel(worker) || SkippedAsEncrypted(target.c_str()))
        return true;
    *result = SetFolderMarkWithRetry(worker, target);
    return *result == kOk || Continues(worker);
}

bool ProcessFileEntry(COperThread& worker, const FolderEntry& entry, uint32_t* result) {
    g_state.currentItemSize = entry.size;
    g_state.currentItemPercent = 0;
    if (SkippedAsEncrypted(entry.path)) {
        CountCurrentItemDone();
        return true;
    }
    const FileOutcome outcome =
        RunWithRetry(worker, RetryRule::kRestartResultOnce, [&] { return ProcessFile(entry.path); });
    if (!AddFileRow(worker, outcome, kRowFile, entry.path)) {
        *result = kOk;
        return false;
    }
    g_state.currentItemPercent = 100;
    const uint32_t code = outcome.code;
    *result = code;
    if (IsFailure(code) && (!Continues(worker) || code == kErrRenameTemp)) return false;
    CountCurrentItemDone();
    return true;
}

// A node at the head of the list, its path built in place: no allocation
// here may throw, since running out of memory is an answer of its own.
bool PushEntry(FolderEntry** head, const wchar_t* folder, const WIN32_FIND_DATAW& found) {
    auto* node = static_cast<FolderEntry*>(calloc(1, sizeof(FolderEntry)));
    if (!node) return false;
    node->next = *head;
    if (*head) (*head)->previous = node;
    *head = node;

    const size_t folderLength = wcslen(folder);
    const bool separator = folderLength == 0 || folder[folderLength - 1] != L'\\';
    const size_t length = folderLength + (separator ? 1 : 0) + wcslen(found.cFileName);
    node->path = static_cast<wchar_t*>(calloc(length + 1, sizeof(wchar_t)));
    if (!node->path) return false;
    wcscpy(node->path, folder);
    if (separator) wcscat(node->path, L"\\");
    wcscat(node->path, found.cFileName);

    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        node->isFolder = 1;
    else
        node->size = RoundedSize(found.nFileSizeHigh, found.nFileSizeLow);
    return true;
}

}  // namespace

uint32_t ProcessTopItem(COperThread& worker, const wchar_t* item) {
    SetCurrentItemName(item);
    if (IsSystemFolderToEncrypt(item)) {
        worker.AskErrorChoiceAndKeep(kErrSystemObject);
        AddRow(kErrSystemObject, kRowFolder, item);
        return kErrSystemObject;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExLongW(item, GetFileExInfoStandard, &data)) {
        worker.AskErrorChoiceAndKeep(kErrGetAttributes);
        // The row names the reason (access denied); the item's code stays 1.
        AddItemRow(worker, kErrFolderAccess, kRowFile, item);
        return kErrGetAttributes;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return ProcessTopFolder(worker, item);
    return ProcessTopFile(worker, item, RoundedSize(data.nFileSizeHigh, data.nFileSizeLow));
}

uint32_t ProcessFolderContents(COperThread& worker, const wchar_t* folder) {
    EntryList list;
    if (!ListFolderEntries(worker, folder, list.HeadAddress())) return kOk;
    uint32_t result = kOk;
    while (!list.Empty()) {
        WaitWhileRunPaused();
        if (StopsForCancel(worker)) return kOk;
        g_state.filesDone = g_state.filesDone + 1;
        const FolderEntry& entry = *list.Head();
        SetCurrentItemName(entry.path);
        const bool goesOn = entry.isFolder ? ProcessSubFolder(worker, entry.path, &result)
                                           : ProcessFileEntry(worker, entry, &result);
        if (!goesOn) return result;
        list.Pop();
    }
    return result;
}

uint32_t ListFolderEntries(COperThread& worker, const wchar_t* folder, FolderEntry** head) {
    auto found = fw::HeapBlock<WIN32_FIND_DATAW>::allocate(1);
    if (!found) return 0;
    fw::FindHandle find(FindFirstFileLongW(JoinPath(folder, L"*.*").c_str(), found.get()));
    if (!find) {
        // Treated as empty; what it holds was not reached.
        worker.NoteItemIncomplete();
        return 1;
    }
    do {
        if (IsDotEntry(found.get()->cFileName)) continue;
        if (!PushEntry(head, folder, *found.get())) {
            FreeEntryList(head);
            worker.NoteItemIncomplete();
            return 0;
        }
    } while (FindNextFileW(find.get(), found.get()));
    return 1;
}

void FreeEntryList(FolderEntry** head) {
    while (*head) PopEntry(head);
}

void PopEntry(FolderEntry** head) {
    FolderEntry* node = *head;
    *head = node->next;
    if (*head) (*head)->previous = nullptr;
    free(node->path);
    free(node);
}

}  // namespace oper
