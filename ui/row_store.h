#pragma once
// The rows of one result list, kept by the dialog rather than by the list
// control, which only shows them. One writer, the worker, appends rows and
// the undo takes them back; one reader, the dialog's thread, shows them.
//
// Neither side ever waits for the other. The worker must not wait because a
// row has to cost it microseconds; the dialog's thread must not wait because
// a pause suspends the worker wherever it is, and a lock held by a suspended
// worker would freeze the dialog whose Resume button is the only way out.
// So nothing is ever changed in place where the reader may look:
// - a row (its text, item data and message id) is written once, into blocks
//   that never move, and stays until the store is destroyed;
// - the list order is kept as two runs of sequence numbers, the folder rows
//   and the file rows: rows are only appended and the undo takes the first
//   folder row, the last file row or the last row, so each run stays
//   contiguous and loses rows only at its ends (the list is the two runs
//   merged by sequence number);
// - the few bounds of those runs are published under a sequence counter
//   (a seqlock): a reader that catches the writer in the middle retries or
//   keeps the view it had.
// A slot of a run is written again only after the row in it was taken and a
// new row appended, and then it holds a sequence number that no older view
// contains: a reader checks every number it reads against its view.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace oper {

class RowStore {
public:
    struct Row {
        const wchar_t* text;
        uint32_t itemData;
        uint32_t messageId;
    };

    // The rows as they were at one moment.
    struct View {
        uint32_t rows = 0;  // rows ever appended: the newest is rows - 1
        uint32_t folderFirst = 0;
        uint32_t folderEnd = 0;
        uint32_t fileEnd = 0;

        int Size() const { return static_cast<int>(folderEnd - folderFirst + fileEnd); }
        // True when rows were only appended since older.
        bool Extends(const View& older) const {
            return folderFirst == older.folderFirst && folderEnd >= older.folderEnd && fileEnd >= older.fileEnd;
        }
    };

    RowStore();

    // The worker's side.
    void Append(const wchar_t* text, uint32_t itemData, uint32_t messageId);
    // Takes the row the undo takes for this direction (1: the first folder
    // row, 0: the last file row, when there is one; otherwise the last row).
    // The rows left, or -1 when there was none (the outputs are untouched).
    int Take(uint32_t direction, std::wstring* text, uint64_t* itemData);

    // The dialog's side. False while the writer is in the middle of a change.
    bool Snapshot(View* view) const;
    // The row at this index of the view; false when the writer has since
    // reused a slot the lookup needed.
    bool RowAt(const View& view, int index, Row* row) const;
    // The index of the newest row in the view, -1 when it was taken.
    int NewestIndex(const View& view) const;
    // True when the rows of the shorter view are the first rows of the longer
    // (rows were only appended, or only taken from the end of the list):
    // every row the two share is still at its index.
    bool KeepsLeadingRows(const View& older, const View& newer) const;

private:
    // Entries that never move once written, in blocks of committed pages.
    template <typename T>
    class Blocks {
    public:
        Blocks();
        T& operator[](uint32_t index) const;
        // Makes entry index exist; called by the writer before it writes it.
        void Reserve(uint32_t index);

    private:
        static constexpr uint32_t kPerBlock = 1u << 16;
        static constexpr uint32_t kMaxBlocks = 2048;
        std::unique_ptr<std::atomic<T*>[]> blocks_;
        std::vector<fw::VirtualPages> owned_;
    };

    // Texts copied one after the other into blocks that never move.
    class Texts {
    public:
        const wchar_t* Copy(const wchar_t* text);

    private:
        std::vector<fw::VirtualPages> blocks_;
        wchar_t* next_ = nullptr;
        size_t left_ = 0;
    };

    class Lookup;

    static bool IsFolder(uint32_t itemData) { return (itemData & 0xFFFF) != 0; }
    uint32_t TakeFirstFolder();
    uint32_t TakeLastFile();
    uint32_t TakeLast();
    void Publish();

    Blocks<Row> rows_;
    Blocks<std::atomic<uint32_t>> folders_;
    Blocks<std::atomic<uint32_t>> files_;
    Texts texts_;
    // The writer's own copy of the bounds.
    View bounds_;
    // The published bounds: odd while the writer changes them.
    std::atomic<uint32_t> version_{0};
    std::atomic<uint32_t> sharedRows_{0};
    std::atomic<uint32_t> sharedFolderFirst_{0};
    std::atomic<uint32_t> sharedFolderEnd_{0};
    std::atomic<uint32_t> sharedFileEnd_{0};
};

}  // namespace oper
