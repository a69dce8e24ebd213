#include "engine/windows_dir.h"

#include <windows.h>

#include <cwchar>

namespace oper {

bool IsUnderWindowsDirectory(const wchar_t* path) {
    wchar_t windows[MAX_PATH + 1];
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    if (windowsLength == 0 || windowsLength >= MAX_PATH) return false;
    // Only a short (8.3) name can make the long form differ other than in
    // case, and the long form walks every component of the path: a deep
    // tree would pay for it at each level.
    wchar_t longPath[MAX_PATH];
    const bool shortNames = wcslen(path) < MAX_PATH && wcschr(path, L'~') != nullptr;
    const DWORD longLength = shortNames ? GetLongPathNameW(path, longPath, MAX_PATH) : 0;
    // A path without a long form (one that does not exist, or is too long)
    // is compared as the caller wrote it.
    const wchar_t* compared = (longLength == 0 || longLength >= MAX_PATH) ? path : longPath;
    if (_wcsicmp(compared, windows) == 0) return true;
    wcscat(windows, L"\\");
    const int prefix = static_cast<int>(windowsLength + 1);
    return wcslen(compared) >= static_cast<size_t>(prefix) &&
           CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, compared, prefix, windows, prefix) == CSTR_EQUAL;
}

}  // namespace oper
