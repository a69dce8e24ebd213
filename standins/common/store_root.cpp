#include "standins/common/store_root.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace standin {

namespace {

constexpr wchar_t kStoreVariable[] = L"TZDEVIO_STORE";

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

bool IsRootForm(const std::wstring& path) { return path.size() == 3 && path[1] == L':' && path[2] == L'\\'; }

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

std::wstring StoreRoot() {
    const std::wstring folder = Environment(kStoreVariable);
    if (!folder.empty()) return FullPath(folder);
    std::wstring programData = Environment(L"ProgramData");
    if (programData.empty()) programData = L"C:\\ProgramData";
    return FullPath(programData + L"\\TzDevIo");
}

uint32_t CopyOut(const std::wstring& text, wchar_t* out, uint32_t capacity) {
    if (!out || text.size() + 1 > capacity) return 0;
    wcscpy_s(out, capacity, text.c_str());
    return static_cast<uint32_t>(text.size());
}

}  // namespace standin
