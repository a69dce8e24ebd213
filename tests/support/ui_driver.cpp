#include "tests/support/ui_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <cwchar>

namespace ui {

namespace {

constexpr wchar_t kHandledMark[] = L"ui_driver.handled";
constexpr DWORD kPollMs = 15;

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], length + 1)));
    return text;
}

// A visible, unmarked dialog (class #32770) of this process with the caption
// (any, when empty) that `accept` takes.
template <typename Accept>
HWND Find(const std::wstring& caption, Accept accept) {
    const wchar_t* title = caption.empty() ? nullptr : caption.c_str();
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"#32770", title)) != nullptr;) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && !GetPropW(window, kHandledMark) &&
            accept(window))
            return window;
    }
    return nullptr;
}

template <typename Probe>
auto Poll(DWORD limitMs, Probe probe) -> decltype(probe()) {
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (;;) {
        auto result = probe();
        if (result || GetTickCount64() >= end) return result;
        // SleepEx, not Sleep: tests that gate the library's Sleep calls may link
        // the library's code, and with it share this module's imports.
        SleepEx(kPollMs, FALSE);
    }
}

}  // namespace

HWND FindDialog(const std::wstring& caption, int requiredControl) {
    return Find(caption, [id = requiredControl](HWND dialog) { return !id || GetDlgItem(dialog, id); });
}

HWND WaitForDialog(const std::wstring& caption, int requiredControl, DWORD limitMs) {
    return Poll(limitMs, [&] { return FindDialog(caption, requiredControl); });
}

// The progress dialog shares the application caption; its lists tell it apart.
HWND WaitForMessageBox(const std::wstring& caption, DWORD limitMs) {
    return Poll(limitMs, [&] {
        return Find(caption, [](HWND box) {
            return !GetDlgItem(box, 1031) && (GetDlgItem(box, IDOK) || GetDlgItem(box, IDYES));
        });
    });
}

std::wstring MessageBoxText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16];
        if (!GetClassNameW(child, name, 16) || _wcsicmp(name, L"Static") != 0) continue;
        std::wstring text = WindowText(child);
        if (!text.empty()) return text;
    }
    return std::wstring();
}

void MarkHandled(HWND dialog) { SetPropW(dialog, kHandledMark, reinterpret_cast<HANDLE>(1)); }

bool Answer(HWND prompt, int button) {
    MarkHandled(prompt);
    if (!Click(prompt, button)) {
        RemovePropW(prompt, kHandledMark);
        return false;
    }
    WaitUntilGone(prompt);
    return true;
}

bool Click(HWND dialog, int id) {
    const HWND button = GetDlgItem(dialog, id);
    if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
    return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

void PressEscape(HWND dialog) {
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

std::wstring ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

bool IsVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

bool WaitForText(HWND dialog, int id, const std::wstring& text, DWORD limitMs) {
    return Poll(limitMs, [&] { return ControlText(dialog, id) == text; });
}

bool WaitUntilGone(HWND window, DWORD limitMs) {
    return Poll(limitMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

std::vector<ListRow> ListRows(HWND dialog, int listId) {
    const HWND list = GetDlgItem(dialog, listId);
    std::vector<ListRow> rows(static_cast<size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
    for (size_t row = 0; row < rows.size(); ++row) {
        for (int column = 0; column < 2; ++column) {
            // The control copies into our buffer on its own thread: a buffer
            // in this process is fine, as for any window of the process.
            wchar_t text[4096] = L"";
            LVITEMW cell = {};
            cell.iSubItem = column;
            cell.pszText = text;
            cell.cchTextMax = 4096;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
            (column == 0 ? rows[row].item : rows[row].status) = text;
        }
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = static_cast<int>(row);
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        rows[row].data = item.lParam;
    }
    return rows;
}

int SelectedRow(HWND dialog, int listId) {
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, listId), LVM_GETNEXTITEM, -1, LVNI_SELECTED));
}

int WINAPI PrivateVendorPath(const wchar_t* name, wchar_t* out, int) {
    swprintf(out, MAX_PATH, L"TzVendor\\test-%lu\\%ls", GetCurrentProcessId(), name);
    return 1;
}

std::wstring EmptyPrivateLog() {
    wchar_t folder[MAX_PATH], relative[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
    PrivateVendorPath(L"TzVozAdu\\Error.log", relative, 0);
    const std::wstring path = std::wstring(folder) + L"\\" + relative;
    SHCreateDirectoryExW(nullptr, path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
    DeleteFileW(path.c_str());
    return path;
}

}  // namespace ui
