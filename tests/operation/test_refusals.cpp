// An item that is its destination, or that the destination lies in, is
// refused with a message box and left alone, and the run goes on with the
// next item. The check is a plain substring search, so a destination that
// merely starts with the item's name and goes deeper is refused too.
#include <gtest/gtest.h>

#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/ui_run.h"

namespace {

using namespace testing_support;

// Presses OK on every message box until the progress dialog is gone and
// returns their texts.
std::vector<std::wstring> AcknowledgeBoxes() {
    std::vector<std::wstring> shown;
    const HWND progress = ui::WaitForDialog(ui_test::kCaption, ui_test::kStatusList);
    while (IsWindow(progress)) {
        const HWND box = ui::WaitForMessageBox(ui_test::kCaption, 100);
        if (!box) continue;
        ui::MarkHandled(box);
        shown.push_back(ui::MessageBoxText(box));
        ui::Click(box, IDOK);
        ui::WaitUntilGone(box);
    }
    return shown;
}

struct RefusalCase {
    const wchar_t* destination;  // below the test folder
    bool refused;
    const wchar_t* text;  // %D the destination, %I the item
};

TEST(Refusals, AnItemHoldingItsDestinationIsLeftAloneAndTheRunGoesOn) {
    const RefusalCase cases[] = {
        {L"\\Data", true, L"Invalidate operation.\nthe source folder \"%I\" and destination \"%D\" is the same."},
        {L"\\Data\\sub", true, L"Invalidate operation.\nthe destination \"%D\" is the sub folder of the source folder \"%I\"."},
        {L"\\Database\\X", true, L"Invalidate operation.\nthe destination \"%D\" is the sub folder of the source folder \"%I\"."},
        {L"\\Database", false, L""},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(Narrow(c.destination));
        StandinStore store;
        TempDir dir;
        const std::wstring item = dir / L"Data", destination = dir.path() + c.destination;
        CreateDirectoryW(item.c_str(), nullptr);
        CreateDirectoryW((dir / L"Database").c_str(), nullptr);
        CreateDirectoryW(destination.c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(item + L"\\f.txt", "data"));
        ASSERT_TRUE(WriteFileBytes(dir / L"other.txt", "other"));

        std::vector<std::wstring> shown;
        ui_test::RunWithUser(ui_test::Request(0, FILEOPER_FLAG_CLOSE_AT_END, {item, dir / L"other.txt"}, destination),
                             [&] { shown = AcknowledgeBoxes(); });

        std::wstring text = c.text;
        for (const auto& [mark, path] : {std::pair<std::wstring, std::wstring>{L"%D", destination}, {L"%I", item}}) {
            for (size_t at; (at = text.find(mark)) != std::wstring::npos;) text.replace(at, 2, path);
        }
        EXPECT_EQ(shown, c.refused ? std::vector<std::wstring>{text} : std::vector<std::wstring>{});
        EXPECT_EQ(ReadFileBytes(item + L"\\f.txt"), "data");
        EXPECT_FALSE(IsMarked(item + L"\\f.txt"));
        EXPECT_EQ(IsMarked(destination + L"\\Data\\f.txt"), !c.refused);
        EXPECT_TRUE(IsMarked(destination + L"\\other.txt")) << "the run must go on after a refusal";
    }
}

}  // namespace
