#pragma once
// Texts from the library's own string table, and the framework's small
// formatting services: "%s" formats by string id, time spans, message boxes
// with the application caption.
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace fw {

// The string with this id in the library's resources (the thread's UI
// language, as the resource loader picks it); empty when there is none.
std::wstring LoadResString(UINT id);

// Replaces each "%s" of the format by the next argument, in order, and "%%"
// by "%". Missing arguments leave the rest of the format as it stands.
std::wstring FormatText(const std::wstring& format, std::initializer_list<const wchar_t*> args);
std::wstring FormatResString(UINT id, std::initializer_list<const wchar_t*> args);

// A span of seconds as "%H:%M:%S": hours of the day (0-23), minutes,
// seconds, two digits each.
std::wstring FormatTimeSpan(int64_t seconds);

// A message box with the application caption (string 57344). Without an
// owner of its own it is owned by the calling thread's main window, which it
// disables while it is open.
int ShowMessageBox(const std::wstring& text, UINT type);
// The same with an owner of the caller's choice (a dialog asking on its own
// thread), which it disables while it is open.
int ShowMessageBox(HWND owner, const std::wstring& text, UINT type);

}  // namespace fw
