#pragma once
// The preparation scan: counts the run's entries into the file total as it
// goes and stores the sum of the rounded file sizes when it is done, so that
// the overall bar has a denominator. The worker does not wait for it.
#include <windows.h>

#include <cstdint>

namespace oper {

// Thread routine; the argument is the progress dialog. Returns 0.
DWORD WINAPI PreparationScan(void* dialog);

// The rounded bytes below folder (recursive), counting every entry into the
// file total on the way.
uint64_t ScanFolderSize(const wchar_t* folder);

}  // namespace oper
