// Decrypting a file: read it through the filter, which hands out plain
// bytes, into a file whose encryption information was removed. In place, the
// encrypted file is replaced only once the complete plain copy exists; the
// wide form can fall back to a rescue folder at the volume root and to a
// replacement at the next restart.
#include <rpc.h>
#include <shlobj.h>

#include <type_traits>

#include "engine/journal.h"
#include "engine/options.h"
#include "operation/operation_state.h"
#include "transforms/transform_steps.h"

namespace oper {

namespace {

// The fixed identifier whose text names the rescue folder below a root.
constexpr UUID kRescueFolderId = {0x7A3E5C19, 0x4B2D, 0x4E8F, {0x9C, 0x61, 0x2D, 0x5B, 0x8A, 0x0F, 0x3E, 0x47}};

// Where the name after the root starts: "C:\" or "\\?\C:\"; 0 for any other
// form, which gets no rescue folder.
size_t RootLength(const wchar_t* folder) {
    if (folder[0] && folder[1] == L':') return 3;
    if (wcsncmp(folder, L"\\\\?\\", 4) == 0 && folder[4] && folder[5] == L':') return 7;
    return 0;
}

// The long-path prefix names no server: "\\?\C:\" is as local as "C:\", and
// only "\\?\UNC\" leads to a share.
bool IsNetworkPath(const wchar_t* path) {
    if (wcsncmp(path, L"\\\\?\\", 4) != 0) return PathIsNetworkPathW(path) != FALSE;
    return _wcsnicmp(path + 4, L"UNC\\", 4) == 0 || PathIsNetworkPathW(path + 4);
}

// Turns the folder buffer into the rescue folder of its volume, creating it
// if needed; false when that cannot be done. The folder will hold plain
// bytes of documents from anywhere on the volume, so it is the user's alone
// (with SYSTEM and Administrators) rather than open to whoever may read the
// root; a rescue folder the user made earlier is closed the same way.
bool MakeRescueFolder(PathBuffer<wchar_t>& folder, PrivateAccess& access) {
    const size_t root = RootLength(folder);
    if (root == 0) return false;
    RPC_WSTR text = nullptr;
    UUID id = kRescueFolderId;
    if (UuidToStringW(&id, &text) != RPC_S_OK) return false;
    wcscpy_s(folder.text + root, PathApi<wchar_t>::kCapacity - root, reinterpret_cast<const wchar_t*>(text));
    RpcStringFreeW(&text);
    if (PathFileExistsW(folder)) {
        access.Apply(folder, true);
        return true;
    }
    return SHCreateDirectoryExW(nullptr, folder, access.attributes()) == ERROR_SUCCESS;
}

// The temporary file when none could be made beside the file: the rescue
// folder of the file's volume, when restarts may finish the job. The file
// gets the private access list itself too, as the folder may be one the user
// does not own.
template <typename Char>
bool RescueTempFile(PathBuffer<Char>& folder, bool elsewhere, PathBuffer<Char>& temp) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        if (elsewhere || !g_options.decryptAfterReboot || IsNetworkPath(folder)) return false;
        PrivateAccess access;
        if (!MakeRescueFolder(folder, access)) return false;
        if (!PathApi<Char>::TempFileName(folder, temp)) return false;
        access.Apply(temp, false);
        PathApi<Char>::ClearEncryptInfo(temp);
        return true;
    } else {
        (void)folder, (void)elsewhere, (void)temp;
        return false;
    }
}

template <typename Char>
void KeepPrivate(const Char* path) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        PrivateAccess().Apply(path, false);
    } else {
        (void)path;
    }
}

// Whether a file that could not be deleted may still be replaced, by a move
// now or at the next restart.
template <typename Char>
bool MayReplaceUndeletable(const Char* path, bool elsewhere) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        return !elsewhere && g_options.decryptAfterReboot && !IsNetworkPath(path);
    } else {
        (void)path, (void)elsewhere;
        return false;
    }
}

// The encrypted file is gone (or in use): the plain temporary file takes its
// place, now, or for the wide form at the next restart.
template <typename Char>
BOOL ReplaceWithTemp(const Char* temp, const Char* path, const JournalEntry& journal) {
    if constexpr (std::is_same_v<Char, wchar_t>) {
        if (PathApi<Char>::MoveWithRetry(temp, path, MOVEFILE_REPLACE_EXISTING)) return journal.Done(Succeed());
        const DWORD error = GetLastError();
        if ((error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) && g_options.decryptAfterReboot &&
            MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
            g_options.rebootRequired = 1;
            journal.Mark(JournalMark::kDeferred);
            return Succeed(kRebootRequired);
        }
        return Fail(kErrRenameTemp);
    } else {
        if (PathApi<Char>::MoveWithRetry(temp, path, 0)) return journal.Done(Succeed());
        return Fail(kErrRenameTemp);
    }
}

