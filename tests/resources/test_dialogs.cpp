// The three dialog templates of the built library: every translation has the
// English controls, geometry and font with its own texts, and the English
// controls show paths and results as a user needs them.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <tuple>

#include "tests/resources/resource_reader.h"

using namespace resources_test;

namespace {

constexpr UINT kDialogs[] = {1000, 1001, 1010};

DialogTemplate Dialog(UINT id, LANGID language) {
    DialogTemplate dialog;
    EXPECT_TRUE(ParseDialog(ResourceBytes(Library(), RT_DIALOG, id, language), dialog))
        << "dialog " << id << " language " << std::hex << language << " missing or malformed";
    return dialog;
}

auto Frame(const DialogTemplate& d) { return std::make_tuple(d.style, d.exStyle, d.place, d.pointSize, d.font); }
auto Shape(const DialogItem& i) { return std::make_tuple(i.id, i.cls, i.style, i.exStyle, i.place); }

// Texts the code replaces before anyone sees them stay as they are.
bool IsPlaceholder(const std::wstring& text) {
    return text.empty() || text == L"00:00:00" || text == L"??:??:??" || text == L"List1" || text == L"Tab1";
}

TEST(DialogTemplates, TranslationsKeepTheEnglishLayoutWithTheirOwnTexts) {
    for (UINT id : kDialogs) {
        const DialogTemplate english = Dialog(id, kEnglish);
        ASSERT_FALSE(english.items.empty()) << id;
        for (LANGID language : kLanguages) {
            SCOPED_TRACE(testing::Message() << "dialog " << id << " language " << std::hex << language);
            const DialogTemplate dialog = Dialog(id, language);
            EXPECT_EQ(Frame(dialog), Frame(english));
            EXPECT_EQ(dialog.caption == english.caption, language == kEnglish) << "translated caption";
            // The progress dialog's caption is the application title, which
            // message boxes take from the string table.
            EXPECT_TRUE(id != 1000 || dialog.caption == StringTable(Library(), language).at(57344)) << "not the title";
            ASSERT_EQ(dialog.items.size(), english.items.size());
            for (size_t i = 0; i < english.items.size(); ++i) {
                const DialogItem &item = dialog.items[i], &want = english.items[i];
                SCOPED_TRACE(testing::Message() << "control " << want.id << " " << testing::PrintToString(want.text));
                EXPECT_EQ(Shape(item), Shape(want));
                if (language == kEnglish || IsPlaceholder(want.text)) continue;
                EXPECT_NE(item.text, want.text) << "not translated";
                EXPECT_FALSE(item.text.empty());
                EXPECT_EQ(Mnemonics(item.text), Mnemonics(want.text));
            }
        }
    }
}

// A static that shows a file name keeps an '&' in it as a character; the
// result lists show one row at a time as selected, in columns.
TEST(DialogTemplates, PathsShowVerbatimAndListsAreSingleSelectionReports) {
    const DWORD kReportList = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
    const std::tuple<UINT, DWORD, DWORD, DWORD> controls[] = {
        {1000, 1004, SS_NOPREFIX, SS_NOPREFIX}, {1001, 1017, SS_NOPREFIX, SS_NOPREFIX},
        {1010, 1037, SS_NOPREFIX, SS_NOPREFIX}, {1000, 1031, LVS_TYPEMASK | kReportList, kReportList},
        {1000, 1032, LVS_TYPEMASK | kReportList, kReportList}};
    for (const auto& [dialogId, controlId, mask, want] : controls) {
        int found = 0;
        for (const DialogItem& item : Dialog(dialogId, kEnglish).items)
            if (item.id == controlId) {
                ++found;
                EXPECT_EQ(item.style & mask, want) << controlId;
            }
        EXPECT_EQ(found, 1) << controlId;
    }
}

}  // namespace
