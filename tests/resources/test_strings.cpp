// The string table of the built library: the English texts exactly as the
// product shows them, and four translations with the same ids and the same
// format arguments.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/resources/resource_reader.h"

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

}  // namespace
