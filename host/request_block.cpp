#include "host/request_block.h"

#include <cstddef>
#include <cstring>
#include <cwchar>

namespace docman {

namespace {

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Whether folder is path's folder or one of its ancestors, ignoring case.
bool Contains(const std::wstring& folder, const std::wstring& path) {
    return path.size() > folder.size() && path[folder.size()] == L'\\' &&
           _wcsnicmp(folder.c_str(), path.c_str(), folder.size()) == 0;
}

}  // namespace

std::wstring CommonFolder(const std::vector<std::wstring>& items) {
    if (items.empty()) return {};
    std::wstring common = FolderOf(items.front());
    for (const std::wstring& item : items) {
        while (!common.empty() && !Contains(common, item)) common = FolderOf(common);
    }
    return common;
}

std::vector<uint32_t> BuildRequestBlock(const RunRequest& request) {
    std::wstring paths = request.destination + L'\0';
    const uint32_t pathHeader = sizeof(OperationRequest) - offsetof(OperationRequest, pathArea);
    const uint32_t sourceRootOffset = pathHeader + static_cast<uint32_t>(paths.size() * sizeof(wchar_t));
    paths += CommonFolder(request.items) + L'\0';
    const uint32_t itemListOffset = pathHeader + static_cast<uint32_t>(paths.size() * sizeof(wchar_t));
    for (const std::wstring& item : request.items) paths += item + L'\0';
    paths += L'\0';

    const size_t bytes = sizeof(OperationRequest) + paths.size() * sizeof(wchar_t);
    std::vector<uint32_t> block((bytes + 3) / 4, 0);
    OperationRequest header = {};
    header.kind = request.kind;
    header.flags = request.flags;
    header.encryptInfo = request.info;
    header.destinationOffset = pathHeader;
    header.sourceRootOffset = sourceRootOffset;
    header.itemListOffset = itemListOffset;
    header.itemCount = static_cast<int32_t>(request.items.size());
    memcpy(block.data(), &header, sizeof header);
    memcpy(reinterpret_cast<BYTE*>(block.data()) + sizeof header, paths.data(), paths.size() * sizeof(wchar_t));
    return block;
}

}  // namespace docman
