#pragma once
// A modal dialog in the manner of the host's framework: its template comes
// from the library's own module, the object is bound to its window from
// WM_INITDIALOG on, and it runs modally on whichever thread calls DoModal.
#include <windows.h>

#include <string>

namespace fw {

class Dialog {
public:
    Dialog(UINT templateId, HWND parent);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until EndDialog; its value, or -1 when the dialog could
    // not be created. Without a parent of its own the dialog is owned by the
    // calling thread's main window, which is disabled while it is open.
    INT_PTR DoModal();

    HWND Window() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    std::wstring ItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) const;

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // True when handled. IDCANCEL (the Cancel button, the Escape key) that is
    // not handled reaches OnCancel.
    virtual bool OnCommand(WORD id, WORD code);
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual bool OnNotify(const NMHDR& header, LRESULT* result);
    // Any other message; true when handled, with *result as its value.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void OnDestroy() {}

    void EndDialog(INT_PTR result) const { ::EndDialog(window_, result); }
    // Removes the close item (and so the title bar's close button).
    void RemoveCloseItem() const;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    UINT templateId_;
    HWND parent_;
    HWND window_ = nullptr;
};

}  // namespace fw
