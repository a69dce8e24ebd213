#pragma once
// One top-level item of a request: a file through the file operation, a
// folder with its mark and, recursively, its contents.
#include <cstdint>

namespace oper {

class COperThread;

// The code of the item: 0, the restart-required result, or the failure
// that ended it.
uint32_t ProcessTopItem(COperThread& worker, const wchar_t* item);

// Every entry of folder (a source path), depth first. The code of the last
// entry processed, 0 for an empty or unreadable folder, or the code that
// ended the walk.
uint32_t ProcessFolderContents(COperThread& worker, const wchar_t* folder);

// One entry of a folder's list, from the C heap.
struct FolderEntry {
    FolderEntry* next;
    wchar_t* path;
    uint64_t size;  // rounded; 0 for a folder
    uint32_t isFolder;
    FolderEntry* previous;
};

void FreeEntryList(FolderEntry** head);
void PopEntry(FolderEntry** head);

// The entries of one folder, freed with it: a deep walk holds one list per
// level and nothing else of size.
class EntryList {
public:
    EntryList() = default;
    ~EntryList() { FreeEntryList(&head_); }
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;

    FolderEntry** HeadAddress() { return &head_; }
    const FolderEntry* Head() const { return head_; }
    bool Empty() const { return head_ == nullptr; }
    void Pop() { PopEntry(&head_); }

private:
    FolderEntry* head_ = nullptr;
};

// Lists folder into *head, newest entry first: 1 (an empty list when the
// folder cannot be listed), 0 when memory ran out (the list is then freed).
uint32_t ListFolderEntries(COperThread& worker, const wchar_t* folder, FolderEntry** head);

}  // namespace oper
