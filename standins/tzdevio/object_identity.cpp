#include "object_identity.h"

#include <vector>

namespace tzdevio {

namespace {

constexpr size_t kClassicPathLimit = 260;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

uint64_t Join(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }
uint64_t Join(const FILETIME& t) { return Join(t.dwHighDateTime, t.dwLowDateTime); }

bool IsRootForm(const std::wstring& path) { return path.size() == 3 && path[1] == L':' && path[2] == L'\\'; }

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

Handle Open(const std::wstring& path, DWORD access) {
    return Handle(CreateFileW(SystemForm(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

std::wstring FullPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(path.size() + MAX_PATH);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    }
    std::wstring full = length ? std::wstring(buffer.data(), length) : path;
    if (full.size() > 1 && full.back() == L'\\' && !IsRootForm(full)) full.pop_back();
    return full;
}

std::wstring SystemForm(const std::wstring& path) {
    std::wstring full = FullPath(path);
    if (full.size() < kClassicPathLimit || full.rfind(L"\\\\?\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}

ObjectState Inspect(const std::wstring& path) {
    ObjectState state;
    Handle handle = Open(path, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.valid() || !GetFileInformationByHandle(handle.get(), &info)) return state;
    state.exists = true;
    state.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    state.id = Join(info.nFileIndexHigh, info.nFileIndexLow);
    state.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    state.links = info.nNumberOfLinks;
    state.lastWrite = Join(info.ftLastWriteTime);
    state.lastAccess = Join(info.ftLastAccessTime);
    return state;
}

bool SameFile(const ObjectState& a, const ObjectState& b) {
    return a.exists && b.exists && a.id == b.id && a.size == b.size && a.lastWrite == b.lastWrite;
}

bool SetLastAccess(const std::wstring& path, uint64_t fileTime) {
    Handle handle = Open(path, FILE_WRITE_ATTRIBUTES);
    const FILETIME time = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    return handle.valid() && SetFileTime(handle.get(), nullptr, &time, nullptr);
}

bool CreateEmptyFile(const std::wstring& path) {
    Handle handle(CreateFileW(SystemForm(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle.valid();
}

}  // namespace tzdevio
