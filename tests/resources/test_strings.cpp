// The string table of the built library: four translations with the English
// ids, format arguments and mnemonics, each text translated.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/resources/resource_reader.h"

using namespace resources_test;

namespace {

// The printf conversions of a format, in order ("%%" is text, not one). The
// catalogue uses only single-letter conversions.
std::vector<std::wstring> Placeholders(const std::wstring& format) {
    std::vector<std::wstring> found;
    for (size_t i = format.find(L'%'); i != std::wstring::npos && i + 1 < format.size(); i = format.find(L'%', i + 2))
        if (format[i + 1] != L'%') found.push_back(format.substr(i, 2));
    return found;
}

TEST(StringTable, TranslationsCarryEveryIdAndKeepArgumentsAndMnemonicsOfTheEnglish) {
    const auto englishTexts = StringTable(Library(), kEnglish);
    ASSERT_FALSE(englishTexts.empty());
    for (LANGID language : kLanguages) {
        if (language == kEnglish) continue;
        const auto table = StringTable(Library(), language);
        EXPECT_EQ(table.size(), englishTexts.size()) << std::hex << language;
        for (const auto& [id, english] : englishTexts) {
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
