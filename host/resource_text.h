#pragma once
// Texts of fileoper.dll's string table, as the host reads them.
#include <windows.h>

#include <string>

namespace docman {

// The string in the language the system's resource loader picks for the
// calling thread; empty when the library has no such string.
std::wstring LoadText(HMODULE module, UINT id);

// The string in exactly `language`, without any fallback; false when the
// library has no such string in that language.
bool LoadTextIn(HMODULE module, UINT id, LANGID language, std::wstring& text);

}  // namespace docman
