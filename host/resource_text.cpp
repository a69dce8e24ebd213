#include "host/resource_text.h"

namespace docman {

std::wstring LoadText(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    // A zero buffer size asks for a pointer into the mapped resource itself.
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

bool LoadTextIn(HMODULE module, UINT id, LANGID language, std::wstring& text) {
    // Strings live in blocks of 16: block (id / 16) + 1, each entry a count
    // followed by that many UTF-16 units.
    HRSRC found = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(module, found);
    const auto* entry = loaded ? static_cast<const WORD*>(LockResource(loaded)) : nullptr;
    if (!entry) return false;
    for (UINT i = 0; i < id % 16; ++i) entry += 1 + *entry;
    if (*entry == 0) return false;
    text.assign(reinterpret_cast<const wchar_t*>(entry + 1), *entry);
    return true;
}

}  // namespace docman
