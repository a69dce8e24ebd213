#pragma once
// The long-path layer: every path-taking system call of the W code goes
// through one of these wrappers, which hand the system the \\?\ form of paths
// of 260 characters or more.
#include <windows.h>

#include "framework/handles.h"

namespace oper {

// The extended-length form of path in a new heap buffer (room for the path
// plus 8 characters), or an empty block when the allocation fails. Sets no
// error itself.
fw::HeapBlock<wchar_t> MakeLongPath(const wchar_t* path);

// Each wrapper has the parameters and result of the system function it stands
// for; when the long form cannot be built it sets code 21 and returns the
// function's failure value without calling it.
HANDLE CreateFileLongW(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL DeleteFileLongW(const wchar_t* path);
DWORD GetFileAttributesLongW(const wchar_t* path);
BOOL SetFileAttributesLongW(const wchar_t* path, DWORD attributes);
BOOL GetFileAttributesExLongW(const wchar_t* path, GET_FILEEX_INFO_LEVELS level, void* data);
BOOL MoveFileExLongW(const wchar_t* from, const wchar_t* to, DWORD flags);
HANDLE FindFirstFileLongW(const wchar_t* pattern, WIN32_FIND_DATAW* findData);
DWORD GetFullPathNameLongW(const wchar_t* path, DWORD bufferLength, wchar_t* buffer, wchar_t** filePart);
BOOL PathFileExistsLongW(const wchar_t* path);
BOOL CreateDirectoryLongW(const wchar_t* path, SECURITY_ATTRIBUTES* security);
BOOL RemoveDirectoryLongW(const wchar_t* path);

}  // namespace oper
