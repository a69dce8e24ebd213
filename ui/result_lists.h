#pragma once
// One of the progress dialog's two result lists. The worker's rows go into a
// RowStore at the cost of a copy; an owner-data list view shows them, and the
// dialog's thread tells it how many there are a few times a second (Show)
// rather than once per row, so the worker never waits for a repaint.
//
// Anyone may read the list as an ordinary one (hosts' automation, screen
// readers): the messages that read rows first bring the list up to date, and
// the item data is answered from the store, which an owner-data list view
// would not ask for.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <string>

#include "ui/row_store.h"

namespace oper {

class ResultList {
public:
    ResultList() = default;
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    // The worker's side.
    void Append(const wchar_t* text, uint32_t itemData, uint32_t messageId) { rows_.Append(text, itemData, messageId); }
    int Take(uint32_t direction, std::wstring* text, uint64_t* itemData) {
        return rows_.Take(direction, text, itemData);
    }

    // The dialog's side: binds the list view (for as long as it exists),
    // brings its count, the newest row's selection and scroll position up to
    // date, and answers its LVN_GETDISPINFOW (texts and selection).
    void Attach(HWND list);
    void Show();
    void Describe(NMLVDISPINFOW& info) const;

private:
    static LRESULT CALLBACK ListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);

    RowStore rows_;
    HWND list_ = nullptr;
    // What the list view was last told, and the index of its newest row
    // there (-1: none).
    RowStore::View shown_;
    int newest_ = -1;
};

}  // namespace oper
