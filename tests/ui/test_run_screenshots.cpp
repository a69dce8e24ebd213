// The run's dialogs in each language on a virtual X display, pictured to
// build/screenshots/run-*.png for a person to look at: drawn, themed, each tab
// showing its list, and no text (sample or set at run time) out of its control.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "host/screenshot.h"
#include "tests/resources/resource_reader.h"
#include "tests/support/iat_patch.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/ui_run.h"
#include "tests/ui/view_options.h"

namespace {

using namespace ui_test;
using shots::Image;

const std::map<LANGID, std::wstring> kTags = {
    {0x409, L"en-US"}, {0x404, L"zh-TW"}, {0x411, L"ja-JP"}, {0x412, L"ko-KR"}, {0x804, L"zh-CN"}};
const wchar_t kSamplePath[] = L"C:\\Users\\Public\\Documents\\Reports 2026\\Quarterly figures.xlsx";

// Texts the progress dialog's code puts into its controls while it runs.
const std::map<int, std::vector<UINT>> kRunTimeTexts = {
    {1003, {1011, 1013, 1014, 1015, 57357}},  // operation label
    {1000, {1010, 1009}},                     // Pause / Resume
    {IDCANCEL, {1039}},                       // Cancel becomes Close
    {1002, {57353, 57354}},                   // detail toggle
};

// The worker's thread speaks the test's language too: its replace question
// is loaded there. Set at the worker's first act (TzRtl ordinal 1100).
LCID g_locale = 0;
uint32_t WINAPI LocalisedGetThreadSetting() {
    SetThreadLocale(g_locale);
    return 0;
}

std::wstring ScreenshotPath(const std::wstring& name, LANGID language) {
    const std::wstring bin = testing_support::BinDir();
    return bin.substr(0, bin.find_last_of(L'\\', bin.size() - 2)) + L"\\screenshots\\run-" + name + L"-" +
           kTags.at(language) + L".png";
}

// The window as the screen shows it, once it has painted.
Image Picture(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    SleepEx(300, FALSE);
    RECT frame;
    GetWindowRect(window, &frame);
    return shots::Capture(frame);
}

// Dark pixels: text and frames.
bool HasInk(const Image& image) {
    int ink = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) ink += ((image.Pixel(x, y) >> 8) & 0xFF) < 0x60;
    return ink > image.width * image.height / 1000;
}

// Fills the "%s" of a catalogue format in order.
std::wstring Format(std::wstring format, const std::vector<std::wstring>& args) {
    for (size_t pos = 0, i = 0; i < args.size() && (pos = format.find(L"%s", pos)) != std::wstring::npos; ++i)
        format.replace(pos, 2, args[i]), pos += args[i].size();
    return format;
}

bool IsClass(HWND window, const wchar_t* name) {
    wchar_t cls[64];
    return GetClassNameW(window, cls, 64) && CompareStringOrdinal(cls, -1, name, -1, TRUE) == CSTR_EQUAL;
}

// A visible static's or button's text laid out as the control does, against
// its room: a static's client area, inside a button's frame, a group box's
// caption line. Notes what does not fit.
void Measure(HWND control, std::vector<std::wstring>& problems) {
    wchar_t buffer[1024];
    const std::wstring text(buffer, GetWindowTextW(control, buffer, 1024));
    const DWORD style = GetWindowLongW(control, GWL_STYLE);
    const bool isStatic = IsClass(control, L"Static");
    if (!(style & WS_VISIBLE) || text.empty() || !(isStatic || IsClass(control, L"Button"))) return;
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
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text.c_str(), -1, &needs, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    if (needs.right > room.right - room.left || needs.bottom > room.bottom - room.top)
        problems.push_back(L"\"" + text + L"\" does not fit control " + std::to_wstring(GetDlgCtrlID(control)));
}

void MeasureAll(HWND dialog, std::vector<std::wstring>& problems) {
    for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT))
        Measure(control, problems);
}

// The file of the module whose code handles a window's messages. Comctl32 6
// reports version 5.81 under Wine, so its file is the reliable witness.
bool FromCommonControls6(HWND window) {
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH] = L"";
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(GetWindowLongPtrW(window, GWLP_WNDPROC)), &module))
        GetModuleFileNameW(module, path, MAX_PATH);
    CharLowerW(path);
    return std::wstring(path).find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0.") != std::wstring::npos;
}

