#include "operation/worker.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <memory>
#include <string>

#include "engine/long_path.h"
#include "engine/temp_files.h"
#include "exports/error_state.h"
#include "framework/strings.h"
#include "operation/file_operation.h"
#include "operation/item_processing.h"
#include "operation/operation_state.h"
#include "operation/run_dialog.h"
#include "operation/transfer_buffer.h"
#include "operation/undo.h"
#include "operation/worker_services.h"
#include "standins/tzrtl/tzrtl.h"
#include "standins/varendb/varendb.h"
#include "transforms/chunked_copy.h"

namespace oper {

namespace {

enum StringId : UINT {
    kSameFolderText = 57346,
    kInsideSourceText = 57347,
    kReplaceFileText = 57355,
    kReplaceFolderText = 57356,
    kCanceledText = 1017,
};

enum ReplaceAnswer : INT_PTR { kAnswerYesToAll = 1, kAnswerCancel = 2, kAnswerNo = 7 };

std::wstring WithoutTrailingBackslashes(const wchar_t* path) {
    std::wstring text(path);
    while (!text.empty() && text.back() == L'\\') text.pop_back();
    return text;
}

std::wstring LastComponent(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The plain substring search of the host's own check: the item anywhere in
// the destination, followed somewhere by a backslash.
bool DestinationInsideItem(const std::wstring& destination, const wchar_t* item) {
    const wchar_t* found = wcsstr(destination.c_str(), item);
    return found && wcschr(found + wcslen(item), L'\\') != nullptr;
}

}  // namespace

BOOL COperThread::InitInstance() {
    TzRtl_SetThreadSetting(TzRtl_GetThreadSetting());
    const RequestView request = Request();
    CTzVarenDB records;
    const std::wstring destination = WithoutTrailingBackslashes(request.Destination());
    const std::unique_ptr<ReplacePrompt> replace = g_state.dialog->CreateReplacePrompt();
    uint32_t lastResult = kOk;
    bool running = true;
    request.ForEachItem([&](const wchar_t* item) {
        WaitWhileRunPaused();
        // After a confirmed cancel no item is touched, asked about or
        // recorded any more.
        running = running && !CancelRequested();
        if (!running) return;
        bool isFolder = false;
        const ItemStep step = CheckItem(item, destination, *replace, &isFolder);
        if (step == ItemStep::kEndRun) {
            running = false;
            return;
        }
        if (step == ItemStep::kProcess) {
            lastResult = ProcessItem(item, isFolder, records);
            if (lastResult != kOk && (m_lastErrorChoice != kChoiceContinue || lastResult == kErrRenameTemp)) {
                running = false;
                return;
            }
        }
        g_state.filesDone = g_state.filesDone + 1;
    });
    FinishRun(lastResult);
    return FALSE;
}

COperThread::ItemStep COperThread::CheckItem(const wchar_t* item, const std::wstring& destination,
                                             ReplacePrompt& replace, bool* isFolder) {
    if (_wcsicmp(destination.c_str(), item) == 0) {
        fw::ShowMessageBox(fw::FormatResString(kSameFolderText, {item, destination.c_str()}), MB_OK);
        return ItemStep::kSkip;
    }
    if (DestinationInsideItem(destination, item)) {
        fw::ShowMessageBox(fw::FormatResString(kInsideSourceText, {destination.c_str(), item}), MB_OK);
        return ItemStep::kSkip;
    }
    if (!HasFlag(kFlagToDestination)) return ItemStep::kProcess;
    // The destination reaches the item itself under another name (letter
    // case, a short name, another drive letter, a link): the item would be
    // converted in place, then deleted by the move or the undo, or wiped.
    if (IsSameObject(item, MapItemPath(kToDestination, item).c_str())) {
        fw::ShowMessageBox(fw::FormatResString(kSameFolderText, {item, destination.c_str()}), MB_OK);
        return ItemStep::kSkip;
    }
    return ConfirmReplace(item, replace, isFolder);
}

// Creates a missing destination folder; asks before an existing one, or an
// existing file, is replaced, until the user answers Yes to All.
COperThread::ItemStep COperThread::ConfirmReplace(const wchar_t* item, ReplacePrompt& replace, bool* isFolder) {
    SHFILEINFOW info = {};
    if (!SHGetFileInfoW(item, 0, &info, sizeof info, SHGFI_ATTRIBUTES)) return ItemStep::kProcess;
    *isFolder = (info.dwAttributes & SFGAO_FOLDER) != 0;
    const std::wstring target = MapItemPath(kToDestination, item);
    if (!PathFileExistsLongW(target.c_str())) {
        if (*isFolder) CreateDirectoryLongW(target.c_str(), nullptr);
        return ItemStep::kProcess;
    }
    if (m_replaceAll) return ItemStep::kProcess;
    const UINT question = *isFolder ? kReplaceFolderText : kReplaceFileText;
    switch (replace.Ask(fw::FormatResString(question, {LastComponent(target).c_str()}))) {
        case kAnswerNo:
            return ItemStep::kSkip;
        case kAnswerCancel:
            return ItemStep::kEndRun;
        case kAnswerYesToAll:
            m_replaceAll = 1;
            return ItemStep::kProcess;
        default:
            return ItemStep::kProcess;
    }
}

uint32_t COperThread::ProcessItem(const wchar_t* item, bool isFolder, CTzVarenDB& records) {
    g_state.operationFlags = Request().Flags();
    AllocTransferBuffer(kTransferBufferSize);
    m_itemIncomplete = false;
    m_itemCancelled = false;
    const uint32_t result = ProcessTopItem(*this, item);
    FreeTransferBuffer();
    if (result != kOk || m_itemCancelled) return result;
    // Only a run to a destination has a source apart from its result, and
    // only a source whose every part reached the destination may go.
    if (HasFlag(kFlagMove) && HasFlag(kFlagToDestination) && !CancelRequested() && !m_itemIncomplete) {
        if (isFolder)
            RemoveFolderTree(item);
        else
            SafeDeleteFileW(item);
    }
    // A folder whose contents were not all converted is no converted item.
    if (m_itemIncomplete && !HasFlag(kFlagNoDescent)) return result;
    if (Request().Kind() == kKindEncrypt)
        records.AddRecordItem(item, (Request().Flags() >> 3) & 1);
    else
        records.DeleteRecordItemExW(item);
    return result;
}

void COperThread::FinishRun(uint32_t lastResult) {
    if (lastResult != kOk && m_lastErrorChoice == kChoiceUndo) UndoOperation(*this);
    if (CancelRequested()) AddRow(lastResult, kRowFolder, fw::LoadResString(kCanceledText).c_str());
    PostMessageW(g_state.dialog->Window(), WM_OPER_NOTIFY, 0, 0);
}

}  // namespace oper
