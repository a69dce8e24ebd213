#pragma once
// After a crash or a power loss: what the recovery journal says of every
// document a transform had put into a leftover and never finished, and
// putting each back under its own name.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/journal.h"

namespace docman {

enum class Finding {
    kDocument,         // the document is whole under its name; a leftover is not needed
    kLeftover,         // only the leftover is whole: it goes back under the document's name
    kBoth,             // both are whole: the document stays, the leftover goes
    kNeither,          // nothing whole is left of the document: the user must look
    kInProgress,       // the process that wrote the intent still runs
    kAwaitingRestart,  // the leftover replaces the document at the next restart
};

struct Recovery {
    oper::JournalIntent intent;
    Finding finding = Finding::kNeither;
    bool changed = false;  // --apply made the document whole and settled the intent
    uint32_t error = 0;    // the system error of a step of --apply that failed
};

// Whether the user has to act on it (run --apply, or look for the data).
bool NeedsUser(const Recovery& recovery, bool applied);

const wchar_t* FindingText(Finding finding);

// Every unsettled intent of the journal at path whose document lies below
// `under` (all when empty), with what was found; with apply, each put right
// and settled, and the journal compacted. False when the journal cannot be
// read.
bool Recover(const std::wstring& journal, const std::wstring& under, bool apply, std::vector<Recovery>& out);

}  // namespace docman
