#pragma once
// The folder every product-library stand-in keeps its files in.
#include <cstdint>
#include <string>

namespace standin {

// TZDEVIO_STORE if set, else %ProgramData%\TzDevIo; a full path without a
// trailing backslash.
std::wstring StoreRoot();

// The full path, the way comparisons see it: no trailing backslash except on
// a drive root.
std::wstring FullPath(const std::wstring& path);

// Copies text into out (capacity characters with the NUL); its length, or 0
// when it does not fit. For the exports that tell a caller where a file lies.
uint32_t CopyOut(const std::wstring& text, wchar_t* out, uint32_t capacity);

}  // namespace standin
