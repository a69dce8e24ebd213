#include "object_identity.h"

#include "framework/handles.h"

namespace tzdevio {

namespace {

constexpr size_t kClassicPathLimit = 260;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

fw::FileHandle Open(const std::wstring& path, DWORD access) {
    return fw::FileHandle(CreateFileW(SystemForm(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The file index straight from the file system: GetFileInformationByHandle
// also asks for the volume's serial number, which under Wine costs more
// than opening, querying and closing together.
bool FileIndex(HANDLE file, uint64_t& index) {
    struct IoStatus {
        void* status;
        ULONG_PTR information;
    };
    using QueryFn = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, ULONG);
    constexpr ULONG kFileInternalInformation = 6;
    static const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    IoStatus io = {};
    LARGE_INTEGER value = {};
    if (!query || query(file, &io, &value, sizeof value, kFileInternalInformation) < 0) return false;
    index = static_cast<uint64_t>(value.QuadPart);
    return true;
}

}  // namespace

std::wstring SystemForm(const std::wstring& path) {
    std::wstring full = FullPath(path);
    if (full.size() < kClassicPathLimit || full.rfind(L"\\\\?\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}

ObjectState Inspect(const std::wstring& path) {
    ObjectState state;
    fw::FileHandle handle = Open(path, FILE_READ_ATTRIBUTES);
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!handle || !GetFileInformationByHandleEx(handle.get(), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(handle.get(), FileStandardInfo, &standard, sizeof standard) ||
        !FileIndex(handle.get(), state.id))
        return state;
    state.exists = true;
    state.folder = standard.Directory != FALSE;
    state.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    state.lastWrite = static_cast<uint64_t>(basic.LastWriteTime.QuadPart);
    state.lastAccess = static_cast<uint64_t>(basic.LastAccessTime.QuadPart);
    return state;
}

uint32_t LinkCount(const std::wstring& path) {
    fw::FileHandle handle = Open(path, FILE_READ_ATTRIBUTES);
    FILE_STANDARD_INFO standard;
    if (!handle || !GetFileInformationByHandleEx(handle.get(), FileStandardInfo, &standard, sizeof standard)) return 0;
    return standard.NumberOfLinks;
}

bool SetLastAccess(const std::wstring& path, uint64_t fileTime) {
    fw::FileHandle handle = Open(path, FILE_WRITE_ATTRIBUTES);
    const FILETIME time = {static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
    return handle && SetFileTime(handle.get(), nullptr, &time, nullptr);
}

bool CreateEmptyFile(const std::wstring& path) {
    fw::FileHandle handle(CreateFileW(SystemForm(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle.valid();
}

}  // namespace tzdevio
