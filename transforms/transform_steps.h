#pragma once
// Steps shared by encryption and decryption: where the file lies, how much
// room its volume has, and where its temporary file goes.
#include <windows.h>

#include <cstdint>

#include "exports/error_state.h"
#include "framework/handles.h"
#include "operation/operation_state.h"
#include "transforms/path_api.h"

namespace oper {

// A path buffer of the form's capacity.
template <typename Char>
struct PathBuffer {
    Char text[PathApi<Char>::kCapacity] = {};
    operator Char*() { return text; }
    operator const Char*() const { return text; }
};

inline uint64_t SizeOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The folder of path, with its trailing separator; false when the full path
// is empty, does not fit the form's buffer, or names no file.
template <typename Char>
bool FolderOf(const Char* path, PathBuffer<Char>& folder) {
    Char* filePart = nullptr;
    const DWORD length = PathApi<Char>::FullPath(path, folder, &filePart);
    if (length == 0 || length >= PathApi<Char>::kCapacity || filePart == nullptr) return false;
    *filePart = 0;
    return true;
}

// Bytes of the folder's volume available to the caller; false when unknown.
template <typename Char>
bool AvailableBytes(const Char* folder, uint64_t& available) {
    ULARGE_INTEGER bytes;
    if (!PathApi<Char>::FreeSpace(folder, &bytes)) return false;
    available = bytes.QuadPart;
    return true;
}

// Where the temporary file of an in-place transform goes: beside the file,
// or, on a volume too full for a second copy, in the system's temporary
// folder (elsewhere), from where the result is copied back. kOk, or the
// code of the step that failed.
template <typename Char>
uint32_t ChooseWorkFolder(const Char* path, uint64_t size, PathBuffer<Char>& folder, bool& elsewhere) {
    if (!FolderOf(path, folder)) return kErrInvalidPath;
    uint64_t available = 0;
    if (!AvailableBytes<Char>(folder, available)) return kErrFreeSpace;
    elsewhere = available < size;
    if (elsewhere) {
        const DWORD length = PathApi<Char>::TempFolder(folder);
        if (length == 0 || length >= PathApi<Char>::kCapacity) return kErrTempFolder;
    }
    return kOk;
}

// Whether two paths name one existing file, however they are spelled: a
// transform "to" a second path that is the file itself would mark or unmark
// the very file it reads.
template <typename Char>
bool SameExistingFile(const Char* a, const Char* b) {
    auto identify = [](const Char* path, BY_HANDLE_FILE_INFORMATION& info) {
        fw::FileHandle file(PathApi<Char>::Open(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
        return file && GetFileInformationByHandle(file.get(), &info);
    };
    DWORD saved = GetLastError();
    BY_HANDLE_FILE_INFORMATION first, second;
    bool same = identify(a, first) && identify(b, second) &&
                first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
                first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
    SetLastError(saved);
    return same;
}

// A state word that never asks for a cancel: copying data back from the
// temporary folder must not end early, since the temporary file may be the
// only whole copy.
inline const volatile uint32_t* NeverCancel() {
    static const volatile uint32_t running = kRunning;
    return &running;
}

}  // namespace oper
