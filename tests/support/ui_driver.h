#pragma once
// Drives the library's dialogs from a second thread as a person would (see
// tests/README.md); the thread that runs the dialog stays in its modal loop.
// Window handles are reused soon after a window is destroyed: a driver that
// answers a series of prompts marks each one it has handled (MarkHandled),
// and no wait here returns a marked window.
#include <windows.h>

#include <string>
#include <vector>

namespace ui {

// How long a wait for a window lasts before it gives up (null).
constexpr DWORD kWaitLimitMs = 30000;

// A visible, unmarked dialog (class #32770) of this process with this caption
// (any, when empty) and, unless 0, a child with that id; null after the limit.
HWND WaitForDialog(const std::wstring& caption, int requiredControl = 0, DWORD limitMs = kWaitLimitMs);
// The same without waiting.
HWND FindDialog(const std::wstring& caption, int requiredControl = 0);

// A message box of this process with this caption (IDOK or IDYES, no list).
HWND WaitForMessageBox(const std::wstring& caption, DWORD limitMs = kWaitLimitMs);
// The text of a message box: its first non-empty static.
std::wstring MessageBoxText(HWND box);

void MarkHandled(HWND dialog);
// Presses the button of a prompt and waits until the prompt is gone; false,
// the prompt left unmarked, when the button does not take the press yet.
bool Answer(HWND prompt, int button);

// Presses an enabled, visible button (posted, so that a modal loop the press
// opens never blocks the caller). False when there is no such button.
bool Click(HWND dialog, int id);
// The Escape key, as the dialog's modal loop receives it.
void PressEscape(HWND dialog);

std::wstring ControlText(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsVisible(HWND dialog, int id);

// Polls until the control shows text; false when the limit passes first.
bool WaitForText(HWND dialog, int id, const std::wstring& text, DWORD limitMs = kWaitLimitMs);
// Polls until the window is gone or hidden; false when the limit passes first.
bool WaitUntilGone(HWND window, DWORD limitMs = kWaitLimitMs);

// Rows of a list view control: column 0 and column 1 of each.
struct ListRow {
    std::wstring item;
    std::wstring status;
    LPARAM data = 0;  // the row's item data, as LVM_GETITEMW gives it
};
std::vector<ListRow> ListRows(HWND dialog, int listId);
// The index of the selected row, -1 when none.
int SelectedRow(HWND dialog, int listId);

// The vendor path (TzRtl ordinal 1121) of this process alone: the error log
// of other tests' runs in the same prefix stays apart.
int WINAPI PrivateVendorPath(const wchar_t* name, wchar_t* out, int);
// The error log under it, afresh: its folder exists, as the product's
// installation makes it, and the log does not.
std::wstring EmptyPrivateLog();

}  // namespace ui
