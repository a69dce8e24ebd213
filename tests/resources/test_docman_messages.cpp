// docman's view of the message table: "docman messages" prints each code's
// message as the library's string table has it, in the language asked for.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/resources/resource_reader.h"
#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"

using namespace resources_test;

namespace {

testing_support::ProgramRun Docman(const std::wstring& args) { return testing_support::RunBinProgram(L"docman.exe", args); }

// The values of the "name: value" lines of one field, in order.
std::vector<std::string> Values(const std::string& out, const std::string& name) {
    std::vector<std::string> values;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(name + ": ", 0) == 0) values.push_back(line.substr(name.size() + 2));
    }
    return values;
}

const std::vector<std::string> kCodes = {"0x0",  "0x1",  "0x2",  "0x3",  "0x4",  "0x5",        "0x6",  "0x7",
                                         "0x8",  "0x9",  "0xA",  "0xB",  "0xC",  "0xD",        "0xE",  "0xF",
                                         "0x10", "0x11", "0x12", "0x13", "0x14", "0x80000001", "other"};

// In each language asked for, and without one in the loader's choice.
TEST(DocmanMessages, ListsEveryCodeWithItsTextInTheLanguageAskedFor) {
    LANGID loaders = kEnglish;
    for (LANGID shipped : kLanguages)
        if (shipped == GetUserDefaultUILanguage()) loaders = shipped;
    const std::pair<const wchar_t*, LANGID> cases[] = {
        {L"", loaders}, {L" --lang en-US", 0x409}, {L" --lang zh-TW", 0x404},
        {L" --lang ja-JP", 0x411}, {L" --lang ko-KR", 0x412}, {L" --lang zh-CN", 0x804}};
    for (const auto& [args, language] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(args)));
        testing_support::ProgramRun run = Docman(std::wstring(L"messages") + args);
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_EQ(Values(run.output, "code"), kCodes);
        const auto table = StringTable(Library(), language);
        std::vector<std::string> expected;
        for (const std::string& id : Values(run.output, "string_id")) expected.push_back(testing_support::Utf8(table.at(std::stoul(id))));
        EXPECT_EQ(Values(run.output, "text"), expected);
    }
}

TEST(DocmanMessages, RefusesALanguageTheLibraryLacksOrAMalformedRequest) {
    EXPECT_EQ(Docman(L"messages --lang de-DE").exitCode, 1u);
    EXPECT_EQ(Docman(L"messages --lang no-such-tag").exitCode, 2u);
    EXPECT_EQ(Docman(L"messages ja-JP").exitCode, 2u);
}

TEST(DocmanReports, ShowTheMessageOfTheModuleErrorCode) {
    // A failed test-create leaves the fresh library's code 0.
    testing_support::ProgramRun run = Docman(L"test-create \"C:\\no such folder\\x.txt\"");
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_EQ(Values(run.output, "error_code"), std::vector<std::string>{"0x0"});
    EXPECT_EQ(Values(run.output, "message"), std::vector<std::string>{testing_support::Utf8(StringTable(Library(), kEnglish).at(1021))});
}

}  // namespace
