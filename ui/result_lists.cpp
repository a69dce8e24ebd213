// The status and error lists. Called on the worker thread: the list
// operations of a row are one message that the dialog's thread carries out
// while the worker waits.
#include <windows.h>

#include <commctrl.h>

#include "exports/error_state.h"
#include "framework/strings.h"
#include "operation/operation_state.h"
#include "ui/error_messages.h"
#include "ui/progress_dialog.h"

namespace oper {

namespace {

// Sent by the worker to the dialog with the address of a RowAdd or RowTake.
constexpr UINT kMsgAddRow = WM_USER + 56;
constexpr UINT kMsgTakeRow = WM_USER + 57;

struct RowAdd {
    bool error;
    uint32_t itemData;
    const wchar_t* text;
    const std::wstring* message;
};

struct RowTake {
    int row;
    std::wstring* path;
    uint64_t* itemData;
};

int RowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

// Appends a selected row; a single-selection list drops the previous
// selection itself.
void InsertRow(HWND list, int row, const wchar_t* text, uint32_t itemData, const std::wstring& message) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(text);
    item.lParam = static_cast<LPARAM>(itemData);
    item.state = LVIS_SELECTED;
    item.stateMask = LVIS_SELECTED;
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    LVITEMW cell = {};
    cell.iSubItem = 1;
    cell.pszText = const_cast<wchar_t*>(message.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

std::wstring RowText(HWND list, int row) {
    std::wstring text(kItemNameCapacity, L'\0');
    LVITEMW cell = {};
    cell.iSubItem = 0;
    cell.pszText = &text[0];
    cell.cchTextMax = static_cast<int>(text.size());
    text.resize(static_cast<size_t>(SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell))));
    return text;
}

uint32_t RowData(HWND list, int row) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return static_cast<uint32_t>(item.lParam);
}

}  // namespace

// Code 14 (file not encrypted) leaves no trace; any other positive code is an
// error; 0 and negative codes (reboot required) go to the status list. Every
// non-zero code is logged.
void CDlgopstatus::AddResultRow(int32_t code, uint32_t itemData, const wchar_t* text) {
    if (code == static_cast<int32_t>(kErrNotEncrypted)) return;
    const bool error = code > 0;
    if (error) ++g_state.errorCount;
    const std::wstring message = fw::LoadResString(MessageIdForError(code));
    RowAdd add = {error, itemData, text, &message};
    SendMessageW(Window(), kMsgAddRow, 0, reinterpret_cast<LPARAM>(&add));
    if (!error) m_statusRows.Append(itemData);
    if (code != 0) m_log.WriteResult(text, message, GetSystemErrorCode());
}

int CDlgopstatus::PopStatusRow(std::wstring* path, uint32_t direction, uint64_t* itemData) {
    RowTake take = {m_statusRows.Take(direction), path, itemData};
    if (take.row < 0) return -1;
    return static_cast<int>(SendMessageW(Window(), kMsgTakeRow, 0, reinterpret_cast<LPARAM>(&take)));
}

bool CDlgopstatus::OnRowMessage(UINT message, LPARAM lParam, LRESULT* result) {
    if (message == kMsgAddRow) {
        const RowAdd& add = *reinterpret_cast<const RowAdd*>(lParam);
        const HWND list = add.error ? m_listError : m_listStatus;
        const int row = RowCount(list);
        InsertRow(list, row, add.text, add.itemData, *add.message);
        SendMessageW(list, LVM_ENSUREVISIBLE, row, TRUE);
        *result = 0;
        return true;
    }
    if (message == kMsgTakeRow) {
        const RowTake& take = *reinterpret_cast<const RowTake*>(lParam);
        *take.path = RowText(m_listStatus, take.row);
        *take.itemData = RowData(m_listStatus, take.row);
        SendMessageW(m_listStatus, LVM_DELETEITEM, take.row, 0);
        *result = RowCount(m_listStatus);
        return true;
    }
    return false;
}

}  // namespace oper
