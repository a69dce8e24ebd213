#include "host/recovery.h"

#include <windows.h>

#include <cwctype>
#include <set>

#include "devio/devio.h"
#include "framework/handles.h"

namespace docman {

namespace {

using oper::JournalIntent;
using oper::JournalOp;

constexpr DWORD kCopyChunk = 1 << 16;

// What lies under a name.
struct Seen {
    bool exists = false;
    bool encrypted = false;
    uint64_t size = 0;
};

// Paths of 260 characters and more in the form the system takes them.
std::wstring SystemForm(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

Seen Look(const std::wstring& path) {
    Seen seen;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return seen;
    seen.exists = true;
    seen.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    seen.encrypted = DevIoIsEncryptedW(path.c_str(), 0) != 0;
    return seen;
}

bool WriterAlive(const oper::JournalWriter& writer) {
    fw::KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, writer.process));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    FILETIME created, exited, kernel, user;
    DWORD exitCode = 0;
    return GetProcessTimes(process.get(), &created, &exited, &kernel, &user) &&
           ((static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime) == writer.started &&
           GetExitCodeProcess(process.get(), &exitCode) && exitCode == STILL_ACTIVE;
}

// Deciding what is whole. A transform writes its leftover completely before
// it touches the document, and only then deletes the document and moves or
// copies the leftover into its place; the journal's intent precedes the
// leftover's data, "done" follows the document's return. The leftover is in
// the result's form (encryption: marked; decryption: unmarked), the document
// until it is deleted in the original's. So, for an intent without "done":
//
// - Killed while the leftover was being written: the document is in its
//   original form and size, the leftover shorter. The document is whole.
// - Killed after the leftover was complete, before the delete: both whole,
//   the document in its original form. The document stays.
// - Killed between delete and move: no document, the leftover at its full
//   recorded length. The leftover is whole and goes back.
// - Killed after the move: the document in the result's form at its full
//   length, no leftover. The document is whole.
// - Killed during a copy back from the temporary folder: the document in
//   the result's form but short (or an empty file the decryption made before
//   clearing its mark, which may still carry the folder's mark), the
//   leftover at its full length. The leftover is whole and replaces the
//   short document.
// - Killed after the copy back, before the leftover was deleted: both at
//   their full length; the document stays.
// A wipe's leftover is the encrypted copy, written by a transform to a
// second path; its length is not known beforehand, so "whole" (appended once
// the copy succeeded, before the plain source is overwritten) says it is
// complete, and from then on a plain source may be partly zeros: with the
// leftover still there, the leftover is the document.
//
// A document whose length differs from the recorded one, in a form and
// state that no kill leaves, was changed by the user since: it stays.
bool LeftoverWhole(const JournalIntent& intent, const Seen& leftover) {
    if (!leftover.exists) return false;
    return intent.op == JournalOp::kWipe ? intent.whole : leftover.size == intent.size;
}

bool DocumentWhole(const JournalIntent& intent, const Seen& document, bool leftoverWhole) {
    if (!document.exists) return false;
    const bool original = document.encrypted != intent.encryptedLeftover;
    if (intent.op == JournalOp::kWipe) return !(original && intent.whole && leftoverWhole);
    if (!leftoverWhole || document.size == intent.size) return true;
    return original && document.size != 0;
}

// What came after an intent in the journal. A later intent for the same
// document found it under its name (a transform starts from the document),
// so this one's document was whole then and the later one tells the rest. A
// later intent with the same leftover made that name anew, so this one's
// leftover was gone by then: what lies there now belongs to the later one.
struct Successors {
    bool document = false, leftover = false;
};

Finding Judge(const JournalIntent& intent, const Successors& after) {
    if (WriterAlive(intent.writer)) return Finding::kInProgress;
    if (after.document) return Finding::kDocument;
    const Seen document = Look(SystemForm(intent.document));
    const Seen leftover = after.leftover ? Seen() : Look(SystemForm(intent.leftover));
    const bool leftoverWhole = LeftoverWhole(intent, leftover);
    const bool documentWhole = DocumentWhole(intent, document, leftoverWhole);
    if (intent.deferred && leftover.exists && documentWhole && document.encrypted) return Finding::kAwaitingRestart;
    if (documentWhole) return leftoverWhole ? Finding::kBoth : Finding::kDocument;
    return leftoverWhole ? Finding::kLeftover : Finding::kNeither;
}

std::wstring Folded(const std::wstring& path) {
    std::wstring folded = path;
    for (wchar_t& c : folded) c = static_cast<wchar_t>(towlower(c));
    return folded;
}

std::vector<Successors> SuccessorsOf(const std::vector<JournalIntent>& intents) {
    std::vector<Successors> after(intents.size());
    std::set<std::wstring> documents, leftovers;
    for (size_t i = intents.size(); i-- > 0;) {
        after[i].document = !documents.insert(Folded(intents[i].document)).second;
        after[i].leftover = !leftovers.insert(Folded(intents[i].leftover)).second;
    }
    return after;
}

// A plain source that was being wiped is wiped whole before the encrypted
// copy takes its name.
bool Wipe(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    fw::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size)) return false;
    const std::vector<BYTE> zeros(kCopyChunk);
    for (int64_t left = size.QuadPart; left > 0; left -= kCopyChunk) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(left < kCopyChunk ? left : kCopyChunk);
        if (!WriteFile(file.get(), zeros.data(), chunk, &written, nullptr)) return false;
    }
    return FlushFileBuffers(file.get()) != FALSE;
}

