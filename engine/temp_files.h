#pragma once
// Temporary names, moves with retries and deletes that get past read-only
// files: the building blocks of replacing a file only once its new form is
// complete. None of them sets the module error state (except code 21 through
// the long-path layer); the system error of the failing call stays available.
#include <windows.h>

namespace oper {

constexpr wchar_t kTempPrefixW[] = L"TzTempfile";
constexpr char kTempPrefixA[] = "TzTempfile";

// A new, empty file in folder. Folders the system's temporary-name function
// handles get its name; longer ones a UUID name ending in ".tmp". out holds
// 4096 characters. Non-zero when the file exists.
UINT GetTempFileNameLongW(const wchar_t* folder, const wchar_t* prefix, UINT unique, wchar_t* out);

// The system's GetTempFileNameA, for folders Windows accepts there; a longer
// folder is refused as Windows refuses it (ERROR_BUFFER_OVERFLOW). out holds
// MAX_PATH characters.
UINT GetTempFileNameCheckedA(const char* folder, const char* prefix, UINT unique, char* out);

// MoveFileEx in up to three attempts: a pause after a sharing or access
// conflict, replacing an existing target after ERROR_ALREADY_EXISTS.
BOOL MoveFileWithRetryA(const char* from, const char* to, DWORD flags);
BOOL MoveFileWithRetryW(const wchar_t* from, const wchar_t* to, DWORD flags);

// 1 when the file is gone. With the option RenameBeforeDelete a file that
// cannot be deleted under its own name is renamed first, and moved back when
// it cannot be deleted under the temporary name either.
BOOL SafeDeleteFileA(const char* path);
BOOL SafeDeleteFileW(const wchar_t* path);

}  // namespace oper
