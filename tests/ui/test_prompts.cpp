// The two questions a run puts to the user, answered as a person would: the
// error choice (its buttons, what each answer does to the run, which buttons
// a failure allows) and the replace confirmation.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_driver.h"
#include "tests/ui/ui_run.h"
#include "tests/ui/view_options.h"

namespace {

using namespace ui_test;
using testing_support::IsMarked;
using testing_support::WriteFileBytes;

constexpr wchar_t kErrorChoice[] = L"Error choice";
constexpr wchar_t kReplace[] = L"Confirm File/Folder Replace";
constexpr int kChoiceButtons[] = {1025, 1026, 1029, 1027, 1028};  // Retry, Continue, Skip All, Stop, Undo
constexpr int kEscape = 0;
constexpr uint32_t kAsk = FILEOPER_FLAG_ASK_ON_ERRORS | FILEOPER_FLAG_CLOSE_AT_END;

// A file that the run cannot open while the handle lives.
fw::FileHandle Locked(const std::wstring& path) {
    WriteFileBytes(path, "locked");
    return fw::FileHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

struct Prompt {
    std::wstring text;
    std::wstring enabled;  // of kChoiceButtons: 1 enabled, 0 not
    bool ownerDisabled;
};

// Answers each prompt with the caption until the progress dialog is gone: the
// first with `first`, every later one with `later`.
std::vector<Prompt> Answer(const wchar_t* caption, int messageId, int first, int later) {
    std::vector<Prompt> shown;
    const HWND progress = ui::WaitForDialog(kCaption, kStatusList);
    for (;;) {
        HWND prompt = nullptr;
        while (!(prompt = ui::FindDialog(caption, messageId)) && IsWindow(progress)) Sleep(10);
        if (!prompt) return shown;
        ui::MarkHandled(prompt);
        const HWND owner = GetWindow(prompt, GW_OWNER);
        shown.push_back({ui::ControlText(prompt, messageId), L"", owner && !IsWindowEnabled(owner)});
        for (int id : kChoiceButtons) shown.back().enabled += ui::IsEnabled(prompt, id) ? L'1' : L'0';
        const int answer = shown.size() == 1 ? first : later;
        if (answer == kEscape)
            ui::PressEscape(prompt);
        else
            ui::Click(prompt, answer);
        ui::WaitUntilGone(prompt);
    }
}

struct ChoiceCase {
    const char* name;
    int button;
    int questions;       // about locked1, then locked1 or locked2
    bool secondIsRetry;  // the second question names the same file
    uint32_t remembered, applyToAll, errors;  // slot 7 low, slot 7 high, slot 6 high
    bool firstStaysEncrypted;
};

// Items: a good file, then two locked ones. Every question after the first
// is answered with Stop.
TEST(ErrorChoice, EachAnswerSteersTheRunAndIsRemembered) {
    const ChoiceCase cases[] = {
        {"retry", 1025, 2, true, 1024, 0, 1, true},
        {"continue", 1026, 2, false, 1024, 0, 2, true},
        {"skip all", 1029, 1, false, 512, 1, 2, true},
        {"stop", 1027, 1, false, 1024, 0, 1, true},
        {"undo", 1028, 1, false, 2048, 0, 1, false},
        {"escape keeps the previous choice", kEscape, 1, false, 2048, 0, 1, true},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::StandinStore store;
        testing_support::TempDir dir;
        const std::wstring good = dir / L"a.txt", locked1 = dir / L"b.txt", locked2 = dir / L"c.txt";
        ASSERT_TRUE(WriteFileBytes(good, "plain"));
        const fw::FileHandle lock1 = Locked(locked1), lock2 = Locked(locked2);
        std::vector<Prompt> shown;
        const RunEnd end = RunWithUser(Request(0, kAsk, {good, locked1, locked2}),
                                       [&] { shown = Answer(kErrorChoice, 1017, c.button, 1027); });
        ASSERT_EQ(shown.size(), static_cast<size_t>(c.questions));
        EXPECT_EQ(shown[0].text.substr(0, locked1.size() + 19), locked1 + L" Encrypted failed, ");
        if (c.questions == 2) {
            EXPECT_EQ(shown[1].text.substr(0, locked1.size()), c.secondIsRetry ? locked1 : locked2);
        }
        EXPECT_EQ(end.Low(7), c.remembered);
        EXPECT_EQ(end.High(7), c.applyToAll);
        EXPECT_EQ(end.High(6), c.errors);
        EXPECT_EQ(IsMarked(good), c.firstStaysEncrypted);
    }
}

// A check for free space that finds one byte.
BOOL WINAPI NoSpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total, PULARGE_INTEGER free) {
    const BOOL ok = fault::Real(&GetDiskFreeSpaceExW, "kernel32.dll", "GetDiskFreeSpaceExW")(folder, available, total, free);
    available->QuadPart = 1;
    return ok;
}

enum Failure { kLocked, kSystemFile, kFullDisk, kGone };

struct EnabledCase {
    const char* name;
    uint32_t kind;
    Failure failure;                // a system file with EnableSystem off: code 15
    std::wstring enabled, message;  // enabled: Retry, Continue, Skip All, Stop, Undo
};

TEST(ErrorChoice, TheFailureDecidesWhichAnswersAreOffered) {
    const EnabledCase cases[] = {
        {"encrypting a locked file", 0, kLocked, L"11111", L"Encrypted failed, \nReason: "},
        {"encrypting a system file", 0, kSystemFile, L"01110",
         L"Encrypted failed, \nReason: Attempt to encrypt system object\n"},
        {"encrypting onto a full disk", 0, kFullDisk, L"01110",
         L"Encrypted failed, \nReason: Insufficient disk space\n"},
        {"encrypting a file that is gone", 0, kGone, L"11111",
         L"Encrypted failed, \nReason: Get file attribute error\n"},
        {"decrypting a locked file", 1, kLocked, L"11110", L"Decrypted failed.\nReason: "},
    };
    for (const EnabledCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::StandinStore store;
        testing_support::TempDir dir;
        ViewOptionsKey options;
        options.Set("EnableSystem", 0);
        const std::wstring path = dir / L"a.txt";
        if (c.failure != kGone) {
            ASSERT_TRUE(WriteFileBytes(path, "plain"));
        }
        SetFileAttributesW(path.c_str(), c.failure == kSystemFile ? FILE_ATTRIBUTE_SYSTEM : FILE_ATTRIBUTE_NORMAL);
        fw::FileHandle lock = c.failure == kLocked ? Locked(path) : fw::FileHandle();
        // A full disk is one at a destination: in place the copy would go elsewhere.
        std::optional<fault::ImportPatch> noSpace;
        const std::wstring destination = c.failure == kFullDisk ? dir / L"dst" : L"";
        if (c.failure == kFullDisk) {
            CreateDirectoryW(destination.c_str(), nullptr);
            noSpace.emplace(GetModuleHandleW(L"fileoper.dll"), "KERNEL32.dll", "GetDiskFreeSpaceExW", &NoSpace);
        }
        std::vector<Prompt> shown;
        RunWithUser(Request(c.kind, kAsk, {path}, destination),
                    [&] { shown = Answer(kErrorChoice, 1017, 1027, 1027); });
        lock.reset();
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].enabled, c.enabled);
        EXPECT_NE(shown[0].text.find(path + L" " + c.message), std::wstring::npos)
            << testing::PrintToString(shown[0].text);
    }
}

