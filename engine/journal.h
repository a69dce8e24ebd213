#pragma once
// The recovery journal: one append-only record file per user, beside the
// error log, that tells which of the user's documents a transform has put
// into a leftover (a temporary file beside it, in the temporary folder or in
// the rescue folder), so that after a crash or a power loss every document
// can be brought back under its own name.
//
// A transform appends an intent before a document's data first go anywhere
// but the document's own name, and "done" once the document is whole under
// its name again (written with the process's next record); in between it
// may append "whole" (the leftover is known to be complete) and "deferred"
// (the leftover replaces the document at the next restart). Writing the
// journal never changes a transform's calls on the user's files, its result
// or its error state: a journal that cannot be written is simply not written.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileoper.h"
#include "framework/record_log.h"

namespace oper {

enum class JournalOp : uint32_t {
    kEncrypt = 1,  // in place, through a temporary file: the leftover holds the encrypted form
    kDecrypt = 2,  // in place, through a temporary file: the leftover holds the plain form
    kWipe = 3,     // an encryption whose plain source is wiped: the leftover is the encrypted copy
};

enum class JournalMark : uint32_t { kIntent = 1, kWhole = 2, kDeferred = 3, kDone = 4 };

// The size of a document that is not known when its intent is written.
constexpr uint64_t kUnknownSize = ~0ull;

// Who wrote an intent: the process (its id and start time, which together
// tell a live writer from a finished one) and the intent's number there.
struct JournalWriter {
    uint32_t process = 0;
    uint64_t started = 0;
    uint32_t sequence = 0;
    bool operator==(const JournalWriter& other) const {
        return process == other.process && started == other.started && sequence == other.sequence;
    }
};

// An intent as the journal tells it, with the marks that followed it.
struct JournalIntent {
    JournalWriter writer;
    JournalOp op = JournalOp::kEncrypt;
    bool encryptedLeftover = false;
    uint64_t size = kUnknownSize;  // the document's bytes when the intent was written
    std::wstring document, leftover;
    bool hasInfo = false;  // an encrypted leftover's descriptor, to mark a copy of it
    ENCRYPT_INFO info = {};
    bool whole = false, deferred = false, done = false;
};

// The journal's path; empty when the user's application-data folder cannot
// be had.
std::wstring JournalPath();

// Every intent of the journal's whole records, in order; false when the
// journal exists but cannot be read (a missing one holds nothing).
bool ReadJournal(const std::wstring& path, std::vector<JournalIntent>& intents);

// Keeps only the records of intents without "done", in the appenders' turn;
// false when the journal could not be rewritten.
bool CompactJournal(const std::wstring& path);

// The payload of a record, as the library appends it.
fw::Bytes JournalRecord(JournalMark mark, const JournalWriter& writer, const JournalIntent* intent = nullptr);

// One document's passage through a leftover, as the transform writes it.
class JournalEntry {
public:
    // Appends the intent: document as the caller named it, leftover a full
    // path, info the descriptor of an encrypted leftover when known.
    JournalEntry(JournalOp op, const wchar_t* document, const wchar_t* leftover, uint64_t size,
                 const ENCRYPT_INFO* info = nullptr);
    JournalEntry(JournalOp op, const char* document, const char* leftover, uint64_t size,
                 const ENCRYPT_INFO* info = nullptr);

    void Mark(JournalMark mark) const;
    // Appends "done" and hands result on, for the returns where the document
    // is whole under its own name.
    BOOL Done(BOOL result) const {
        Mark(JournalMark::kDone);
        return result;
    }

private:
    JournalWriter writer_;
};

}  // namespace oper
