// The status and error lists: the worker's rows and the views that show them.
#include "ui/result_lists.h"

#include "exports/error_state.h"
#include "framework/strings.h"
#include "operation/operation_state.h"
#include "resources/resource.h"
#include "ui/error_messages.h"
#include "ui/progress_dialog.h"

namespace oper {

namespace {

// The messages by which anyone reads rows, selection or count.
bool ReadsRows(UINT message) {
    switch (message) {
        case LVM_GETITEMCOUNT:
        case LVM_GETITEMA:
        case LVM_GETITEMW:
        case LVM_GETITEMTEXTA:
        case LVM_GETITEMTEXTW:
        case LVM_GETNEXTITEM:
        case LVM_GETITEMSTATE:
        case LVM_GETSELECTEDCOUNT:
            return true;
        default:
            return false;
    }
}

// An owner-data list view keeps no item data and does not ask for it.
template <typename Item>
void AnswerItemData(const RowStore& rows, const RowStore::View& view, Item& item) {
    RowStore::Row row;
    if (item.mask & LVIF_PARAM) item.lParam = rows.RowAt(view, item.iItem, &row) ? row.itemData : 0;
}

}  // namespace

// The list asks for the selection (the newest row) rather than keeping it:
// an owner-data list view under Wine moves a kept selection at a cost that
// grows with the number of rows.
void ResultList::Attach(HWND list) {
    list_ = list;
    SendMessageW(list, LVM_SETCALLBACKMASK, LVIS_SELECTED, 0);
    SetWindowSubclass(list, &ListProcedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK ResultList::ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR self) {
    ResultList& rows = *reinterpret_cast<ResultList*>(self);
    if (ReadsRows(message)) rows.Show();
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(list, &ListProcedure, id);
        rows.list_ = nullptr;
    }
    const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
    if (message == LVM_GETITEMW && result) AnswerItemData(rows.rows_, rows.shown_, *reinterpret_cast<LVITEMW*>(lParam));
    if (message == LVM_GETITEMA && result) AnswerItemData(rows.rows_, rows.shown_, *reinterpret_cast<LVITEMA*>(lParam));
    return result;
}

// Rows appended, or taken from the end, leave the other rows where they are:
// the list repaints just the rows that came or went. A take anywhere else
// moves every row after it up by one.
void ResultList::Show() {
    RowStore::View view;
    if (!list_ || !rows_.Snapshot(&view)) return;
    const RowStore::View older = shown_;
    const int olderNewest = newest_;
    shown_ = view;
    newest_ = rows_.NewestIndex(view);
    const bool rowsStay = rows_.KeepsLeadingRows(older, view);
    if (view.Size() != older.Size())
        SendMessageW(list_, LVM_SETITEMCOUNT, view.Size(), LVSICF_NOSCROLL | (rowsStay ? LVSICF_NOINVALIDATEALL : 0));
    if (!rowsStay) InvalidateRect(list_, nullptr, TRUE);
    if (view.rows != older.rows && newest_ >= 0) SendMessageW(list_, LVM_ENSUREVISIBLE, newest_, TRUE);
    if (rowsStay && newest_ != olderNewest) {
        for (const int row : {olderNewest, newest_}) {
            if (row >= 0 && row < view.Size()) SendMessageW(list_, LVM_REDRAWITEMS, row, row);
        }
    }
}

// The newest row is the selected one, as each row was selected when it was
// added (a single-selection list dropped the previous one); once the undo
// has taken it, no row is. The second column's text is the row's message,
// loaded when it is shown.
void ResultList::Describe(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    if (item.mask & LVIF_STATE) item.state = (item.iItem == newest_ ? LVIS_SELECTED : 0) & item.stateMask;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    RowStore::Row row;
    if (!rows_.RowAt(shown_, item.iItem, &row)) {
        item.pszText[0] = L'\0';
    } else if (item.iSubItem == 0) {
        lstrcpynW(item.pszText, row.text, item.cchTextMax);
    } else {
        lstrcpynW(item.pszText, fw::LoadResString(row.messageId).c_str(), item.cchTextMax);
    }
}

// Code 14 (file not encrypted) leaves no trace; any other positive code is an
// error; 0 and negative codes (reboot required) go to the status list. Every
// non-zero code is logged.
void CDlgopstatus::AddResultRow(int32_t code, uint32_t itemData, const wchar_t* text) {
    if (code == static_cast<int32_t>(kErrNotEncrypted)) return;
    const bool error = code > 0;
    if (error) ++g_state.errorCount;
    const uint32_t messageId = MessageIdForError(code);
    (error ? m_errorRows : m_statusRows).Append(text, itemData, messageId);
    if (code != 0) m_log.WriteResult(text, fw::LoadResString(messageId), GetSystemErrorCode());
}

int CDlgopstatus::PopStatusRow(std::wstring* path, uint32_t direction, uint64_t* itemData) {
    return m_statusRows.Take(direction, path, itemData);
}

void CDlgopstatus::ShowRows() {
    m_statusRows.Show();
    m_errorRows.Show();
}

bool CDlgopstatus::OnListNotify(const NMHDR& header) {
    if (header.code != LVN_GETDISPINFOW) return false;
    if (header.idFrom != IDC_STATUS_LIST && header.idFrom != IDC_ERROR_LIST) return false;
    const ResultList& rows = header.idFrom == IDC_STATUS_LIST ? m_statusRows : m_errorRows;
    rows.Describe(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
    return true;
}

}  // namespace oper
