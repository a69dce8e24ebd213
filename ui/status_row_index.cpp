#include "ui/status_row_index.h"

#include <algorithm>

namespace oper {

namespace {

// How many of the (ascending) sequence numbers come before sequence.
int CountBefore(const std::deque<uint64_t>& rows, uint64_t sequence) {
    return static_cast<int>(std::lower_bound(rows.begin(), rows.end(), sequence) - rows.begin());
}

}  // namespace

void StatusRowIndex::Append(uint32_t itemData) { (IsFolder(itemData) ? folders_ : files_).push_back(next_++); }

int StatusRowIndex::Take(uint32_t direction) {
    if (Count() == 0) return -1;
    if (direction == 1 && !folders_.empty()) return TakeFirstFolder();
    if (direction == 0 && !files_.empty()) return TakeLastFile();
    return TakeLast();
}

int StatusRowIndex::TakeFirstFolder() {
    const uint64_t sequence = folders_.front();
    folders_.pop_front();
    return CountBefore(files_, sequence);
}

int StatusRowIndex::TakeLastFile() {
    const uint64_t sequence = files_.back();
    files_.pop_back();
    return static_cast<int>(files_.size()) + CountBefore(folders_, sequence);
}

int StatusRowIndex::TakeLast() {
    const int index = Count() - 1;
    const bool folderLast = !folders_.empty() && (files_.empty() || folders_.back() > files_.back());
    (folderLast ? folders_ : files_).pop_back();
    return index;
}

}  // namespace oper
