// The string table and version block of the built library: the English
// texts exactly as the product shows them, and four translations with the
// same ids and the same format arguments. And docman's view of the message
// table: "docman messages" prints each code's message as the library's
// string table has it, in the language asked for.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/resources/resource_reader.h"
#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"

using namespace resources_test;

namespace {

// Typed from the product's catalogue, not from the resource script.
const std::map<UINT, std::wstring> kEnglishTexts = {
    {1009, L"Re&sume"},
    {1010, L"&Pause"},
    {1011, L"Finished"},
    {1013, L"Paused"},
    {1014, L"Encrypting"},
    {1015, L"Decrypting"},
    {1016, L"The operating is not finished, are you sure to exit?"},
    {1017, L"Canceled"},
    {1018, L"Status"},
    {1019, L"Error"},
    {1020, L"Destination"},
    {1021, L"Success"},
    {1022, L"Get file attribute error"},
    {1023, L"Create file error, file does not exist or locked by other process"},
    {1024, L"File I/O error"},
    {1025, L"Invalid parameter"},
    {1026, L"Attempt to change read only file"},
    {1027, L"Invalid path"},
    {1028, L"Get free space error"},
    {1029, L"Get temp directory error"},
    {1030, L"Can not create temp file"},
    {1031, L"Can not write encrypted information, you maybe have no privilege"},
    {1032, L"Can not delete file,  file is read only (write protected) or locked by other process"},
    {1033, L"Path name is too long"},
    {1034, L"%s Encrypted failed, \nReason: %s\nWhat are you want to do?"},
    {1035, L"%s Decrypted failed.\nReason: %s\nWhat are you want to do?"},
    {1036, L"Insufficient disk space"},
    {1037, L"File is not encrypted"},
    {1038, L"Unknown error"},
    {1039, L"&Close"},
    {1040, L"Reboot Required"},
    {57344, L"Document Manager"},
    {57345, L"Attempt to encrypt system object"},
    {57346, L"Invalidate operation.\nthe source folder \"%s\" and destination \"%s\" is the same."},
    {57347, L"Invalidate operation.\nthe destination \"%s\" is the sub folder of the source folder \"%s\"."},
    {57348, L"Access denied"},
    {57349, L"Failed to rename temporary file"},
    {57350, L"Attempt to encrypt NTFS compressed file"},
    {57351, L"Attempt to encrypt NTFS encrypted file"},
    {57352, L"Attempt to encrypt system critical file"},
    {57353, L"<< &Detail"},
    {57354, L"&Detail >>"},
    {57355, L"This folder already contains a file named : \"%s\" \nWould you like to replace the existing file?"},
    {57356, L"This folder already contains a folder named \"%s\".\nIf the files in the existing folder have the same "
            L"name as files in the folder you are moving or copying, they will be replaced. Do you still want to move "
            L"or copy the folder?"},
    {57357, L"Undo encrypted"},
};

// The printf conversions of a format, in order ("%%" is text, not one). The
// catalogue uses only single-letter conversions.
std::vector<std::wstring> Placeholders(const std::wstring& format) {
    std::vector<std::wstring> found;
    for (size_t i = format.find(L'%'); i != std::wstring::npos && i + 1 < format.size(); i = format.find(L'%', i + 2))
        if (format[i + 1] != L'%') found.push_back(format.substr(i, 2));
    return found;
}

TEST(StringTable, EnglishTextsAreExactlyTheProductsOwn) {
    EXPECT_EQ(StringTable(Library(), kEnglish), kEnglishTexts);
}

TEST(StringTable, TranslationsCarryEveryIdAndKeepArgumentsAndMnemonicsOfTheEnglish) {
    for (LANGID language : kLanguages) {
        if (language == kEnglish) continue;
        const auto table = StringTable(Library(), language);
        EXPECT_EQ(table.size(), kEnglishTexts.size()) << std::hex << language;
        for (const auto& [id, english] : kEnglishTexts) {
            SCOPED_TRACE(testing::Message() << std::hex << language << std::dec << " string " << id);
            auto it = table.find(id);
            ASSERT_NE(it, table.end());
            EXPECT_NE(it->second, english) << "not translated";
            EXPECT_EQ(Placeholders(it->second), Placeholders(english));
            EXPECT_EQ(Mnemonics(it->second), Mnemonics(english));
        }
    }
}

TEST(VersionBlock, DescribesTheLibraryAsTheFileManagersOperation) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(Library(), path, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path, nullptr));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, DWORD(block.size()), block.data()));
    void* value = nullptr;
    UINT chars = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\FileDescription", &value, &chars));
    EXPECT_STREQ(static_cast<const wchar_t*>(value), L"Operation for File Manager");
}

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

}  // namespace