// Brings the plain data back from the system's temporary folder.
template <typename Char>
BOOL CopyBack(const Char* temp, const Char* path, const JournalEntry& journal) {
    using Api = PathApi<Char>;
    Api::TestCreate(path);
    Api::ClearEncryptInfo(path);
    if (!Api::Copy(temp, path, 0, 0, NeverCancel(), nullptr)) {
        Api::Delete(path);
        return FALSE;
    }
    Api::Delete(temp);
    return journal.Done(Succeed());
}

template <typename Char>
BOOL DecryptInPlace(const Char* path, const volatile uint32_t* state, volatile uint32_t* percent) {
    using Api = PathApi<Char>;
    if (!Api::IsEncrypted(path)) return Fail(kErrNotEncrypted);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Api::GetAttributes(path, &data)) return Fail(kErrGetAttributes);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) && !g_options.enableReadOnly) return Fail(kErrReadOnly);

    PathBuffer<Char> folder;
    bool elsewhere = false;
    if (const uint32_t refusal = ChooseWorkFolder(path, SizeOf(data), folder, elsewhere)) return Fail(refusal);

    PathBuffer<Char> temp;
    bool rescued = false;
    if (Api::TempFileName(folder, temp)) {
        if (!elsewhere) Api::ClearEncryptInfo(temp);
    } else if (!(rescued = RescueTempFile(folder, elsewhere, temp))) {
        return Fail(kErrTempFile);
    }

    const JournalEntry journal(JournalOp::kDecrypt, path, temp, SizeOf(data));
    if (!Api::Copy(path, temp, FILE_FLAG_NO_BUFFERING, 0, state, percent)) {
        Api::Delete(temp);
        return journal.Done(FALSE);
    }
    // The copy gave the temporary file the document's own access list, too
    // open for plain bytes away from the document's folder.
    if (rescued) KeepPrivate(temp.text);
    if (*state == kCancelRequested) {
        Api::Delete(temp);
        return journal.Done(Succeed());
    }
    if (!Api::SafeDelete(path)) {
        if (!MayReplaceUndeletable(path, elsewhere)) {
            SetOperError(kErrDeleteFile);
            Api::Delete(temp);
            return journal.Done(FALSE);
        }
        return ReplaceWithTemp<Char>(temp, path, journal);
    }
    // The encrypted file is gone: the plain data now live only in the
    // temporary file, which no failure below deletes, and which the journal
    // names until the file is whole again.
    return elsewhere ? CopyBack<Char>(temp, path, journal) : ReplaceWithTemp<Char>(temp, path, journal);
}

template <typename Char>
BOOL DecryptTo(const Char* source, const Char* destination, const volatile uint32_t* state,
               volatile uint32_t* percent) {
    using Api = PathApi<Char>;
    if (!destination || Api::SameString(source, destination) || SameExistingFile(source, destination))
        return DecryptInPlace(source, state, percent);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!Api::GetAttributes(source, &data)) return Fail(kErrGetAttributes);
    PathBuffer<Char> folder;
    if (!FolderOf(destination, folder)) return Fail(kErrInvalidPath);
    uint64_t available = 0;
    if (!AvailableBytes<Char>(folder, available)) return Fail(kErrFreeSpace);
    if (available < SizeOf(data)) return Fail(kErrDiskFull);

    Api::ClearEncryptInfo(destination);
    if (!Api::Copy(source, destination, FILE_FLAG_NO_BUFFERING, 0, state, percent)) {
        Api::Delete(destination);
        return FALSE;
    }
    if (*state == kCancelRequested) Api::Delete(destination);
    return Succeed();
}

}  // namespace

}  // namespace oper

extern "C" BOOL WINAPI DecryptFileInPlaceW(const wchar_t* path, uint32_t* state, uint32_t* percent) {
    return oper::DecryptInPlace(path, state, percent);
}

extern "C" BOOL WINAPI DecryptFileInPlaceA(const char* path, uint32_t* state, uint32_t* percent) {
    return oper::DecryptInPlace(path, state, percent);
}

extern "C" BOOL WINAPI DecryptFileToW(const wchar_t* source, const wchar_t* destination, uint32_t* state,
                                      uint32_t* percent) {
    return oper::DecryptTo(source, destination, state, percent);
}

extern "C" BOOL WINAPI DecryptFileToA(const char* source, const char* destination, uint32_t* state,
                                      uint32_t* percent) {
    return oper::DecryptTo(source, destination, state, percent);
}
