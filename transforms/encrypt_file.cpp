// Encrypting a file: give a file the encryption information through the
// driver's library, then pour the plain bytes into it; the filter stores them
// encrypted. In place, the plain file is deleted only once the complete
// encrypted copy exists.
#include "engine/journal.h"
#include "engine/options.h"
#include "operation/operation_state.h"
#include "transforms/transform_steps.h"

namespace oper {

namespace {

constexpr DWORD kFolderFlag = 16;

bool RefusedAttribute(DWORD attributes, uint32_t& code) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !g_options.enableReadOnly) {
        code = kErrReadOnly;
    } else if ((attributes & FILE_ATTRIBUTE_SYSTEM) && !g_options.enableSystem) {
        code = kErrSystemObject;
    } else {
        return false;
    }
    return true;
}

// Whether the finished temporary file can be renamed, before the plain file
// is given up for it.
template <typename Char>
bool CanRename(const Char* path) {
    fw::FileHandle file(PathApi<Char>::Open(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0));
    return file.valid();
}

// Removes a marked file that is no longer wanted; a marked leftover that
// cannot be deleted at least loses its mark.
template <typename Char>
void DiscardMarked(const Char* path) {
    if (!PathApi<Char>::Delete(path)) PathApi<Char>::ClearEncryptInfo(path);
}

template <typename Char>
BOOL EncryptInPlace(const Char* path, ENCRYPT_INFO* info, const volatile uint32_t* state,
                    volatile uint32_t* percent) {
    using Api = PathApi<Char>;
    if (info->size != ENCRYPT_INFO_SIZE) return Fail(kErrInvalidParameter);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Api::GetAttributes(path, &data)) return Fail(kErrGetAttributes);
    uint32_t refusal = kOk;
    if (RefusedAttribute(data.dwFileAttributes, refusal)) return Fail(refusal);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED) return Fail(kErrFsEncrypted);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) return Fail(kErrCompressed);
    if (Api::IsBootFile(path)) return Fail(kErrSystemCritical);

    PathBuffer<Char> folder;
    bool elsewhere = false;
    if (const uint32_t refusal = ChooseWorkFolder(path, SizeOf(data), folder, elsewhere)) return Fail(refusal);

    PathBuffer<Char> temp;
    if (!Api::TempFileName(folder, temp)) return Fail(kErrTempFile);
    info->flags &= ~kFolderFlag;
    const JournalEntry journal(JournalOp::kEncrypt, path, temp, SizeOf(data), info);
    if (!Api::SetEncryptInfo(temp, info)) {
        SetOperError(kErrEncryptInfo);
        Api::Delete(temp);
        return journal.Done(FALSE);
    }
    if (!Api::Copy(path, temp, 0, FILE_FLAG_WRITE_THROUGH, state, percent)) {
        Api::Delete(temp);
        return journal.Done(FALSE);
    }
    if (*state == kCancelRequested) {
        Api::Delete(temp);
        return journal.Done(Succeed());
    }
    // The plain file is whole and stays; the finished temporary file is left
    // to the recovery, which removes it.
    if (!CanRename<Char>(temp)) return Fail(kErrRenameTemp);
    if (!Api::SafeDelete(path)) {
        SetOperError(kErrDeleteFile);
        Api::Delete(temp);
        return journal.Done(FALSE);
    }

    // From here the encrypted data exist only in the temporary file, which
    // no failure below deletes, and which the journal names until the file
    // is whole again.
    if (!elsewhere) {
        if (!Api::MoveWithRetry(temp, path, MOVEFILE_REPLACE_EXISTING)) return Fail(kErrRenameTemp);
        return journal.Done(Succeed());
    }
    if (!Api::SetEncryptInfo(path, info)) return Fail(kErrEncryptInfo);
    if (!Api::Copy(temp, path, 0, 0, NeverCancel(), nullptr)) {
        DiscardMarked<Char>(path);
        return FALSE;
    }
    Api::Delete(temp);
    return journal.Done(Succeed());
}

template <typename Char>
BOOL EncryptTo(const Char* source, const Char* destination, ENCRYPT_INFO* info, const volatile uint32_t* state,
               volatile uint32_t* percent) {
    using Api = PathApi<Char>;
    if (!destination || Api::SameString(source, destination) || SameExistingFile(source, destination))
        return EncryptInPlace(source, info, state, percent);
    if (info->size != ENCRYPT_INFO_SIZE) return Fail(kErrInvalidParameter);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Api::GetAttributes(source, &data)) return Fail(kErrGetAttributes);
    // The read-only and system guards protect a source that is going to be
    // wiped after its encryption.
    uint32_t refusal = kOk;
    if ((g_state.operationFlags & kFlagWipe) && RefusedAttribute(data.dwFileAttributes, refusal))
        return Fail(refusal);

    PathBuffer<Char> folder;
    if (!FolderOf(destination, folder)) return Fail(kErrInvalidPath);
    uint64_t available = 0;
    if (!AvailableBytes<Char>(folder, available)) return Fail(kErrFreeSpace);
    if (available < SizeOf(data)) return Fail(kErrDiskFull);

    info->flags &= ~kFolderFlag;
    if (!Api::SetEncryptInfo(destination, info)) return Fail(kErrEncryptInfo);
    if (!Api::Copy(source, destination, 0, FILE_FLAG_WRITE_THROUGH, state, percent)) {
        DiscardMarked(destination);
        return FALSE;
    }
    if (*state == kCancelRequested) DiscardMarked(destination);
    return Succeed();
}

}  // namespace

}  // namespace oper

extern "C" BOOL WINAPI EncryptFileInPlaceW(const wchar_t* path, ENCRYPT_INFO* info, uint32_t* state,
                                           uint32_t* percent) {
    return oper::EncryptInPlace(path, info, state, percent);
}

extern "C" BOOL WINAPI EncryptFileInPlaceA(const char* path, ENCRYPT_INFO* info, uint32_t* state,
                                           uint32_t* percent) {
    return oper::EncryptInPlace(path, info, state, percent);
}

extern "C" BOOL WINAPI EncryptFileToW(const wchar_t* source, const wchar_t* destination, ENCRYPT_INFO* info,
                                      uint32_t* state, uint32_t* percent) {
    return oper::EncryptTo(source, destination, info, state, percent);
}

extern "C" BOOL WINAPI EncryptFileToA(const char* source, const char* destination, ENCRYPT_INFO* info,
                                      uint32_t* state, uint32_t* percent) {
    return oper::EncryptTo(source, destination, info, state, percent);
}