struct ReplaceCase {
    const char* name;
    int first, later;
    size_t questions;
    bool firstReplaced, secondReplaced;
};

// Two files whose names already exist at the destination.
TEST(ReplaceQuestion, EachAnswerReplacesSkipsOrEnds) {
    const ReplaceCase cases[] = {
        {"yes, yes", 1039, 1039, 2, true, true},     {"yes to all", 1035, 1039, 1, true, true},
        {"no, yes", 1038, 1039, 2, false, true},     {"cancel", IDCANCEL, 1039, 1, false, false},
    };
    for (const ReplaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::StandinStore store;
        testing_support::TempDir dir;
        const std::wstring source = dir / L"src", destination = dir / L"dst";
        CreateDirectoryW(source.c_str(), nullptr);
        CreateDirectoryW(destination.c_str(), nullptr);
        for (const wchar_t* name : {L"\\a.txt", L"\\b.txt"}) {
            ASSERT_TRUE(WriteFileBytes(source + name, "new"));
            ASSERT_TRUE(WriteFileBytes(destination + name, "old"));
        }
        std::vector<Prompt> shown;
        RunWithUser(Request(0, FILEOPER_FLAG_CLOSE_AT_END, {source + L"\\a.txt", source + L"\\b.txt"}, destination),
                    [&] { shown = Answer(kReplace, 1037, c.first, c.later); });
        ASSERT_EQ(shown.size(), c.questions);
        EXPECT_EQ(shown[0].text,
                  L"This folder already contains a file named : \"a.txt\" \nWould you like to replace the "
                  L"existing file?");
        EXPECT_TRUE(shown[0].ownerDisabled) << "the progress dialog must wait for the answer";
        EXPECT_EQ(IsMarked(destination + L"\\a.txt"), c.firstReplaced);
        EXPECT_EQ(IsMarked(destination + L"\\b.txt"), c.secondReplaced);
    }
}

}  // namespace
