#pragma once
// The clock and the memory figure every benchmark reads.
#include <windows.h>

#include <psapi.h>

namespace bench {

// Seconds on the performance counter.
inline double Now() {
    LARGE_INTEGER frequency, t;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency.QuadPart;
}

inline double WorkingSetMiB() {
    PROCESS_MEMORY_COUNTERS memory = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
    return memory.WorkingSetSize / 1048576.0;
}

}  // namespace bench
