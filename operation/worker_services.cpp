#include "operation/worker_services.h"

#include <algorithm>
#include <cwchar>

#include "operation/run_dialog.h"
#include "operation/worker.h"

namespace oper {

uint32_t AskErrorChoice(COperThread& worker, uint32_t code) {
    const uint32_t policy = Request().Flags() & kFlagPresetChoiceMask;
    if (!(policy & kFlagAskOnErrors)) {
        if (policy == kChoiceRetry && !worker.TakePresetRetry()) return kChoiceStop;
        return policy;
    }
    if (g_state.applyToAll) return g_state.rememberedChoice;
    const LPARAM signedCode = static_cast<int32_t>(code);
    return static_cast<uint32_t>(SendMessageW(g_state.dialog->Window(), WM_OPER_ASK_ERROR, 0, signedCode));
}

uint32_t COperThread::AskErrorChoiceAndKeep(uint32_t code) {
    m_lastErrorChoice = AskErrorChoice(*this, code);
    return m_lastErrorChoice;
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
