#include "ui/row_store.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <new>
#include <stdexcept>

namespace oper {

namespace {

constexpr size_t kTextBlockChars = 32 * 1024;

fw::VirtualPages AllocatePages(size_t bytes) {
    fw::VirtualPages pages = fw::VirtualPages::allocate(bytes);
    if (!pages.valid()) throw std::bad_alloc();
    return pages;
}

}  // namespace

template <typename T>
RowStore::Blocks<T>::Blocks() : blocks_(new std::atomic<T*>[kMaxBlocks]()) {}

template <typename T>
T& RowStore::Blocks<T>::operator[](uint32_t index) const {
    return blocks_[index / kPerBlock].load(std::memory_order_relaxed)[index % kPerBlock];
}

template <typename T>
void RowStore::Blocks<T>::Reserve(uint32_t index) {
    const uint32_t block = index / kPerBlock;
    if (block >= kMaxBlocks) throw std::length_error("too many result rows");
    if (blocks_[block].load(std::memory_order_relaxed)) return;
    fw::VirtualPages pages = AllocatePages(kPerBlock * sizeof(T));
    T* entries = static_cast<T*>(pages.get());
    std::uninitialized_default_construct_n(entries, kPerBlock);
    owned_.push_back(std::move(pages));
    blocks_[block].store(entries, std::memory_order_relaxed);
}

const wchar_t* RowStore::Texts::Copy(const wchar_t* text) {
    const size_t length = wcslen(text) + 1;
    if (length > left_) {
        const size_t chars = std::max(kTextBlockChars, length);
        blocks_.push_back(AllocatePages(chars * sizeof(wchar_t)));
        next_ = static_cast<wchar_t*>(blocks_.back().get());
        left_ = chars;
    }
    wchar_t* const copy = next_;
    wmemcpy(copy, text, length);
    next_ += length;
    left_ -= length;
    return copy;
}

// Reads the runs as they were in a view. Every sequence number read must be
// older than the view's newest row: a newer one was written into a slot
// after the view was taken, and the lookup is then stale.
class RowStore::Lookup {
public:
    Lookup(const RowStore& store, const View& view) : store_(store), view_(view) {}

    bool Stale() const { return stale_; }
    uint32_t Folders() const { return view_.folderEnd - view_.folderFirst; }
    uint32_t Folder(uint32_t i) { return Checked(store_.folders_[view_.folderFirst + i]); }
    uint32_t File(uint32_t i) { return Checked(store_.files_[i]); }