// A click in the middle of a tab.
void ClickTab(HWND dialog, int tab) {
    RECT item;
    SendDlgItemMessageW(dialog, 1033, TCM_GETITEMRECT, tab, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendDlgItemMessageW(dialog, 1033, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendDlgItemMessageW(dialog, 1033, WM_LBUTTONUP, 0, at);
}

class RunScreenshots : public testing::TestWithParam<LANGID> {};

TEST_P(RunScreenshots, ShowTheRunsDialogsWithRealContent) {
    const LANGID language = GetParam();
    const auto text = resources_test::StringTable(resources_test::Library(), language);
    g_locale = MAKELCID(language, SORT_DEFAULT);
    const LCID hostLocale = GetThreadLocale();
    SetThreadLocale(g_locale);
    testing_support::StandinStore store;
    testing_support::TempDir dir;
    const ViewOptionsKey options;  // the detail shown, as a first run has it
    const std::wstring source = dir / L"Reports 2026", destination = dir / L"Archive";
    ASSERT_TRUE(CreateDirectoryW(source.c_str(), nullptr) && CreateDirectoryW(destination.c_str(), nullptr));
    std::vector<std::wstring> items;
    for (const wchar_t* name : {L"\\Summary.docx", L"\\Budget.xlsx", L"\\Quarterly figures.xlsx"}) {
        items.push_back(source + name);
        ASSERT_TRUE(testing_support::WriteFileBytes(items.back(), "figures"));
    }
    ASSERT_TRUE(testing_support::WriteFileBytes(destination + L"\\Summary.docx", "older"));
    const fw::FileHandle lock(CreateFileW(items[1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    fault::ImportPatch locale(GetModuleHandleW(L"fileoper.dll"), "TzRtl.dll", WORD(1100),
                              reinterpret_cast<const void*>(&LocalisedGetThreadSetting));

    std::map<std::wstring, Image> pictures;
    std::vector<std::wstring> problems;
    RunWithUser(Request(0, FILEOPER_FLAG_ASK_ON_ERRORS, items, destination), [&] {
        if (HWND replace = ui::WaitForDialog(L"", 1037)) {
            pictures[L"replace"] = Picture(replace);
            MeasureAll(replace, problems);
            // The question about a folder is the longer one.
            SetDlgItemTextW(replace, 1037, Format(text.at(57356), {L"Reports 2026"}).c_str());
            Measure(GetDlgItem(replace, 1037), problems);
            ui::Click(replace, 1039);
        }
        if (HWND choice = ui::WaitForDialog(L"", 1017)) {
            pictures[L"error-choice"] = Picture(choice);
            SetDlgItemTextW(choice, 1017, Format(text.at(1034), {kSamplePath, text.at(1023)}).c_str());
            MeasureAll(choice, problems);
            ui::Click(choice, 1026);
        }
        // With an error listed the dialog stays open at the end, for Close.
        const HWND progress = ui::WaitForDialog(L"", kStatusList);
        if (!progress || !ui::WaitForText(progress, IDCANCEL, text.at(1039))) return;
        pictures[L"progress-end"] = Picture(progress);
        ClickTab(progress, 1);
        if (ui::IsVisible(progress, kStatusList) || !ui::IsVisible(progress, kErrorList))
            problems.push_back(L"the second tab does not show the error list");
        pictures[L"progress-errors"] = Picture(progress);
        ClickTab(progress, 0);
        if (!ui::IsVisible(progress, kStatusList) || ui::IsVisible(progress, kErrorList))
            problems.push_back(L"the first tab does not show the status list again");
        ui::Click(progress, 1002);
        if (!ui::WaitForText(progress, 1002, text.at(57354))) problems.push_back(L"the detail does not collapse");
        pictures[L"progress-collapsed"] = Picture(progress);
        for (int id : {kStatusList, 1033, 1005})
            if (!FromCommonControls6(GetDlgItem(progress, id)))
                problems.push_back(L"control " + std::to_wstring(id) + L" is not from Common Controls 6");
        SetDlgItemTextW(progress, 1004, kSamplePath);
        MeasureAll(progress, problems);
        for (const auto& [control, strings] : kRunTimeTexts)
            for (UINT string : strings) {
                SetDlgItemTextW(progress, control, text.at(string).c_str());
                Measure(GetDlgItem(progress, control), problems);
            }
        ui::Click(progress, IDCANCEL);
    });
    SetThreadLocale(hostLocale);
    EXPECT_TRUE(problems.empty()) << testing::PrintToString(problems);
    EXPECT_EQ(pictures.size(), 5u) << "a dialog was not shown";
    for (const auto& [name, picture] : pictures) {
        EXPECT_TRUE(HasInk(picture)) << testing::PrintToString(name) << " blank";
        EXPECT_TRUE(shots::WritePng(ScreenshotPath(name, language), picture));
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, RunScreenshots, testing::ValuesIn(resources_test::kLanguages));

}  // namespace
