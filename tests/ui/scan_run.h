#pragma once
// The preparation scan run by itself, on a thread with a host's default
// stack, over a request built from the given items.
#include <cstdint>
#include <string>
#include <vector>

namespace ui_test {

struct ScanEnd {
    uint32_t fileTotal;
    uint64_t totalBytes;
};

// Runs the scan with the run state given (the scan stops at 768 and 1024).
ScanEnd Scan(uint32_t kind, uint32_t flags, const std::vector<std::wstring>& items, uint32_t runState);

}  // namespace ui_test
