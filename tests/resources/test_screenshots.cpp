// Each dialog in each language, shown on a real (virtual) X display the way a
// host shows it: themed controls through the library's manifest and sample
// content in the fields the code fills. Every picture is saved under
// build/screenshots/ for a person to look at; the test checks that the
// picture is not blank, that every text left ink where its control is, and
// that no text, including those the code sets while the dialog runs, is wider
// or taller than its control.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "framework/activation.h"
#include "host/screenshot.h"
#include "tests/resources/resource_reader.h"

using namespace resources_test;
using shots::Capture;
using shots::Image;
using shots::WritePng;

namespace {

const std::map<LANGID, std::wstring> kTags = {
    {0x409, L"en-US"}, {0x404, L"zh-TW"}, {0x411, L"ja-JP"}, {0x412, L"ko-KR"}, {0x804, L"zh-CN"}};

const wchar_t kSamplePath[] = L"C:\\Users\\Public\\Documents\\Reports 2026\\Quarterly figures.xlsx";

std::wstring ScreenshotDir() {
    wchar_t exe[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir(exe, n);
    dir.erase(dir.find_last_of(L'\\'));           // bin
    return dir.substr(0, dir.find_last_of(L'\\')) + L"\\screenshots";
}

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

void AddTab(HWND tabs, int index, const std::wstring& text) {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(tabs, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));
}

void AddColumn(HWND list, int index, const std::wstring& text, int width) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void AddRow(HWND list, int row, const std::wstring& item, const std::wstring& status) {
    LVITEMW cell = {};
    cell.mask = LVIF_TEXT;
    cell.iItem = row;
    cell.pszText = const_cast<wchar_t*>(item.c_str());
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&cell));
    cell.iSubItem = 1;
    cell.pszText = const_cast<wchar_t*>(status.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

// What the progress dialog shows in the middle of an encryption.
void FillProgress(HWND dialog, const std::map<UINT, std::wstring>& text) {
    SetDlgItemTextW(dialog, 1003, text.at(1014).c_str());
    SetDlgItemTextW(dialog, 1004, kSamplePath);
    SetDlgItemTextW(dialog, 1010, L"00:01:07");
    SetDlgItemTextW(dialog, 1011, L"00:03:12");
    SetDlgItemTextW(dialog, 1012, L"12/345");
    SetDlgItemTextW(dialog, 1013, L"1");
    SendDlgItemMessageW(dialog, 1005, PBM_SETPOS, 40, 0);
    SendDlgItemMessageW(dialog, 1006, PBM_SETRANGE32, 0, 200);
    SendDlgItemMessageW(dialog, 1006, PBM_SETPOS, 90, 0);
    HWND tabs = GetDlgItem(dialog, 1033);
    AddTab(tabs, 0, text.at(1018));
    AddTab(tabs, 1, text.at(1019));
    HWND list = GetDlgItem(dialog, 1031);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, text.at(1020), 450);
    AddColumn(list, 1, text.at(1018), 80);
    AddRow(list, 0, L"C:\\Users\\Public\\Documents\\Reports 2026\\Summary.docx", text.at(1021));
    AddRow(list, 1, L"C:\\Users\\Public\\Documents\\Reports 2026\\Budget.xlsx", text.at(1040));
}

void Fill(UINT id, HWND dialog, const std::map<UINT, std::wstring>& text) {
    if (id == 1000) FillProgress(dialog, text);
    if (id == 1001) SetDlgItemTextW(dialog, 1017, Format(text.at(1034), {kSamplePath, text.at(1023)}).c_str());
    if (id == 1010) SetDlgItemTextW(dialog, 1037, Format(text.at(57356), {L"Reports 2026"}).c_str());
}

// Lets the dialog paint and Wine hand the pixels to the X server.
void Settle(HWND dialog) {
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    for (int round = 0; round < 10; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(30);
    }
}

// Pixels clearly darker than any dialog or control background: text.
int InkIn(const Image& image, RECT r) {
    int ink = 0;
    for (int y = std::max<int>(r.top, 0); y < std::min<int>(r.bottom, image.height); ++y)
        for (int x = std::max<int>(r.left, 0); x < std::min<int>(r.right, image.width); ++x) {
            uint32_t p = image.Pixel(x, y);
            if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 0x60) ++ink;
        }
    return ink;
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

