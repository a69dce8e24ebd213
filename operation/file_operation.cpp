#include "operation/file_operation.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

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

// A new temporary file in the folder of target, for an in-place encryption
// whose plain source is wiped: the encrypted copy is complete before the
// source is touched. 0, or the code that ends the file.
uint32_t MakeTempBeside(const wchar_t* target, std::wstring* temp) {
    std::wstring full(kPathCapacity, L'\0');
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameLongW(target, kPathCapacity, &full[0], &filePart);
    if (length == 0 || length >= kPathCapacity || !filePart) return kErrInvalidPath;
    *filePart = L'\0';
    std::wstring name(kPathCapacity, L'\0');
    if (!GetTempFileNameLongW(full.c_str(), kTempPrefixW, 0, &name[0])) return kErrTempFile;
    temp->assign(name.c_str());
    return kOk;
}

// After a complete encryption with the wipe flag: the plain source goes, and
// the temporary copy of an in-place run takes its name. Whenever the
// encrypted copy may be the only whole one left, it stays.
uint32_t WipeSource(const wchar_t* path, const std::wstring& target, bool temporary) {
    switch (WipeFile(path)) {
        case WipeResult::kUntouched:
            WipeFile(target.c_str());
            return kErrDeleteFile;
        case WipeResult::kPartlyWiped:
            return kErrDeleteFile;
        case WipeResult::kWiped:
            break;
    }
    if (temporary && !MoveFileExLongW(target.c_str(), path, 0)) return kErrRenameTemp;
    return kOk;
}

uint32_t Decrypt(const wchar_t* path, const std::wstring& target, bool toDestination) {
    DecryptFileToW(path, toDestination ? target.c_str() : nullptr, RunStateWord(), PercentWord());
    return GetOperErrorCode();
}

uint32_t Encrypt(const wchar_t* path, std::wstring target, bool toDestination) {
    const bool wipe = HasFlag(kFlagWipe);
    // A destination that names the source itself is an in-place run: the
    // wipe must never reach the only copy.
    const bool temporary = wipe && (!toDestination || _wcsicmp(target.c_str(), path) == 0);
    // The recovery journal names the temporary copy until the source is
    // whole under its name again, or the copy has taken its place.
    std::optional<JournalEntry> journal;
    if (temporary) {
        const uint32_t code = MakeTempBeside(target.c_str(), &target);
        if (code != kOk) return code;
        journal.emplace(JournalOp::kWipe, path, target.c_str(), kUnknownSize);
    }
    EncryptFileToW(path, target.c_str(), Request().EncryptInfo(), RunStateWord(), PercentWord());
    uint32_t code = GetOperErrorCode();
    if (!wipe) return code;
    if (code != kOk || CancelRequested()) {
        WipeFile(target.c_str());
    } else {
        if (journal) journal->Mark(JournalMark::kWhole);
        code = WipeSource(path, target, temporary);
        if (code != kOk) return code;
    }
    if (journal) journal->Mark(JournalMark::kDone);
    return code;
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

uint32_t ProcessFile(const wchar_t* path) {
    const bool toDestination = HasFlag(kFlagToDestination);
    const std::wstring target = toDestination ? MapItemPath(kToDestination, path) : std::wstring(path);
    const bool encrypt = Request().Kind() == kKindEncrypt;
    const uint32_t code = encrypt ? Encrypt(path, target, toDestination) : Decrypt(path, target, toDestination);
    if (IsFailure(code)) return code;
    AddFileEvent(path, encrypt);
    return code;
}

WipeResult WipeFile(const wchar_t* path) {
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
    fw::File::Remove(longPath.get());
    return WipeResult::kWiped;
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
