#include "operation/file_operation.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

#include "devio/devio.h"
#include "engine/journal.h"
#include "engine/long_path.h"
#include "engine/temp_files.h"
#include "exports/error_state.h"
#include "fileoper.h"
#include "framework/file.h"
#include "framework/handles.h"
#include "operation/worker_services.h"
#include "standins/tzevtlog/tzevtlog.h"
#include "transforms/chunked_copy.h"

namespace oper {

namespace {

constexpr DWORD kPathCapacity = 4096;
constexpr DWORD kWipeBlock = 65536;
constexpr size_t kAttributeBlock = sizeof(WIN32_FILE_ATTRIBUTE_DATA);
static_assert(kAttributeBlock == 36, "the event's attribute block is the system's 36-byte record");

// The attribute form when the block can be had and the file read, else the
// path form.
void AddFileEvent(const wchar_t* path, bool encrypted) {
    const size_t length = wcslen(path);
    auto block = fw::HeapBlock<BYTE>::allocate(2 * length + kAttributeBlock + 4);
    if (block && GetFileAttributesExLongW(path, GetFileExInfoStandard, block.get())) {
        memcpy(block.get() + kAttributeBlock, path, 2 * (length + 1));
        Event_Add(encrypted ? kEventFileEncrypted : kEventFileDecrypted, block.get());
    } else {
        Event_Add(encrypted ? kEventEncryptedPath : kEventDecryptedPath, path);
    }
}

// A new temporary file in the folder of target. 0, or the code that ends the
// file.
uint32_t MakeTempBeside(const std::wstring& target, std::wstring* temp) {
    std::wstring full(kPathCapacity, L'\0');
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameLongW(target.c_str(), kPathCapacity, &full[0], &filePart);
    if (length == 0 || length >= kPathCapacity || !filePart) return kErrInvalidPath;
    *filePart = L'\0';
    std::wstring name(kPathCapacity, L'\0');
    if (!GetTempFileNameLongW(full.c_str(), kTempPrefixW, 0, &name[0])) return kErrTempFile;
    temp->assign(name.c_str());
    return kOk;
}

// Where the transform writes: the target itself, or a temporary file beside
// it that takes the target's name once its content is complete.
struct WorkFile {
    std::wstring path;
    bool temporary = false;
};

// What target names stays until its replacement is complete: an existing
// destination file, and the source of an in-place run with wipe.
uint32_t ChooseWorkFile(const std::wstring& target, bool keepTarget, WorkFile* work) {
    work->path = target;
    work->temporary = keepTarget;
    return keepTarget ? MakeTempBeside(target, &work->path) : kOk;
}

FileOutcome Outcome(uint32_t code, const std::wstring& keptAt = std::wstring()) {
    FileOutcome outcome;
    outcome.code = code;
    outcome.keptAt = keptAt;
    return outcome;
}

FileOutcome Cancelled() {
    FileOutcome outcome;
    outcome.cancelled = true;
    return outcome;
}

// What the transform wrote and nobody is to keep; never the source itself.
void Discard(const wchar_t* path, const WorkFile& work) {
    if (_wcsicmp(work.path.c_str(), path) != 0) WipeFile(work.path.c_str());
}

bool Place(const WorkFile& work, const std::wstring& target) {
    return !work.temporary || MoveFileWithRetryW(work.path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// In place the transform replaces the file itself, and a cancel confirmed
// after its last look at the run state finds the file already converted:
// then the file's row must say so.
bool ConvertedInPlace(const wchar_t* path, const WorkFile& work, bool encrypting) {
    return _wcsicmp(work.path.c_str(), path) == 0 && (DevIoIsEncryptedW(path, 0) != 0) == encrypting;
}

// The transform's result when no source is to be wiped. A cancel leaves the
// file as it was: what was written for it goes.
FileOutcome Conclude(const wchar_t* path, const WorkFile& work, const std::wstring& target, uint32_t code,
                     bool encrypting) {
    if (IsFailure(code) || (CancelRequested() && !ConvertedInPlace(path, work, encrypting))) {
        Discard(path, work);
        return IsFailure(code) ? Outcome(code) : Cancelled();
    }
    if (!Place(work, target)) {
        Discard(path, work);
        return Outcome(kErrRenameTemp);
    }
    return Outcome(code);
}

// The plain source is overwritten with zeros and gives way to the encrypted
// copy. Once the overwrite has begun the source is a copy of nothing:
// whatever fails then, the encrypted copy stays, and the outcome names it.
FileOutcome WipeSource(const wchar_t* path, const WorkFile& work, const std::wstring& target, bool toDestination) {
    const WipeResult zeroed = ZeroFile(path);
    if (zeroed == WipeResult::kUntouched) {
        WipeFile(work.path.c_str());
        return Outcome(kErrDeleteFile);
    }
    // In place, the copy's rename replaces what is left of the source.
    if (!Place(work, target)) return Outcome(kErrRenameTemp, work.path);
    if (zeroed == WipeResult::kPartlyWiped) return Outcome(kErrDeleteFile, target);
    if (toDestination && !DeleteFileLongW(path)) return Outcome(kErrDeleteFile, target);
    return Outcome(kOk);
}

FileOutcome Decrypt(const wchar_t* path, const std::wstring& target, bool toDestination, bool targetExists) {
    WorkFile work;
    if (const uint32_t code = ChooseWorkFile(target, targetExists, &work)) return Outcome(code);
    DecryptFileToW(path, toDestination ? work.path.c_str() : nullptr, RunStateWord(), PercentWord());
    return Conclude(path, work, target, GetOperErrorCode(), false);
}

FileOutcome Encrypt(const wchar_t* path, const std::wstring& target, bool toDestination, bool targetExists) {
    const bool wipe = HasFlag(kFlagWipe);
    WorkFile work;
    if (const uint32_t code = ChooseWorkFile(target, toDestination ? targetExists : wipe, &work)) return Outcome(code);
    // A source about to be wiped leaves its encrypted copy under a temporary
    // name for a moment: the recovery journal names it until the copy has
    // taken its place or the source is whole again.
    std::optional<JournalEntry> journal;
    if (wipe && work.temporary) journal.emplace(JournalOp::kWipe, path, work.path.c_str(), kUnknownSize);
    EncryptFileToW(path, work.path.c_str(), Request().EncryptInfo(), RunStateWord(), PercentWord());
    const uint32_t code = GetOperErrorCode();
    if (!wipe || IsFailure(code) || CancelRequested()) {
        const FileOutcome outcome = Conclude(path, work, target, code, true);
        if (journal) journal->Mark(JournalMark::kDone);
        return outcome;
    }
    if (journal) journal->Mark(JournalMark::kWhole);
    const FileOutcome outcome = WipeSource(path, work, target, toDestination);
    // Only a copy that could not take its place is still the document.
    if (journal && outcome.code != kErrRenameTemp) journal->Mark(JournalMark::kDone);
    return outcome;
}

bool OverwriteWithZeros(fw::File& file) {
    const BYTE zeros[kWipeBlock] = {};
    uint64_t remaining = 0;
    if (!file.GetLength(&remaining) || !file.SeekToBegin()) return false;
    // A file of length 0 still gets its one (empty) write.
    do {
        WaitWhileRunPaused();
        const DWORD chunk = static_cast<DWORD>((std::min)(remaining, static_cast<uint64_t>(kWipeBlock)));
        if (!file.Write(zeros, chunk)) return false;
        remaining -= chunk;
    } while (remaining > 0);
    // The zeros must reach the disk before the delete lets the system
    // forget them.
    return file.Flush();
}

}  // namespace

FileOutcome ProcessFile(const wchar_t* path) {
    const bool toDestination = HasFlag(kFlagToDestination);
    const std::wstring target = toDestination ? MapItemPath(kToDestination, path) : std::wstring(path);
    const bool targetExists = toDestination && PathFileExistsLongW(target.c_str());
    // A destination that is the file itself under another name (a hard link,
    // a folder reached twice) would be converted in place, then wiped or
    // deleted as the source.
    if (targetExists && IsSameObject(path, target.c_str())) return Outcome(kErrInvalidPath);
    const bool encrypt = Request().Kind() == kKindEncrypt;
    const FileOutcome outcome = encrypt ? Encrypt(path, target, toDestination, targetExists)
                                        : Decrypt(path, target, toDestination, targetExists);
    if (IsFailure(outcome.code) || outcome.cancelled) return outcome;
    AddFileEvent(path, encrypt);
    return outcome;
}

WipeResult ZeroFile(const wchar_t* path) {
    const fw::HeapBlock<wchar_t> longPath = MakeLongPath(path);
    if (!longPath) return WipeResult::kUntouched;
    fw::FileStatus status;
    if (!fw::File::GetStatus(longPath.get(), &status)) return WipeResult::kUntouched;
    if (status.attributes & FILE_ATTRIBUTE_READONLY) {
        status.attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (!fw::File::SetStatus(longPath.get(), status)) return WipeResult::kUntouched;
    }
    fw::File file;
    if (!file.OpenReadWrite(longPath.get())) return WipeResult::kUntouched;
    if (!OverwriteWithZeros(file) || !file.Close()) return WipeResult::kPartlyWiped;
    return WipeResult::kWiped;
}

WipeResult WipeFile(const wchar_t* path) {
    const WipeResult zeroed = ZeroFile(path);
    if (zeroed == WipeResult::kWiped) DeleteFileLongW(path);
    return zeroed;
}

int RemoveFolderTree(const wchar_t* folder) {
    // Off the stack: a deep tree holds one of these per level.
    auto found = fw::HeapBlock<WIN32_FIND_DATAW>::allocate(1);
    if (!found) return -1;
    fw::FindHandle find(FindFirstFileLongW(JoinPath(folder, L"*.*").c_str(), found.get()));
    if (find) {
        do {
            if (IsDotEntry(found.get()->cFileName)) continue;
            const std::wstring child = JoinPath(folder, found.get()->cFileName);
            const DWORD attributes = found.get()->dwFileAttributes;
            // A link to a folder elsewhere goes by itself, never with what it
            // points to.
            const bool tree = (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
            const bool gone = tree ? RemoveFolderTree(child.c_str()) == 0
                              : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryLongW(child.c_str()) != FALSE
                                                                         : SafeDeleteFileW(child.c_str()) != FALSE;
            if (!gone) return -1;
        } while (FindNextFileW(find.get(), found.get()));
    }
    find.reset();
    return RemoveDirectoryLongW(folder) ? 0 : -1;
}

}  // namespace oper