bool CopyBytes(const std::wstring& from, const std::wstring& to) {
    fw::FileHandle source(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    fw::FileHandle target(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
    if (!source || !target) return false;
    std::vector<BYTE> chunk(kCopyChunk);
    DWORD got = 0, written = 0;
    while (ReadFile(source.get(), chunk.data(), kCopyChunk, &got, nullptr)) {
        if (got == 0) return FlushFileBuffers(target.get()) != FALSE;
        if (!WriteFile(target.get(), chunk.data(), got, &written, nullptr) || written != got) return false;
    }
    return false;
}

// To another volume a move would lose the mark: the document is made in the
// leftover's form first, as the library's copy back does, and filled.
bool CopyAcross(const JournalIntent& intent, const std::wstring& leftover, const std::wstring& document) {
    fw::FileHandle created(CreateFileW(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!created) return false;
    created.reset();
    ENCRYPT_INFO info = intent.info;
    const bool formed = intent.encryptedLeftover ? intent.hasInfo && DevIoSetEncryptInfoW(document.c_str(), &info)
                                                 : DevIoClearEncryptInfoW(document.c_str(), 0) != 0;
    if (!formed || !CopyBytes(leftover, document)) {
        const DWORD error = GetLastError();
        DeleteFileW(document.c_str());
        SetLastError(error);
        return false;
    }
    DeleteFileW(leftover.c_str());
    return true;
}

// The leftover under the document's name; a document that is there is not
// whole (or the leftover would not be put back).
bool PutBack(const JournalIntent& intent, bool documentThere) {
    const std::wstring leftover = SystemForm(intent.leftover), document = SystemForm(intent.document);
    if (documentThere && intent.op == JournalOp::kWipe && !Wipe(document)) return false;
    if (MoveFileExW(leftover.c_str(), document.c_str(), documentThere ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
    return GetLastError() == ERROR_NOT_SAME_DEVICE && CopyAcross(intent, leftover, document);
}

bool RemoveLeftover(const JournalIntent& intent) {
    const std::wstring leftover = SystemForm(intent.leftover);
    SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(leftover.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool Actionable(Finding finding) {
    return finding == Finding::kDocument || finding == Finding::kBoth || finding == Finding::kLeftover;
}

bool Apply(const Recovery& recovery, const Successors& after) {
    const JournalIntent& intent = recovery.intent;
    if (recovery.finding != Finding::kLeftover) return after.leftover || RemoveLeftover(intent);
    return PutBack(intent, Look(SystemForm(intent.document)).exists);
}

bool Below(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty()) return true;
    if (path.size() <= folder.size() || _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) != 0) return false;
    return folder.back() == L'\\' || path[folder.size()] == L'\\';
}

void Settle(const std::wstring& journal, const oper::JournalWriter& writer) {
    fw::FileHandle file(fw::OpenRecordFile(journal));
    if (file) fw::AppendRecord(file.get(), oper::JournalRecord(oper::JournalMark::kDone, writer));
}

}  // namespace

bool NeedsUser(const Recovery& recovery, bool applied) {
    switch (recovery.finding) {
        case Finding::kLeftover: return !(applied && recovery.changed);
        case Finding::kNeither: return true;
        default: return false;
    }
}

const wchar_t* FindingText(Finding finding) {
    switch (finding) {
        case Finding::kDocument: return L"document whole";
        case Finding::kLeftover: return L"leftover whole";
        case Finding::kBoth: return L"both whole";
        case Finding::kNeither: return L"neither whole";
        case Finding::kInProgress: return L"in progress";
        case Finding::kAwaitingRestart: return L"waiting for restart";
    }
    return L"";
}

bool Recover(const std::wstring& journal, const std::wstring& under, bool apply, std::vector<Recovery>& out) {
    std::vector<JournalIntent> intents;
    if (!oper::ReadJournal(journal, intents)) return false;
    const std::vector<Successors> after = SuccessorsOf(intents);
    for (size_t i = 0; i < intents.size(); ++i) {
        const JournalIntent& intent = intents[i];
        if (intent.done || !Below(intent.document, under)) continue;
        Recovery recovery{intent, Judge(intent, after[i])};
        if (apply && Actionable(recovery.finding)) {
            recovery.changed = Apply(recovery, after[i]);
            if (recovery.changed)
                Settle(journal, intent.writer);
            else
                recovery.error = GetLastError();
        }
        out.push_back(recovery);
    }
    if (apply) oper::CompactJournal(journal);
    return true;
}

}  // namespace docman