    // How many rows of each run come before this sequence number.
    uint32_t FoldersBefore(uint32_t sequence) {
        return LowerBound(Folders(), sequence, [this](uint32_t i) { return Folder(i); });
    }
    uint32_t FilesBefore(uint32_t sequence) {
        return LowerBound(view_.fileEnd, sequence, [this](uint32_t i) { return File(i); });
    }

private:
    template <typename At>
    static uint32_t LowerBound(uint32_t count, uint32_t sequence, At at) {
        uint32_t low = 0;
        uint32_t high = count;
        while (low < high) {
            const uint32_t middle = low + (high - low) / 2;
            if (at(middle) < sequence) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low;
    }

    uint32_t Checked(const std::atomic<uint32_t>& slot) {
        const uint32_t sequence = slot.load(std::memory_order_relaxed);
        if (sequence >= view_.rows) stale_ = true;
        return sequence;
    }

    const RowStore& store_;
    const View& view_;
    bool stale_ = false;
};

RowStore::RowStore() = default;

void RowStore::Append(const wchar_t* text, uint32_t itemData, uint32_t messageId) {
    const uint32_t sequence = bounds_.rows;
    rows_.Reserve(sequence);
    rows_[sequence] = Row{texts_.Copy(text), itemData, messageId};
    Blocks<std::atomic<uint32_t>>& run = IsFolder(itemData) ? folders_ : files_;
    uint32_t& end = IsFolder(itemData) ? bounds_.folderEnd : bounds_.fileEnd;
    run.Reserve(end);
    run[end].store(sequence, std::memory_order_relaxed);
    ++end;
    ++bounds_.rows;
    Publish();
}

int RowStore::Take(uint32_t direction, std::wstring* text, uint64_t* itemData) {
    if (bounds_.Size() == 0) return -1;
    uint32_t sequence;
    if (direction == 1 && bounds_.folderEnd > bounds_.folderFirst) {
        sequence = TakeFirstFolder();
    } else if (direction == 0 && bounds_.fileEnd > 0) {
        sequence = TakeLastFile();
    } else {
        sequence = TakeLast();
    }
    Publish();
    const Row& row = rows_[sequence];
    *text = row.text;
    *itemData = row.itemData;
    return bounds_.Size();
}

uint32_t RowStore::TakeFirstFolder() { return folders_[bounds_.folderFirst++].load(std::memory_order_relaxed); }

uint32_t RowStore::TakeLastFile() { return files_[--bounds_.fileEnd].load(std::memory_order_relaxed); }

uint32_t RowStore::TakeLast() {
    if (bounds_.fileEnd == 0) return folders_[--bounds_.folderEnd].load(std::memory_order_relaxed);
    if (bounds_.folderEnd == bounds_.folderFirst) return TakeLastFile();
    const uint32_t lastFolder = folders_[bounds_.folderEnd - 1].load(std::memory_order_relaxed);
    const uint32_t lastFile = files_[bounds_.fileEnd - 1].load(std::memory_order_relaxed);
    if (lastFolder > lastFile) --bounds_.folderEnd;
    else --bounds_.fileEnd;
    return std::max(lastFolder, lastFile);
}

// Everything written before the final release store (rows, texts, slots and
// blocks) is visible to a reader whose acquire load reads that version.
void RowStore::Publish() {
    const uint32_t version = version_.load(std::memory_order_relaxed);
    version_.store(version + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    sharedRows_.store(bounds_.rows, std::memory_order_relaxed);
    sharedFolderFirst_.store(bounds_.folderFirst, std::memory_order_relaxed);
    sharedFolderEnd_.store(bounds_.folderEnd, std::memory_order_relaxed);
    sharedFileEnd_.store(bounds_.fileEnd, std::memory_order_relaxed);
    version_.store(version + 2, std::memory_order_release);
}

bool RowStore::Snapshot(View* view) const {
    const uint32_t version = version_.load(std::memory_order_acquire);
    if (version & 1) return false;
    View read;
    read.rows = sharedRows_.load(std::memory_order_relaxed);
    read.folderFirst = sharedFolderFirst_.load(std::memory_order_relaxed);
    read.folderEnd = sharedFolderEnd_.load(std::memory_order_relaxed);
    read.fileEnd = sharedFileEnd_.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (version_.load(std::memory_order_relaxed) != version) return false;
    *view = read;
    return true;
}

// The folder rows' indexes in the list rise with their order in their run:
// find how many of them lie at or before the index; the row is the last of
// those if it lies exactly there, otherwise the file row that follows them.
bool RowStore::RowAt(const View& view, int index, Row* row) const {
    if (index < 0 || index >= view.Size()) return false;
    const uint32_t wanted = static_cast<uint32_t>(index);
    Lookup lookup(*this, view);
    uint32_t low = 0;
    uint32_t high = lookup.Folders();
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (middle + lookup.FilesBefore(lookup.Folder(middle)) <= wanted) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    uint32_t sequence;
    if (low > 0 && (low - 1) + lookup.FilesBefore(lookup.Folder(low - 1)) == wanted) {
        sequence = lookup.Folder(low - 1);
    } else if (wanted - low < view.fileEnd) {
        sequence = lookup.File(wanted - low);
    } else {
        return false;
    }
    if (lookup.Stale()) return false;
    *row = rows_[sequence];
    return true;
}

// Rows taken only from the ends of the two runs, with none appended, left
// the list's leading rows where they were when each taken row came after
// every row that stayed.
bool RowStore::KeepsLeadingRows(const View& older, const View& newer) const {
    if (newer.Extends(older)) return true;
    if (newer.rows != older.rows || newer.folderFirst != older.folderFirst) return false;
    Lookup lookup(*this, older);
    const uint32_t keptFolders = newer.folderEnd - newer.folderFirst;
    uint32_t lastKept = 0;
    uint32_t firstTaken = UINT32_MAX;
    if (keptFolders > 0) lastKept = lookup.Folder(keptFolders - 1);
    if (newer.fileEnd > 0) lastKept = std::max(lastKept, lookup.File(newer.fileEnd - 1));
    if (older.folderEnd > newer.folderEnd) firstTaken = lookup.Folder(keptFolders);
    if (older.fileEnd > newer.fileEnd) firstTaken = std::min(firstTaken, lookup.File(newer.fileEnd));
    return newer.Size() == 0 || lastKept < firstTaken;
}

int RowStore::NewestIndex(const View& view) const {
    if (view.rows == 0) return -1;
    const uint32_t newest = view.rows - 1;
    Lookup lookup(*this, view);
    int index;
    if (IsFolder(rows_[newest].itemData)) {
        const uint32_t position = lookup.FoldersBefore(newest);
        if (position == lookup.Folders() || lookup.Folder(position) != newest) return -1;
        index = static_cast<int>(position + lookup.FilesBefore(newest));
    } else {
        const uint32_t position = lookup.FilesBefore(newest);
        if (position == view.fileEnd || lookup.File(position) != newest) return -1;
        index = static_cast<int>(position + lookup.FoldersBefore(newest));
    }
    return lookup.Stale() ? -1 : index;
}

}  // namespace oper
