#pragma once
// The file system objects the stand-in marks: what identifies them and the
// few changes it makes to them.
#include <windows.h>

#include <cstdint>
#include <string>

#include "standins/common/store_root.h"

namespace tzdevio {

using standin::FullPath;

// The form handed to the system: the full path, extended for long paths.
std::wstring SystemForm(const std::wstring& path);

struct ObjectState {
    bool exists = false;
    bool folder = false;
    uint64_t id = 0;  // the file index: the inode under Wine
    uint64_t size = 0;
    uint64_t lastWrite = 0;
    uint64_t lastAccess = 0;
};

ObjectState Inspect(const std::wstring& path);

// The number of names a file has; 0 when it cannot be read.
uint32_t LinkCount(const std::wstring& path);

bool SetLastAccess(const std::wstring& path, uint64_t fileTime);
bool CreateEmptyFile(const std::wstring& path);

}  // namespace tzdevio
