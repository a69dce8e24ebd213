#include "tests/support/operation_request.h"

#include <cstddef>
#include <cstring>

namespace testing_support {

namespace {

// The strings start right behind the header; offsets count from pathArea.
constexpr uint32_t kPathsStart = sizeof(OperationRequest) - offsetof(OperationRequest, pathArea);

// Appends text and its NUL; returns its offset from the path area.
uint32_t Append(std::vector<wchar_t>& paths, const std::wstring& text) {
    const uint32_t offset = static_cast<uint32_t>(kPathsStart + paths.size() * sizeof(wchar_t));
    paths.insert(paths.end(), text.begin(), text.end());
    paths.push_back(L'\0');
    return offset;
}

}  // namespace

RequestBlock::RequestBlock(uint32_t kind, uint32_t flags, const std::wstring& destination,
                           const std::wstring& sourceRoot, const std::vector<std::wstring>& items,
                           int32_t itemCount) {
    std::vector<wchar_t> paths;
    const uint32_t destinationOffset = Append(paths, destination);
    const uint32_t sourceRootOffset = Append(paths, sourceRoot);
    uint32_t itemListOffset = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const uint32_t offset = Append(paths, items[i]);
        if (i == 0) itemListOffset = offset;
    }
    if (items.empty()) itemListOffset = Append(paths, L"");
    paths.push_back(L'\0');  // the empty string that ends the list

    const size_t bytes = sizeof(OperationRequest) + paths.size() * sizeof(wchar_t);
    storage_.assign((bytes + 7) / 8, 0);
    OperationRequest* request = get();
    request->kind = kind;
    request->flags = flags;
    request->destinationOffset = destinationOffset;
    request->sourceRootOffset = sourceRootOffset;
    request->itemListOffset = itemListOffset;
    request->itemCount = itemCount < 0 ? static_cast<int32_t>(items.size()) : itemCount;
    memcpy(reinterpret_cast<BYTE*>(&request->pathArea) + kPathsStart, paths.data(),
           paths.size() * sizeof(wchar_t));
}

}  // namespace testing_support