// The room a control's text may take: the whole client area of a static, the
// inside of a button's frame, the caption line of a group box.
RECT TextRoom(HWND control, DWORD style) {
    RECT room;
    GetClientRect(control, &room);
    if (IsClass(control, L"Button")) {
        const bool group = (style & BS_TYPEMASK) == BS_GROUPBOX;
        InflateRect(&room, group ? -8 : -4, group ? 0 : -2);
    }
    return room;
}

// The rectangle the control's text needs, laid out as the control lays it out.
RECT TextNeeds(HWND control, DWORD style, const RECT& room) {
    const bool wraps = IsClass(control, L"Static") && (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP;
    UINT flags = DT_CALCRECT | DT_EXPANDTABS | (wraps ? DT_WORDBREAK : DT_SINGLELINE);
    if (IsClass(control, L"Static") && (style & SS_NOPREFIX)) flags |= DT_NOPREFIX;
    RECT needs = {0, 0, room.right - room.left, 0};
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = WindowText(control);
    DrawTextW(dc, text.c_str(), -1, &needs, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return needs;
}

void ExpectTextFits(HWND control) {
    const std::wstring text = WindowText(control);
    SCOPED_TRACE(testing::Message() << "control " << GetDlgCtrlID(control) << " \"" << text.c_str() << "\"");
    const DWORD style = GetWindowLongW(control, GWL_STYLE);
    const RECT room = TextRoom(control, style);
    const RECT needs = TextNeeds(control, style, room);
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

struct Shot {
    UINT dialog;
    LANGID language;
};

void PrintTo(const Shot& shot, std::ostream* os) {
    *os << "dialog " << shot.dialog << " language " << std::hex << shot.language;
}

class Screenshots : public testing::TestWithParam<Shot> {};

TEST_P(Screenshots, ShowEveryTextInFull) {
    const Shot shot = GetParam();
    fw::ModuleActivation activation(Library());
    ASSERT_TRUE(activation.active());
    std::vector<BYTE> bytes = ResourceBytes(Library(), RT_DIALOG, shot.dialog, shot.language);
    ASSERT_FALSE(bytes.empty());
    HWND dialog = CreateDialogIndirectParamW(Library(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                                             PlainDialog, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    Fill(shot.dialog, dialog, StringTable(Library(), shot.language));
    SetWindowPos(dialog, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    Settle(dialog);

    RECT frame;
    GetWindowRect(dialog, &frame);
    const Image image = Capture(frame);
    const std::wstring file = ScreenshotDir() + L"\\dialog-" + std::to_wstring(shot.dialog) + L"-" +
                              kTags.at(shot.language) + L".png";
    EXPECT_TRUE(WritePng(file, image)) << GetLastError();
    EXPECT_GT(InkIn(image, RECT{0, 0, image.width, image.height}), image.width * image.height / 1000) << "blank";

    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        const DWORD style = GetWindowLongW(control, GWL_STYLE);
        const std::wstring text = WindowText(control);
        if (!(style & WS_VISIBLE) || text.empty() || !(IsClass(control, L"Static") || IsClass(control, L"Button")))
            continue;
        ExpectTextFits(control);
        RECT onImage;
        GetWindowRect(control, &onImage);
        OffsetRect(&onImage, -frame.left, -frame.top);
        EXPECT_GT(InkIn(image, onImage), 0) << "nothing drawn";
    }
    DestroyWindow(dialog);
}

TEST(RunTimeTexts, FitTheProgressDialogsControlsInEveryLanguage) {
    fw::ModuleActivation activation(Library());
    for (LANGID language : kLanguages) {
        SCOPED_TRACE(testing::Message() << "language " << std::hex << language);
        std::vector<BYTE> bytes = ResourceBytes(Library(), RT_DIALOG, 1000, language);
        ASSERT_FALSE(bytes.empty());
        HWND dialog = CreateDialogIndirectParamW(Library(), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                                 nullptr, PlainDialog, 0);
        ASSERT_NE(dialog, nullptr) << GetLastError();
        const auto text = StringTable(Library(), language);
        for (const auto& [id, strings] : kRunTimeTexts) {
            for (UINT string : strings) {
                SetDlgItemTextW(dialog, id, text.at(string).c_str());
                ExpectTextFits(GetDlgItem(dialog, id));
            }
        }
        DestroyWindow(dialog);
    }
}

std::vector<Shot> AllShots() {
    std::vector<Shot> shots;
    for (UINT dialog : {1000u, 1001u, 1010u})
        for (LANGID language : kLanguages) shots.push_back({dialog, language});
    return shots;
}

INSTANTIATE_TEST_SUITE_P(Library, Screenshots, testing::ValuesIn(AllShots()));

}  // namespace
