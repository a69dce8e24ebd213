#include "framework/dialog.h"

#include "framework/activation.h"
#include "framework/module.h"
#include "framework/thread.h"

namespace fw {

Dialog::Dialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal() {
    // Activation contexts are per thread: a dialog on a worker thread needs
    // the library's manifest as much as one on the host's thread.
    ModuleActivation activation(ResourceModule());
    const HWND owner = parent_ ? parent_ : CurrentMainWindow();
    const INT_PTR result = DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), owner, &Dialog::Procedure,
                                           reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    return result;
}

std::wstring Dialog::ItemText(int id) const {
    const HWND item = Item(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(item, &text[0], static_cast<int>(text.size()))));
    return text;
}

void Dialog::SetItemText(int id, const std::wstring& text) const { SetDlgItemTextW(window_, id, text.c_str()); }

bool Dialog::OnCommand(WORD id, WORD) {
    if (id != IDCANCEL) return false;
    OnCancel();
    return true;
}

bool Dialog::OnNotify(const NMHDR&, LRESULT*) { return false; }

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

void Dialog::RemoveCloseItem() const { DeleteMenu(GetSystemMenu(window_, FALSE), SC_CLOSE, MF_BYCOMMAND); }

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        Dialog* dialog = reinterpret_cast<Dialog*>(lParam);
        dialog->window_ = window;
        return dialog->OnInitDialog();
    }
    Dialog* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog) return FALSE;
    LRESULT result = 0;
    if (!dialog->Dispatch(message, wParam, lParam, &result)) return FALSE;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

bool Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam));
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
        case WM_DESTROY:
            OnDestroy();
            return true;
        default:
            return OnMessage(message, wParam, lParam, result);
    }
}

}  // namespace fw
