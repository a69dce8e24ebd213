#pragma once
// What a run does to one file, the wipe of a plain source, and the removal
// of a moved folder.
#include <cstdint>

namespace oper {

class COperThread;

// Encrypts or decrypts one file, in place or to its destination, wipes the
// plain source when asked and writes the file's event entry. 0, the
// restart-required result, or a module error code.
uint32_t ProcessFile(const wchar_t* path);

enum class WipeResult : int {
    kWiped = 0,        // overwritten with zeros; the delete was attempted
    kUntouched = -1,   // status, attributes or open failed: the file is as it was
    kPartlyWiped = -2, // the overwrite began and failed
};

// Overwrites the file's whole length with zeros, then deletes it.
WipeResult WipeFile(const wchar_t* path);

// Deletes folder and everything in it; 0 when all is gone, -1 at the first
// entry that stays (what was deleted before stays deleted).
int RemoveFolderTree(const wchar_t* folder);

}  // namespace oper
