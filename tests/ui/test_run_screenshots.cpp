// The progress dialog and the two prompts as a real run shows them, in each
// language, on a virtual X display: the replace question and the error
// choice with their real messages, then the progress dialog paused mid-run
// with rows in both lists, expanded on each tab and collapsed. The pictures
// go to build/screenshots/run-*.png for a person to look at; the test checks
// that each one was drawn.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <map>
#include <string>

#include "host/screenshot.h"
#include "tests/resources/resource_reader.h"
#include "tests/support/iat_patch.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/ui_run.h"

namespace {

using namespace ui_test;
using shots::Image;

const std::map<LANGID, std::wstring> kTags = {
    {0x409, L"en-US"}, {0x404, L"zh-TW"}, {0x411, L"ja-JP"}, {0x412, L"ko-KR"}, {0x804, L"zh-CN"}};

// The worker's thread speaks the test's language too: its replace question
// is loaded there. Set at the worker's first act (TzRtl ordinal 1100).
LCID g_locale = 0;
uint32_t WINAPI LocalisedGetThreadSetting() {
    SetThreadLocale(g_locale);
    return 0;
}

// The second success of the run waits here, with the run in full swing.
HANDLE g_secondSuccess = nullptr;
HANDLE g_carryOn = nullptr;
LONG g_successes = 0;
int WINAPI HeldEventAdd(uint32_t id, const void* data) {
    if (InterlockedIncrement(&g_successes) == 2) {
        SetEvent(g_secondSuccess);
        WaitForSingleObject(g_carryOn, INFINITE);
    }
    using EventAdd = int(WINAPI*)(uint32_t, const void*);
    return reinterpret_cast<EventAdd>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"TzEvtLog.dll"), "Event_Add")))(id, data);
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

class RunScreenshots : public testing::TestWithParam<LANGID> {};

TEST_P(RunScreenshots, ShowTheRunsDialogsWithRealContent) {
    const LANGID language = GetParam();
    const auto text = resources_test::StringTable(resources_test::Library(), language);
    g_locale = MAKELCID(language, SORT_DEFAULT);
    const LCID hostLocale = GetThreadLocale();
    SetThreadLocale(g_locale);
    testing_support::StandinStore store;
    testing_support::TempDir dir;
    const std::wstring source = dir / L"Reports 2026", destination = dir / L"Archive";
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW(destination.c_str(), nullptr);
    for (const wchar_t* name : {L"\\Summary.docx", L"\\Budget.xlsx", L"\\Quarterly figures.xlsx"})
        ASSERT_TRUE(testing_support::WriteFileBytes(source + name, "figures"));
    ASSERT_TRUE(testing_support::WriteFileBytes(destination + L"\\Summary.docx", "older"));
    HANDLE lock = CreateFileW((source + L"\\Budget.xlsx").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);

    const HMODULE library = GetModuleHandleW(L"fileoper.dll");
    fault::ImportPatch locale(library, "TzRtl.dll", WORD(1100), reinterpret_cast<const void*>(&LocalisedGetThreadSetting));
    fault::ImportPatch events(library, "TzEvtLog.dll", "Event_Add", reinterpret_cast<const void*>(&HeldEventAdd));
    g_successes = 0;
    g_secondSuccess = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_carryOn = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    std::map<std::wstring, Image> pictures;
    RunWithUser(Request(0, FILEOPER_FLAG_ASK_ON_ERRORS | FILEOPER_FLAG_CLOSE_AT_END,
                        {source + L"\\Summary.docx", source + L"\\Budget.xlsx", source + L"\\Quarterly figures.xlsx"},
                        destination),
                [&] {
                    if (HWND replace = ui::WaitForDialog(L"", 1037)) {
                        pictures[L"replace"] = Picture(replace);
                        ui::Click(replace, 1039);
                    }
                    if (HWND choice = ui::WaitForDialog(L"", 1017)) {
                        pictures[L"error-choice"] = Picture(choice);
                        ui::Click(choice, 1026);
                    }
                    const HWND progress = WaitForSingleObject(g_secondSuccess, ui::kWaitLimitMs) == WAIT_OBJECT_0
                                              ? ui::WaitForDialog(L"", kStatusList)
                                              : nullptr;
                    if (progress) {
                        ui::Click(progress, 1000);
                        ui::WaitForText(progress, 1003, text.at(1013));
                        pictures[L"progress-paused"] = Picture(progress);
                        SendDlgItemMessageW(progress, 1033, TCM_SETCURSEL, 1, 0);
                        ShowWindow(GetDlgItem(progress, kStatusList), SW_HIDE);
                        ShowWindow(GetDlgItem(progress, kErrorList), SW_SHOW);
                        pictures[L"progress-errors"] = Picture(progress);
                        ui::Click(progress, 1002);
                        ui::WaitForText(progress, 1002, text.at(57354));
                        pictures[L"progress-collapsed"] = Picture(progress);
                        ui::Click(progress, 1002);
                        ui::WaitForText(progress, 1002, text.at(57353));
                        ui::Click(progress, 1000);
                    }
                    SetEvent(g_carryOn);
                });
    SetThreadLocale(hostLocale);
    CloseHandle(lock);
    CloseHandle(g_secondSuccess);
    CloseHandle(g_carryOn);
    for (const wchar_t* name : {L"replace", L"error-choice", L"progress-paused", L"progress-errors", L"progress-collapsed"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        ASSERT_EQ(pictures.count(name), 1u) << "not shown";
        EXPECT_TRUE(HasInk(pictures[name])) << "blank";
        EXPECT_TRUE(shots::WritePng(ScreenshotPath(name, language), pictures[name]));
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, RunScreenshots, testing::ValuesIn(resources_test::kLanguages));

}  // namespace
