// docman's view of the message table: "docman messages" prints each code's
// message as the library's string table has it, in the language asked for.
#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "tests/resources/resource_reader.h"
#include "tests/support/temp_dir.h"

using namespace resources_test;

namespace {

struct DocmanRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
};

DocmanRun Docman(const std::wstring& args) {
    DocmanRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    fw::KernelHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + testing_support::BinDir() + L"docman.exe\" " + args;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return run;
    fw::KernelHandle child(process.hProcess), thread(process.hThread);
    writer.reset();  // the child holds the only write end: reading ends when it exits

    char buf[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buf, sizeof buf, &got, nullptr) && got) run.out.append(buf, got);
    WaitForSingleObject(child.get(), INFINITE);
    GetExitCodeProcess(child.get(), &run.exitCode);
    return run;
}

// The values of the "name: value" lines of one field, in order.
std::vector<std::string> Values(const std::string& out, const std::string& name) {
    std::vector<std::string> values;
    const std::string key = name + ": ";
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, key.size(), key) == 0) values.push_back(line.substr(key.size()));
        start = end + 1;
    }
    return values;
}

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

const std::vector<std::string> kCodes = {"0x0",  "0x1",  "0x2",  "0x3",  "0x4",  "0x5",        "0x6",  "0x7",
                                         "0x8",  "0x9",  "0xA",  "0xB",  "0xC",  "0xD",        "0xE",  "0xF",
                                         "0x10", "0x11", "0x12", "0x13", "0x14", "0x80000001", "other"};

TEST(DocmanMessages, ListsEveryCodeWithItsTextInTheLanguageAskedFor) {
    const wchar_t* tags[] = {L"en-US", L"zh-TW", L"ja-JP", L"ko-KR", L"zh-CN"};
    for (size_t i = 0; i < std::size(kLanguages); ++i) {
        SCOPED_TRACE(tags[i]);
        DocmanRun run = Docman(std::wstring(L"messages --lang ") + tags[i]);
        ASSERT_EQ(run.exitCode, 0u) << run.out;
        EXPECT_EQ(Values(run.out, "code"), kCodes);
        const auto table = StringTable(Library(), kLanguages[i]);
        std::vector<std::string> expected;
        for (const std::string& id : Values(run.out, "string_id")) expected.push_back(Utf8(table.at(std::stoul(id))));
        EXPECT_EQ(Values(run.out, "text"), expected);
    }
}

TEST(DocmanMessages, WithoutALanguageUsesTheLoadersChoice) {
    LANGID language = kEnglish;
    for (LANGID shipped : kLanguages)
        if (shipped == GetUserDefaultUILanguage()) language = shipped;
    DocmanRun run = Docman(L"messages");
    ASSERT_EQ(run.exitCode, 0u) << run.out;
    const std::vector<std::string> texts = Values(run.out, "text");
    ASSERT_EQ(texts.size(), kCodes.size());
    EXPECT_EQ(texts.back(), Utf8(StringTable(Library(), language).at(1038)));
}

TEST(DocmanMessages, RefusesALanguageTheLibraryLacksOrAMalformedRequest) {
    EXPECT_EQ(Docman(L"messages --lang de-DE").exitCode, 1u);
    EXPECT_EQ(Docman(L"messages --lang no-such-tag").exitCode, 2u);
    EXPECT_EQ(Docman(L"messages ja-JP").exitCode, 2u);
}

TEST(DocmanReports, ShowTheMessageOfTheModuleErrorCode) {
    // A failed test-create leaves the fresh library's code 0.
    DocmanRun run = Docman(L"test-create \"C:\\no such folder\\x.txt\"");
    EXPECT_EQ(run.exitCode, 1u) << run.out;
    EXPECT_EQ(Values(run.out, "error_code"), std::vector<std::string>{"0x0"});
    EXPECT_EQ(Values(run.out, "message"), std::vector<std::string>{Utf8(StringTable(Library(), kEnglish).at(1021))});
}

}  // namespace
