// Each dialog in each language, created on a real (virtual) X display the way
// a host shows it, with themed controls and sample content in the fields the
// code fills: no text, including those the code sets while the dialog runs,
// may be wider or taller than its control. The pictures themselves come from
// the run screenshots in tests/ui.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "framework/activation.h"
#include "tests/resources/resource_reader.h"

using namespace resources_test;

namespace {

const wchar_t kSamplePath[] = L"C:\\Users\\Public\\Documents\\Reports 2026\\Quarterly figures.xlsx";

// Fills the "%s" of a catalogue format in order.
std::wstring Format(std::wstring format, const std::vector<std::wstring>& args) {
    size_t pos = 0;
    for (const std::wstring& arg : args) {
        pos = format.find(L"%s", pos);
        if (pos == std::wstring::npos) break;
        format.replace(pos, 2, arg);
        pos += arg.size();
    }
    return format;
}

INT_PTR CALLBACK PlainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// What each dialog shows in its code-filled statics in the middle of a run.
void Fill(UINT id, HWND dialog, const std::map<UINT, std::wstring>& text) {
    if (id == 1000) {
        const std::pair<int, std::wstring> fields[] = {{1003, text.at(1014)}, {1004, kSamplePath}, {1010, L"00:01:07"},
                                                       {1011, L"00:03:12"},   {1012, L"12/345"},   {1013, L"1"}};
        for (const auto& [control, value] : fields) SetDlgItemTextW(dialog, control, value.c_str());
    }
    if (id == 1001) SetDlgItemTextW(dialog, 1017, Format(text.at(1034), {kSamplePath, text.at(1023)}).c_str());
    if (id == 1010) SetDlgItemTextW(dialog, 1037, Format(text.at(57356), {L"Reports 2026"}).c_str());
}

std::wstring WindowText(HWND window) {
    wchar_t buf[1024];
    int n = GetWindowTextW(window, buf, 1024);
    return std::wstring(buf, n);
}

bool IsClass(HWND window, const wchar_t* name) {
    wchar_t cls[64];
    GetClassNameW(window, cls, 64);
    return CompareStringOrdinal(cls, -1, name, -1, TRUE) == CSTR_EQUAL;
}

// The control's text laid out as the control lays it out, against the room
// it has: the whole client area of a static, the inside of a button's frame,
// the caption line of a group box.
void ExpectTextFits(HWND control) {
    const std::wstring text = WindowText(control);
    SCOPED_TRACE(testing::Message() << "control " << GetDlgCtrlID(control) << " \"" << text.c_str() << "\"");
    const DWORD style = GetWindowLongW(control, GWL_STYLE);
    const bool isStatic = IsClass(control, L"Static");
    RECT room;
    GetClientRect(control, &room);
    if (!isStatic) {
        const bool group = (style & BS_TYPEMASK) == BS_GROUPBOX;
        InflateRect(&room, group ? -8 : -4, group ? 0 : -2);
    }
    UINT flags = DT_CALCRECT | DT_EXPANDTABS;
    flags |= isStatic && (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP ? DT_WORDBREAK : DT_SINGLELINE;
    if (isStatic && (style & SS_NOPREFIX)) flags |= DT_NOPREFIX;
    RECT needs = {0, 0, room.right - room.left, 0};
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text.c_str(), -1, &needs, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    EXPECT_LE(needs.right, room.right - room.left) << "too wide";
    EXPECT_LE(needs.bottom, room.bottom - room.top) << "too tall";
}

// Texts the progress dialog's code puts into its controls while it runs.
const std::map<int, std::vector<UINT>> kRunTimeTexts = {
    {1003, {1011, 1013, 1014, 1015, 57357}},  // operation label
    {1000, {1010, 1009}},                     // Pause / Resume
    {2, {1039}},                              // Cancel becomes Close
    {1002, {57353, 57354}},                   // detail toggle
};

void ExpectEveryTextFits(UINT id, LANGID language) {
    std::vector<BYTE> bytes = ResourceBytes(Library(), RT_DIALOG, id, language);
    ASSERT_FALSE(bytes.empty());
    HWND dialog = CreateDialogIndirectParamW(Library(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                                             PlainDialog, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    const auto text = StringTable(Library(), language);
    Fill(id, dialog, text);
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        const bool visible = GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE;
        if (visible && !WindowText(control).empty() && (IsClass(control, L"Static") || IsClass(control, L"Button")))
            ExpectTextFits(control);
    }
    if (id == 1000) {
        for (const auto& [control, strings] : kRunTimeTexts)
            for (UINT string : strings) {
                SetDlgItemTextW(dialog, control, text.at(string).c_str());
                ExpectTextFits(GetDlgItem(dialog, control));
            }
    }
    DestroyWindow(dialog);
}

TEST(DialogTexts, FitTheirControlsInEveryLanguage) {
    fw::ModuleActivation activation(Library());
    ASSERT_TRUE(activation.active());
    for (UINT id : {1000u, 1001u, 1010u})
        for (LANGID language : kLanguages) {
            SCOPED_TRACE(testing::Message() << "dialog " << id << " language " << std::hex << language);
            ExpectEveryTextFits(id, language);
        }
}

}  // namespace
