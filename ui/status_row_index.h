#pragma once
// Which row of the status list the undo takes next, without walking the list:
// rows are only ever appended (AddResultRow) and taken by the undo, which
// always takes the first folder row, the last file row or the last row, so
// the folder rows and the file rows each stay one contiguous run of
// ascending sequence numbers that loses rows only at its ends.
#include <cstdint>
#include <deque>

namespace oper {

class StatusRowIndex {
public:
    void Append(uint32_t itemData);
    int Count() const { return static_cast<int>(folders_.size() + files_.size()); }
    // Removes the row the undo takes for this direction (1: the first folder
    // row, 0: the last file row, when there is one; otherwise the last row)
    // and returns its index in the list before the removal; -1 when empty.
    int Take(uint32_t direction);

private:
    static bool IsFolder(uint32_t itemData) { return (itemData & 0xFFFF) != 0; }
    int TakeFirstFolder();
    int TakeLastFile();
    int TakeLast();

    // Sequence numbers of the rows still in the list, in list order.
    std::deque<uint64_t> folders_;
    std::deque<uint64_t> files_;
    uint64_t next_ = 0;
};

}  // namespace oper
