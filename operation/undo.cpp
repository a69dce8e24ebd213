#include "operation/undo.h"

#include <string>

#include "engine/long_path.h"
#include "engine/temp_files.h"
#include "exports/error_state.h"
#include "fileoper.h"
#include "framework/strings.h"
#include "operation/run_dialog.h"
#include "operation/worker_services.h"
#include "standins/varendb/varendb.h"
#include "transforms/chunked_copy.h"

namespace oper {

namespace {

constexpr int kOperationLabel = 1003;
constexpr UINT kUndoLabelText = 57357;

enum PopDirection : uint32_t { kLastFileRow = 0, kFirstFolderRow = 1 };

void AddRowOnFailure(uint32_t code, const std::wstring& path) {
    if (code != kOk) AddRow(code, kRowFile, path.c_str());
}

void UncountBytes() { g_state.completedBytes = g_state.completedBytes - g_state.currentItemSize; }

void ReverseInPlace(const std::wstring& path, bool folder) {
    if (folder) {
        DecryptFolderW(path.c_str());
        AddRowOnFailure(GetOperErrorCode(), path);
        return;
    }
    DecryptFileInPlaceW(path.c_str(), RunStateWord(), PercentWord());
    AddRowOnFailure(GetOperErrorCode(), path);
    UncountBytes();
}

// A folder of the source that the run took away (a move removes each
// folder it has emptied), made again with every missing folder above it.
void MakeFolderPath(const std::wstring& folder) {
    if (folder.empty() || PathFileExistsLongW(folder.c_str())) return;
    const size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos) MakeFolderPath(folder.substr(0, slash));
    CreateDirectoryLongW(folder.c_str(), nullptr);
}

// The copy at the destination goes back to the source path when the source
// is gone (wiped, or moved away). A destination that was a copy of a source
// still in place is deleted, but never one that may be the only whole copy.
void ReverseToDestination(const std::wstring& path, const std::wstring& source, bool folder) {
    const bool wiped = HasFlag(kFlagWipe);
    const bool sourceThere = PathFileExistsLongW(source.c_str()) != FALSE;
    if (folder) {
        MakeFolderPath(source);
        if (!wiped) RemoveDirectoryLongW(path.c_str());
        return;
    }
    bool restored = sourceThere;
    if (!sourceThere) {
        MakeFolderPath(source.substr(0, source.find_last_of(L'\\')));
        CopyFileWithProgressW(path.c_str(), source.c_str(), RunStateWord(), PercentWord());
        const uint32_t code = GetOperErrorCode();
        AddRowOnFailure(code, path);
        restored = code == kOk && !CancelRequested();
    }
    if (!wiped && restored) SafeDeleteFileW(path.c_str());
    UncountBytes();
}

// The record of a top-level item goes with its undo, the items of a run to a
// destination and folders included.
bool IsRequestItem(const std::wstring& path) {
    bool found = false;
    Request().ForEachItem([&](const wchar_t* item) { found = found || _wcsicmp(item, path.c_str()) == 0; });
    return found;
}

}  // namespace

int UndoOperation(COperThread&) {
    CTzVarenDB records;
    SetDlgItemTextW(g_state.dialog->Window(), kOperationLabel, fw::LoadResString(kUndoLabelText).c_str());
    g_state.reverseProgress = 1;
    const bool toDestination = HasFlag(kFlagToDestination);
    const uint32_t direction = toDestination ? kLastFileRow : kFirstFolderRow;
    for (;;) {
        WaitWhileRunPaused();
        std::wstring path;
        uint64_t itemData = 0;
        const int left = g_state.dialog->PopStatusRow(&path, direction, &itemData);
        if (left == -1) break;
        g_state.filesDone = g_state.filesDone - 1;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExLongW(path.c_str(), GetFileExInfoStandard, &data)) {
            AddRow(kErrGetAttributes, kRowFile, path.c_str());
            return -1;
        }
        const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        SetCurrentItemName(path.c_str());
        if (!folder) g_state.currentItemSize = RoundedSize(data.nFileSizeHigh, data.nFileSizeLow);
        const std::wstring source = toDestination ? MapItemPath(kToSource, path.c_str()) : path;
        if (toDestination)
            ReverseToDestination(path, source, folder);
        else
            ReverseInPlace(path, folder);
        if (IsRequestItem(source)) records.DeleteRecordItemExW(source.c_str());
        if (left <= 0) break;
    }
    g_state.reverseProgress = 0;
    return 0;
}

}  // namespace oper
