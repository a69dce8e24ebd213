#pragma once
// The one copy loop through which the library moves every byte.
#include <windows.h>

#include <cstdint>

namespace oper {

// Copies source to destination with the given open flags on each side. Works
// in the run's shared transfer buffer when one exists, else in 64 KiB pages
// of its own. Stops before a chunk when *state reads 1024 (cancel is a
// success; the caller checks the state word). Sets module error 0, 1, 2 or 3.
BOOL TransformCopyFileW(const wchar_t* source, const wchar_t* destination, DWORD sourceFlags,
                        DWORD destinationFlags, const volatile uint32_t* state, volatile uint32_t* percent);
BOOL TransformCopyFileA(const char* source, const char* destination, DWORD sourceFlags, DWORD destinationFlags,
                        const volatile uint32_t* state, volatile uint32_t* percent);

}  // namespace oper
