#include "framework/file.h"

namespace fw {

bool File::GetStatus(const wchar_t* path, FileStatus* status) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
    status->attributes = data.dwFileAttributes;
    status->created = data.ftCreationTime;
    status->accessed = data.ftLastAccessTime;
    status->written = data.ftLastWriteTime;
    return true;
}

bool File::SetStatus(const wchar_t* path, const FileStatus& status) {
    return SetFileAttributesW(path, status.attributes) != FALSE;
}

bool File::Remove(const wchar_t* path) { return DeleteFileW(path) != FALSE; }

bool File::OpenReadWrite(const wchar_t* path) {
    handle_ = FileHandle(
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_.valid();
}

bool File::GetLength(uint64_t* length) const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_.get(), &size)) return false;
    *length = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool File::SeekToBegin() {
    LARGE_INTEGER zero = {};
    return SetFilePointerEx(handle_.get(), zero, nullptr, FILE_BEGIN) != FALSE;
}

bool File::Write(const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(handle_.get(), data, size, &written, nullptr) && written == size;
}

bool File::Flush() { return FlushFileBuffers(handle_.get()) != FALSE; }

bool File::Close() {
    const HANDLE handle = handle_.release();
    return handle && CloseHandle(handle);
}

}  // namespace fw
