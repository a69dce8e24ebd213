#include "host/run_watch.h"

#include <commctrl.h>

#include "host/screenshot.h"

namespace docman {

namespace {

constexpr int kPauseButton = 1000;
constexpr int kStatusList = 1031;
constexpr int kErrorList = 1032;

constexpr wchar_t kSeenFinished[] = L"docman.seen-finished";

thread_local RowCapture* t_capture = nullptr;

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[4096] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 4096;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<ListRow> Rows(HWND list) {
    std::vector<ListRow> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) rows.push_back({ItemText(list, i, 0), ItemText(list, i, 1)});
    return rows;
}

bool IsProgressDialog(HWND window) {
    wchar_t name[16];
    return GetClassNameW(window, name, 16) && wcscmp(name, L"#32770") == 0 && GetDlgItem(window, kStatusList);
}

struct Search {
    HWND found = nullptr;
};

BOOL CALLBACK FindProgressDialog(HWND window, LPARAM context) {
    if (!IsWindowVisible(window) || !IsProgressDialog(window)) return TRUE;
    reinterpret_cast<Search*>(context)->found = window;
    return FALSE;
}

HWND ProgressDialogOf(DWORD thread) {
    Search search;
    EnumThreadWindows(thread, FindProgressDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Press(HWND dialog, int button) { SendMessageW(GetDlgItem(dialog, button), BM_CLICK, 0, 0); }

int RowCount(HWND dialog, int list) {
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, list), LVM_GETITEMCOUNT, 0, 0));
}

}  // namespace

RowCapture::RowCapture() {
    t_capture = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
}

RowCapture::~RowCapture() {
    if (hook_) UnhookWindowsHookEx(hook_);
    t_capture = nullptr;
}

// Called before the window procedure: at the dialog's WM_DESTROY its lists
// still hold every row.
LRESULT CALLBACK RowCapture::Hook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && t_capture && message->message == WM_DESTROY && IsProgressDialog(message->hwnd))
        t_capture->Read(message->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void RowCapture::Read(HWND dialog) {
    status_ = Rows(GetDlgItem(dialog, kStatusList));
    errors_ = Rows(GetDlgItem(dialog, kErrorList));
}

ScriptedUser::ScriptedUser(DWORD dialogThread, std::wstring screenshotBase)
    : dialogThread_(dialogThread), base_(std::move(screenshotBase)) {
    thread_.reset(CreateThread(nullptr, 0, Entry, this, 0, nullptr));
}

ScriptedUser::~ScriptedUser() {
    stop_ = true;
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD WINAPI ScriptedUser::Entry(void* self) {
    static_cast<ScriptedUser*>(self)->Watch();
    return 0;
}

// Polls as a person glances at the screen: the run goes on while it looks.
void ScriptedUser::Watch() {
    bool pausedOnce = false;
    while (!stop_) {
        Sleep(20);
        HWND dialog = ProgressDialogOf(dialogThread_);
        if (!dialog) continue;
        const bool finished = !IsWindowEnabled(GetDlgItem(dialog, kPauseButton));
        if (!pausedOnce && !finished && RowCount(dialog, kStatusList) >= 40) {
            pausedOnce = true;
            Press(dialog, kPauseButton);
            Sleep(1300);  // the figures redraw every 200 ms, the times about every second
            Save(dialog, L"-mid.png");
            Press(dialog, kPauseButton);
        } else if (finished) {
            // A run without errors closes by itself once its threads have
            // reported; one that stays open waits on its error list. Wine
            // hands a closed window's handle to the next window at once: the
            // property, which dies with the window, tells them apart.
            SetPropW(dialog, kSeenFinished, reinterpret_cast<HANDLE>(1));
            Sleep(1000);
            if (!GetPropW(dialog, kSeenFinished)) continue;
            Save(dialog, L"-end.png");
            Press(dialog, IDCANCEL);
        }
    }
}

bool ScriptedUser::Save(HWND dialog, const wchar_t* suffix) {
    if (base_.empty()) return false;
    RECT frame;
    if (!GetWindowRect(dialog, &frame)) return false;
    const std::wstring path = base_ + suffix;
    if (!shots::WritePng(path, shots::Capture(frame))) return false;
    saved_.push_back(path);
    return true;
}

}  // namespace docman
