#include "framework/strings.h"

#include <cwchar>

#include "framework/module.h"
#include "framework/thread.h"

namespace fw {

namespace {
constexpr UINT kApplicationCaption = 57344;
}

std::wstring LoadResString(UINT id) {
    const wchar_t* text = nullptr;
    // Length 0 asks for a read-only pointer into the resource itself.
    const int length = LoadStringW(ResourceModule(), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::wstring FormatText(const std::wstring& format, std::initializer_list<const wchar_t*> args) {
    std::wstring out;
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const bool directive = format[i] == L'%' && i + 1 < format.size();
        if (directive && format[i + 1] == L'%') {
            out += L'%';
            ++i;
        } else if (directive && format[i + 1] == L's' && next != args.end()) {
            out += *next ? *next : L"";
            ++next;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::wstring FormatResString(UINT id, std::initializer_list<const wchar_t*> args) {
    return FormatText(LoadResString(id), args);
}

std::wstring FormatTimeSpan(int64_t seconds) {
    wchar_t text[16];
    swprintf(text, 16, L"%02d:%02d:%02d", static_cast<int>((seconds / 3600) % 24),
             static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
    return text;
}

int ShowMessageBox(const std::wstring& text, UINT type) { return ShowMessageBox(CurrentMainWindow(), text, type); }

int ShowMessageBox(HWND owner, const std::wstring& text, UINT type) {
    return MessageBoxW(owner, text.c_str(), LoadResString(kApplicationCaption).c_str(), type);
}

}  // namespace fw
