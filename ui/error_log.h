#pragma once
// The error log: one UTF-16 LE text file (no byte-order mark) below the
// user's application-data folder, a header line per run and a line per
// logged result, with one ".bak" generation once it passes 2 MiB.
#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/handles.h"

namespace oper {

class ErrorLog {
public:
    // Opens the log for a run of this kind and writes the header line; stays
    // closed when the ErrorLog switch is 0 or the file cannot be opened.
    void Open(uint32_t kind);
    bool IsOpen() const { return file_.valid(); }
    // "text,message(ErrorCode: n)" at the end of the file; write errors are
    // ignored.
    void WriteResult(const wchar_t* text, const std::wstring& message, uint32_t systemError) const;
    void Close() { file_.reset(); }

private:
    void Append(const std::wstring& line) const;

    fw::FileHandle file_;
};

}  // namespace oper
