#pragma once
// An OperationRequest block laid out as a host lays it out: the header, then
// the destination folder, the source root and the item list behind it.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileoper.h"

namespace testing_support {

class RequestBlock {
public:
    // itemCount < 0 takes the number of items given.
    RequestBlock(uint32_t kind, uint32_t flags, const std::wstring& destination, const std::wstring& sourceRoot,
                 const std::vector<std::wstring>& items, int32_t itemCount = -1);

    OperationRequest* get() { return reinterpret_cast<OperationRequest*>(storage_.data()); }

private:
    std::vector<uint64_t> storage_;
};

// The nine result slots of a run.
struct RunResults {
    uint64_t slot[9] = {};
    uint32_t Low(int i) const { return static_cast<uint32_t>(slot[i]); }
    uint32_t High(int i) const { return static_cast<uint32_t>(slot[i] >> 32); }
};

}  // namespace testing_support
