#pragma once
// What a run does to one file, the wipe of a plain source, and the removal
// of a moved folder.
#include <cstdint>
#include <string>

namespace oper {

class COperThread;

// What became of one file.
struct FileOutcome {
    // 0, the restart-required result, or a module error code.
    uint32_t code = 0;
    // Stopped for a cancel: the file and its destination are as they were.
    bool cancelled = false;
    // Set after a failure that came once the plain source had begun to be
    // overwritten: the file that holds the whole encrypted copy. What is
    // left of the source is never read again, so the step is not repeated.
    std::wstring keptAt;
};

// Encrypts or decrypts one file, in place or to its destination, wipes the
// plain source when asked and writes the file's event entry.
FileOutcome ProcessFile(const wchar_t* path);

enum class WipeResult : int {
    kWiped = 0,        // overwritten with zeros (and, by WipeFile, the delete attempted)
    kUntouched = -1,   // status, attributes or open failed: the file is as it was
    kPartlyWiped = -2, // the overwrite began and failed
};

// Overwrites the file's whole length with zeros; the file stays.
WipeResult ZeroFile(const wchar_t* path);
// Overwrites the file's whole length with zeros, then deletes it.
WipeResult WipeFile(const wchar_t* path);

// Deletes folder and everything in it; 0 when all is gone, -1 at the first
// entry that stays (what was deleted before stays deleted).
int RemoveFolderTree(const wchar_t* folder);

}  // namespace oper
