// The three dialog templates of the built library, parsed from its resources:
// in every language the same controls, classes, styles and rectangles as the
// product's layout, and the English texts exactly as the product shows them.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/resources/resource_reader.h"

using namespace resources_test;

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kLabel = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kNoWrapLabel = kChild | WS_GROUP | SS_LEFTNOWORDWRAP;
constexpr DWORD kRightLabel = kChild | WS_GROUP | SS_RIGHT;
// Statics that show a file name: an '&' in it must stay a character.
constexpr DWORD kPathLabel = kLabel | SS_NOPREFIX;
constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kDefaultButton = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr DWORD kGroupBox = kChild | BS_GROUPBOX;
constexpr DWORD kList = kChild | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
constexpr DWORD kTabs = kChild | WS_TABSTOP;
constexpr DWORD kUnaddressed = 0xFFFF;

struct Control {
    DWORD id;
    const wchar_t* cls;
    DWORD style;
    short x, y, cx, cy;
    const wchar_t* english;
};

struct Layout {
    UINT id;
    short cx, cy;
    const wchar_t* caption;
    std::vector<Control> controls;
};

const Layout kProgress = {1000, 347, 297, L"Document Manager", {
    {1003, L"Static", kNoWrapLabel, 8, 6, 256, 9, L"Current Operation"},
    {1004, L"Static", kPathLabel, 8, 16, 264, 27, L"Preparing files..."},
    {1005, L"msctls_progress32", kChild, 7, 45, 258, 12, L""},
    {1006, L"msctls_progress32", kChild, 7, 66, 258, 12, L""},
    {1000, L"Button", kDefaultButton, 280, 10, 60, 14, L"&Pause"},
    {2, L"Button", kButton, 280, 37, 60, 14, L"&Cancel"},
    {1002, L"Button", kButton, 280, 64, 60, 14, L"<< &Detail"},
    {kUnaddressed, L"Static", kLabel, 7, 90, 42, 8, L"Elapsed Time:"},
    {1010, L"Static", kLabel, 50, 90, 42, 8, L"00:00:00"},
    {kUnaddressed, L"Static", kLabel, 104, 90, 52, 8, L"Left Time:"},
    {1011, L"Static", kLabel, 157, 90, 42, 8, L"??:??:??"},
    {1012, L"Static", kRightLabel, 200, 90, 61, 8, L""},
    {kUnaddressed, L"Static", kLabel, 280, 90, 22, 8, L"Error:"},
    {1013, L"Static", kLabel, 308, 90, 32, 8, L""},
    {1031, L"SysListView32", kList, 14, 126, 320, 156, L"List1"},
    {1032, L"SysListView32", kList & ~WS_VISIBLE, 14, 126, 320, 156, L"List1"},
    {1033, L"SysTabControl32", kTabs, 7, 106, 333, 184, L"Tab1"},
}};

const Layout kErrorChoice = {1001, 306, 177, L"Error choice", {
    {1017, L"Static", kPathLabel, 7, 6, 292, 57, L""},
    {kUnaddressed, L"Button", kGroupBox, 7, 65, 292, 82, L"Error operation choice:"},
    {kUnaddressed, L"Static", kLabel, 19, 77, 224, 10, L"Retry: Retry current operation."},
    {kUnaddressed, L"Static", kLabel, 19, 90, 273, 10, L"Continue: Record error info and continue."},
    {kUnaddressed, L"Static", kLabel, 19, 103, 253, 10, L"Skip All: Record and all error info and continue"},
    {kUnaddressed, L"Static", kLabel, 19, 116, 252, 10, L"Stop: Stop operate."},
    {kUnaddressed, L"Static", kLabel, 19, 129, 256, 10, L"Undo: Stop operate and undo (Only available for encrypt)"},
    {1025, L"Button", kButton, 7, 155, 52, 15, L"&Retry"},
    {1026, L"Button", kButton, 67, 155, 52, 15, L"&Continue"},
    {1029, L"Button", kButton, 127, 155, 52, 15, L"Skip &All"},
    {1027, L"Button", kButton, 187, 155, 52, 15, L"&Stop"},
    {1028, L"Button", kButton, 247, 155, 52, 15, L"&Undo"},
}};

const Layout kReplaceConfirm = {1010, 255, 122, L"Confirm File/Folder Replace", {
    {1037, L"Static", kPathLabel, 8, 8, 240, 80, L""},
    {1039, L"Button", kButton, 14, 101, 50, 14, L"&Yes"},
    {1035, L"Button", kButton, 74, 101, 50, 14, L"Yes to &All"},
    {1038, L"Button", kButton, 134, 101, 50, 14, L"&No"},
    {2, L"Button", kButton, 194, 101, 50, 14, L"Cancel"},
}};

// Texts that are placeholders until the code fills them, the same in every
// language.
bool IsFixedText(const std::wstring& text) {
    return text == L"00:00:00" || text == L"??:??:??" || text == L"List1" || text == L"Tab1";
}

// Class names are case-insensitive, and resource compilers differ in case.
std::wstring Upper(std::wstring name) {
    CharUpperW(&name[0]);
    return name;
}

void ExpectControl(const DialogItem& item, const Control& want, LANGID language) {
    SCOPED_TRACE(testing::Message() << "control " << want.id << " \"" << want.english << "\"");
    EXPECT_EQ(std::make_tuple(item.id == 0xFFFFFFFF ? kUnaddressed : item.id, Upper(item.cls), item.exStyle, item.x,
                              item.y, item.cx, item.cy),
              std::make_tuple(want.id, Upper(want.cls), DWORD(0), want.x, want.y, want.cx, want.cy));
    EXPECT_EQ(item.style, want.style) << std::hex << (item.style ^ want.style);
    const std::wstring english = want.english;
    if (language == kEnglish || english.empty() || IsFixedText(english)) {
        EXPECT_EQ(item.text, english);
    } else {
        EXPECT_NE(item.text, english) << "not translated";
        EXPECT_FALSE(item.text.empty());
        EXPECT_EQ(Mnemonics(item.text), Mnemonics(english));
    }
}

void ExpectLayout(const Layout& want) {
    for (LANGID language : kLanguages) {
        SCOPED_TRACE(testing::Message() << "dialog " << want.id << " language " << std::hex << language);
        DialogTemplate dialog;
        ASSERT_TRUE(ParseDialog(ResourceBytes(Library(), RT_DIALOG, want.id, language), dialog))
            << "missing or malformed";
        EXPECT_EQ(std::make_tuple(dialog.style, dialog.exStyle, dialog.cx, dialog.cy, dialog.font, dialog.pointSize,
                                  dialog.menu + dialog.cls),
                  std::make_tuple(DWORD(DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), DWORD(0),
                                  want.cx, want.cy, std::wstring(L"MS Shell Dlg 2"), WORD(9), std::wstring()));
        if (language == kEnglish)
            EXPECT_EQ(dialog.caption, want.caption);
        else
            EXPECT_NE(dialog.caption, want.caption) << "not translated";
        // The progress dialog's caption is the application title, which
        // message boxes take from the string table.
        if (want.id == 1000) EXPECT_EQ(dialog.caption, StringTable(Library(), language).at(57344));
        ASSERT_EQ(dialog.items.size(), want.controls.size());
        for (size_t i = 0; i < want.controls.size(); ++i) ExpectControl(dialog.items[i], want.controls[i], language);
    }
}

TEST(DialogTemplates, MatchTheLayoutInEveryLanguage) {
    for (const Layout* layout : {&kProgress, &kErrorChoice, &kReplaceConfirm}) ExpectLayout(*layout);
}

}  // namespace
