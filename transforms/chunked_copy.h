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

// The run's safe point, called by the worker between chunks and between
// items, where it holds no lock: while the run state reads 512 (paused) the
// thread waits here, and it goes on once the dialog has written running or
// cancel requested. A copy with a state word other than the run's never
// waits.
void WaitWhileRunPaused();

}  // namespace oper
