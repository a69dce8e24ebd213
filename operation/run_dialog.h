#pragma once
// What the worker side needs of the progress dialog. The dialog lives in the
// layer above and implements this; the worker reaches it only through the
// dialog pointer of the operation state and the window messages below.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace oper {

// Posted once by each of the run's three threads when it is done:
// wParam 0 / lParam 1 the preparation scan, wParam 0 / lParam 0 the worker,
// wParam 1 / lParam 0 the refresh thread.
constexpr UINT WM_OPER_NOTIFY = WM_USER + 54;
// Sent by the worker (it waits): wParam 0, lParam the module error code;
// the result is the error choice.
constexpr UINT WM_OPER_ASK_ERROR = WM_USER + 55;

// Error choice codes, shared by the choice dialog, the worker and the preset
// answer of a request.
enum ErrorChoice : uint32_t {
    kChoiceEscape = 2,
    kChoiceContinue = 512,
    kChoiceStop = 1024,
    kChoiceUndo = 2048,
    kChoiceRetry = 4096,
};

// The replace question: one object per run, asked on the worker thread.
// Ask returns 6 Yes, 1 Yes to All, 7 No or 2 Cancel.
class ReplacePrompt {
public:
    virtual ~ReplacePrompt() = default;
    virtual INT_PTR Ask(const std::wstring& message) = 0;
};

class RunDialog {
public:
    // The dialog's window: the target of the worker's messages.
    virtual HWND Window() const = 0;
    // A row in the status list (code <= 0) or the error list (code > 0;
    // code 14 leaves no trace), with a log line for every non-zero code.
    virtual void AddResultRow(int32_t code, uint32_t itemData, const wchar_t* text) = 0;
    // Takes the next row of the status list for the undo (direction 1: the
    // first folder row from the top, 0: the last file row from the bottom,
    // else the last row) and deletes it. The number of rows left, or -1 when
    // the list was empty (the outputs are then untouched).
    virtual int PopStatusRow(std::wstring* path, uint32_t direction, uint64_t* itemData) = 0;
    virtual std::unique_ptr<ReplacePrompt> CreateReplacePrompt() = 0;

protected:
    ~RunDialog() = default;
};

}  // namespace oper
