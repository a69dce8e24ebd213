#pragma once
// Reads fileoper.dll's resources for one explicit language, the way a test
// must: the loader's own choice depends on the thread and the user locale.
#include <windows.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace resources_test {

// The five languages the library ships, English first.
constexpr LANGID kEnglish = 0x409;
constexpr LANGID kLanguages[] = {0x409, 0x404, 0x411, 0x412, 0x804};

// fileoper.dll, loaded once for the whole test program.
HMODULE Library();

// The raw bytes of a resource in exactly `language`; empty when absent.
std::vector<BYTE> ResourceBytes(HMODULE module, LPCWSTR type, UINT id, LANGID language);

// Every non-empty string of the string table in exactly `language`.
std::map<UINT, std::wstring> StringTable(HMODULE module, LANGID language);

// Styles and place in dialog units: x, y, cx, cy.
struct Box {
    DWORD style = 0, exStyle = 0;
    std::array<short, 4> place = {};
};

struct DialogItem : Box {
    DWORD id = 0;
    std::wstring cls;  // the class name, or "#" and the atom of a predefined class
    std::wstring text;
};

struct DialogTemplate : Box {
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<DialogItem> items;
};

// The mnemonic markers of a caption: single '&'s ("&&" shows an ampersand).
int Mnemonics(const std::wstring& text);

// Parses a DLGTEMPLATEEX (the only form the library ships); false for any
// other, or when the bytes run out or the item count does not match what
// follows.
bool ParseDialog(const std::vector<BYTE>& bytes, DialogTemplate& dialog);

}  // namespace resources_test
