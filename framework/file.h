#pragma once
// The framework's file class, as far as the wipe needs it: status of a path,
// open, length, seek, write, close and remove. Every operation reports
// failure through its result (the system's last error stays set); nothing
// throws.
#include <windows.h>

#include <cstdint>

#include "framework/handles.h"

namespace fw {

// A file's attributes and times.
struct FileStatus {
    DWORD attributes = 0;
    FILETIME created = {};
    FILETIME accessed = {};
    FILETIME written = {};
};

class File {
public:
    File() = default;
    File(File&&) = default;
    File& operator=(File&&) = default;

    static bool GetStatus(const wchar_t* path, FileStatus* status);
    // Writes the attributes back; the times are the file's own already.
    static bool SetStatus(const wchar_t* path, const FileStatus& status);
    static bool Remove(const wchar_t* path);

    // Opens an existing file for reading and writing, shared with nobody.
    bool OpenReadWrite(const wchar_t* path);
    bool GetLength(uint64_t* length) const;
    bool SeekToBegin();
    bool Write(const void* data, DWORD size);
    // Makes what was written reach the disk.
    bool Flush();
    // Closes the handle; false when the system reports a failure.
    bool Close();

private:
    FileHandle handle_;
};

}  // namespace fw
