#include "operation/worker_services.h"

#include <algorithm>
#include <cwchar>

#include "engine/long_path.h"
#include "framework/handles.h"
#include "operation/run_dialog.h"
#include "operation/worker.h"

namespace oper {

namespace {

// A preset is only what the user could have chosen: a decryption offers no
// Undo, and a step that may not be repeated offers no Retry.
uint32_t PresetChoice(COperThread& worker, uint32_t policy, bool repeatable) {
    if (policy == kChoiceUndo && Request().Kind() != kKindEncrypt) return kChoiceStop;
    if (policy == kChoiceRetry && (!repeatable || !worker.TakePresetRetry())) return kChoiceStop;
    return policy;
}

fw::FileHandle OpenToIdentify(const wchar_t* path) {
    return fw::FileHandle(CreateFileLongW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool Identify(const fw::FileHandle& file, BY_HANDLE_FILE_INFORMATION* info) {
    return file && GetFileInformationByHandle(file.get(), info);
}

}  // namespace

uint32_t AskErrorChoice(COperThread& worker, uint32_t code, bool repeatable) {
    // After a confirmed cancel nobody is asked any more: the run ends.
    if (CancelRequested()) return kChoiceStop;
    const uint32_t policy = Request().Flags() & kFlagPresetChoiceMask;
    if (!(policy & kFlagAskOnErrors)) return PresetChoice(worker, policy, repeatable);
    if (g_state.applyToAll) return g_state.rememberedChoice;
    g_state.retryRefused = repeatable ? 0 : 1;
    const LPARAM signedCode = static_cast<int32_t>(code);
    const auto choice = static_cast<uint32_t>(SendMessageW(g_state.dialog->Window(), WM_OPER_ASK_ERROR, 0, signedCode));
    g_state.retryRefused = 0;
    return choice;
}

uint32_t COperThread::AskErrorChoiceAndKeep(uint32_t code, bool repeatable) {
    m_lastErrorChoice = AskErrorChoice(*this, code, repeatable);
    return m_lastErrorChoice;
}

bool IsSameObject(const wchar_t* a, const wchar_t* b) {
    const DWORD saved = GetLastError();
    const fw::FileHandle first = OpenToIdentify(a), second = OpenToIdentify(b);
    BY_HANDLE_FILE_INFORMATION one, two;
    const bool same = Identify(first, &one) && Identify(second, &two) &&
                      one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
                      one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
    SetLastError(saved);
    return same;
}

uint32_t MapItemPath(uint32_t direction, const wchar_t* path, std::wstring* out) {
    const RequestView request = Request();
    const wchar_t* from = direction == kToDestination ? request.SourceRoot() : request.Destination();
    const wchar_t* to = direction == kToDestination ? request.Destination() : request.SourceRoot();
    out->assign(to);
    // A path shorter than the prefix maps to the other prefix alone rather
    // than reading past its end.
    const size_t length = wcslen(path);
    out->append(path + (std::min)(wcslen(from), length));
    return 1;
}

std::wstring MapItemPath(uint32_t direction, const wchar_t* path) {
    std::wstring out;
    MapItemPath(direction, path, &out);
    return out;
}

std::wstring JoinPath(const wchar_t* folder, const wchar_t* name) {
    std::wstring path(folder);
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path += name;
}

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

void SetCurrentItemName(const wchar_t* path) {
    wcsncpy(g_state.currentItemName, path, kItemNameCapacity - 1);
    g_state.currentItemName[kItemNameCapacity - 1] = L'\0';
}

void CountCurrentItemDone() {
    g_state.completedBytes = g_state.completedBytes + g_state.currentItemSize;
    g_state.currentItemSize = 0;
}

void AddRow(uint32_t code, uint32_t itemData, const wchar_t* text) {
    g_state.dialog->AddResultRow(static_cast<int32_t>(code), itemData, text);
}

}  // namespace oper
