#pragma once
// The module error state: the code of the last file function that set it and
// the system error read at that moment. The host reads the code through
// ordinal 2 right after a call.
#include <windows.h>

#include <cstdint>

namespace oper {

enum OperError : uint32_t {
    kOk = 0,
    kErrGetAttributes = 1,
    kErrOpenFile = 2,
    kErrReadWrite = 3,
    kErrInvalidParameter = 4,
    kErrReadOnly = 5,
    kErrInvalidPath = 6,
    kErrFreeSpace = 7,
    kErrTempFolder = 8,
    kErrTempFile = 9,
    kErrEncryptInfo = 10,
    kErrDeleteFile = 11,
    kErrPathTooLong = 12,
    kErrDiskFull = 13,
    kErrNotEncrypted = 14,
    kErrSystemObject = 15,
    kErrFolderAccess = 16,
    kErrRenameTemp = 17,
    kErrCompressed = 18,
    kErrFsEncrypted = 19,
    kErrSystemCritical = 20,
    kErrOutOfMemory = 21,
    kRebootRequired = 0x80000001u,
};

// Reads GetLastError first, then stores the code with it. The only writer.
void SetOperError(uint32_t code);
uint32_t GetSystemErrorCode();

// A file function's way out: the code is set before any cleanup that
// follows, so the system error captured is the failing call's.
inline BOOL Fail(uint32_t code) {
    SetOperError(code);
    return FALSE;
}

inline BOOL Succeed(uint32_t code = kOk) {
    SetOperError(code);
    return TRUE;
}

}  // namespace oper

extern "C" uint32_t WINAPI GetOperErrorCode();
