#pragma once
// An OperationRequest as a host lays it out: the header, then the
// destination, the source root and the items in the same block.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileoper.h"

namespace docman {

struct RunRequest {
    uint32_t kind = 0;
    uint32_t flags = 0;
    ENCRYPT_INFO info = {};
    std::wstring destination;
    std::vector<std::wstring> items;  // full paths
};

// The folder every item lies in, without a trailing backslash ("C:" for a
// drive root), so that it and a destination given the same way map item
// paths by plain replacement. Empty when the items share no folder.
std::wstring CommonFolder(const std::vector<std::wstring>& items);

// The block ShowOperationStatus reads; the source root is the items'
// common folder. Aligned for the header's fields.
std::vector<uint32_t> BuildRequestBlock(const RunRequest& request);

inline const OperationRequest* AsRequest(const std::vector<uint32_t>& block) {
    return reinterpret_cast<const OperationRequest*>(block.data());
}

}  // namespace docman
