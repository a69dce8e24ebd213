// TzDevIo stand-in: the encryption mark of files and folders as the driver's
// user-mode library reports it. Marks are records in a store; no data is
// ever transformed and no cipher is held.
#include <windows.h>
#include <rpc.h>

#include <cstring>
#include <string>

#include "cipher_table.h"
#include "devio/devio.h"
#include "mark_store.h"
#include "object_identity.h"
#include "standins/common/store_root.h"
#include "tzdevio_standin.h"

namespace tzdevio {

namespace {

// A folder cannot be pinned by a hard link, so its mark rides on its
// last-access time: a stamp in the year 2285 whose low 32 bits are random.
// The stamp moves with the folder and dies with it; a new folder that reuses
// the identity starts with an ordinary access time. Linux leaves a future
// access time alone when the folder is read (relatime).
constexpr uint64_t kFolderStampBase = 0x0300000000000000ull;

constexpr wchar_t kRefuseSetSwitch[] = L"refuse-set.txt";
constexpr wchar_t kRefuseClearSwitch[] = L"refuse-clear.txt";
constexpr wchar_t kNoCiphersSwitch[] = L"no-ciphers";
constexpr char kDeviceBlockText[] = "TzDevIo stand-in";
constexpr size_t kCipherBlockSize = 80;
constexpr size_t kDeviceBlockSize = 32;

std::wstring FromAnsi(const char* path) {
    if (!path || !*path) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, path, -1, &out[0], n);
    return out;
}

std::wstring FromWide(const wchar_t* path) { return path ? path : L""; }

int Refuse(DWORD error) {
    SetLastError(error);
    return 0;
}

uint64_t NewFolderStamp() {
    UUID id;
    UuidCreate(&id);
    return kFolderStampBase + id.Data1;
}

// A pin is a second name of the file itself, so it shows the same size and
// write time; one that does not belongs to an object with the same index on
// another file system.
enum class Pin { kAbsent, kThisFile, kOtherFile };

Pin PinOf(const ObjectState& file) {
    WIN32_FILE_ATTRIBUTE_DATA pin;
    if (!GetFileAttributesExW(PinPath(file.id).c_str(), GetFileExInfoStandard, &pin)) return Pin::kAbsent;
    const uint64_t size = (static_cast<uint64_t>(pin.nFileSizeHigh) << 32) | pin.nFileSizeLow;
    const uint64_t lastWrite =
        (static_cast<uint64_t>(pin.ftLastWriteTime.dwHighDateTime) << 32) | pin.ftLastWriteTime.dwLowDateTime;
    return size == file.size && lastWrite == file.lastWrite ? Pin::kThisFile : Pin::kOtherFile;
}

// A file is marked while its pin exists, a folder while it carries the stamp
// of its record. A file's record is read only when wanted.
bool FindMark(const std::wstring& path, ObjectState& object, MarkRecord& record, bool wantFileRecord) {
    object = Inspect(path);
    if (!object.exists) return false;
    if (object.folder) return ReadRecord(object.id, record) && record.folder && record.stamp == object.lastAccess;
    if (PinOf(object) != Pin::kThisFile) return false;
    NoteMarkedFile(object.id);
    return !wantFileRecord || (ReadRecord(object.id, record) && !record.folder);
}

// Re-marking a marked folder keeps its stamp and the access time it had
// before the first mark.
bool MarkFolder(const std::wstring& path, const ObjectState& folder, MarkRecord& record) {
    MarkRecord existing;
    const bool marked = ReadRecord(folder.id, existing) && existing.folder && existing.stamp == folder.lastAccess;
    record.originalAccess = marked ? existing.originalAccess : folder.lastAccess;
    record.stamp = marked ? existing.stamp : NewFolderStamp();
    if (!SetLastAccess(path, record.stamp)) return false;
    if (Inspect(path).lastAccess == record.stamp && WriteRecord(folder.id, record, true)) return true;
    SetLastAccess(path, record.originalAccess);
    return Refuse(ERROR_NOT_SUPPORTED);
}

// The record first, then the pin that makes the mark count: a kill between
// the two leaves an unmarked file. The store's own link keeps the file's
// identity from being handed to a new file while the mark exists.
bool MarkFile(const std::wstring& path, const ObjectState& file, const MarkRecord& record) {
    const Pin pin = PinOf(file);
    if (pin == Pin::kOtherFile) return Refuse(ERROR_NOT_SAME_DEVICE);
    if (!WriteRecord(file.id, record, pin == Pin::kThisFile)) return false;
    if (pin == Pin::kAbsent && !CreateHardLinkW(PinPath(file.id).c_str(), SystemForm(path).c_str(), nullptr)) {
        const DWORD error = GetLastError();
        DeleteRecord(file.id);
        return Refuse(error);
    }
    NoteMarkedFile(file.id);
    return true;
}

int SetMark(const std::wstring& path, const ENCRYPT_INFO* info) {
    LogCall("set", path);
    if (!info || info->size != ENCRYPT_INFO_SIZE) return Refuse(ERROR_INVALID_PARAMETER);
    if (SwitchListsPath(kRefuseSetSwitch, path)) return Refuse(ERROR_ACCESS_DENIED);
    DropSomeDeletedFiles();

    ObjectState object = Inspect(path);
    if (!object.exists) {
        // A file that does not exist yet starts as an empty encrypted file.
        if ((info->flags & ENCRYPT_INFO_FOLDER) || !CreateEmptyFile(path)) return 0;
        object = Inspect(path);
    }
    MarkRecord record;
    record.folder = object.folder;
    record.markedPath = path;
    record.info = *info;
    return (object.folder ? MarkFolder(path, object, record) : MarkFile(path, object, record)) ? 1 : 0;
}

int ClearMark(const std::wstring& path) {
    LogCall("clear", path);
    if (SwitchListsPath(kRefuseClearSwitch, path)) return Refuse(ERROR_ACCESS_DENIED);
    DropSomeDeletedFiles();
    ObjectState object;
    MarkRecord record;
    if (!FindMark(path, object, record, false)) return 1;
    if (object.folder) {
        DeleteRecord(object.id);
        SetLastAccess(path, record.originalAccess);
    } else {
        DropFileMark(object.id);
    }
    return 1;
}

int IsMarked(const std::wstring& path) {
    LogCall("query", path);
    ObjectState object;
    MarkRecord record;
    return FindMark(path, object, record, false) ? 1 : 0;
}

void FillEntry(uint32_t index, const Cipher& cipher, CIPHER_ENTRY& entry) {
    memset(&entry, 0, sizeof entry);
    memcpy(entry.opaque1, &index, sizeof index);
    strncpy(entry.name, cipher.name.c_str(), sizeof entry.name - 1);
    entry.flags = cipher.flags;
}

}  // namespace

}  // namespace tzdevio

using namespace tzdevio;

extern "C" int WINAPI DevIoIsEncryptedA(const char* path, int) { return IsMarked(FromAnsi(path)); }
extern "C" int WINAPI DevIoIsEncryptedW(const wchar_t* path, int) { return IsMarked(FromWide(path)); }

extern "C" int WINAPI DevIoSetEncryptInfoA(const char* path, ENCRYPT_INFO* info) { return SetMark(FromAnsi(path), info); }
extern "C" int WINAPI DevIoSetEncryptInfoW(const wchar_t* path, ENCRYPT_INFO* info) {
    return SetMark(FromWide(path), info);
}

extern "C" int WINAPI DevIoClearEncryptInfoA(const char* path, int) { return ClearMark(FromAnsi(path)); }
extern "C" int WINAPI DevIoClearEncryptInfoW(const wchar_t* path, int) { return ClearMark(FromWide(path)); }

extern "C" int WINAPI DevIoEnumCiphers(CIPHER_ENTRY* entries, uint32_t* count) {
    if (!entries || !count) return Refuse(ERROR_INVALID_PARAMETER);
    const uint32_t capacity = *count;
    *count = 0;
    std::string unused;
    if (ReadSwitch(kNoCiphersSwitch, unused)) return Refuse(ERROR_NOT_FOUND);
    const std::vector<Cipher> table = CipherTable();
    for (uint32_t i = 0; i < table.size() && i < capacity; ++i) FillEntry(i, table[i], entries[i]);
    *count = static_cast<uint32_t>(table.size() < capacity ? table.size() : capacity);
    return 1;
}

extern "C" int WINAPI DevIoGetDeviceBlock(void* block32) {
    if (!block32) return Refuse(ERROR_INVALID_PARAMETER);
    memset(block32, 0, kDeviceBlockSize);
    memcpy(block32, kDeviceBlockText, sizeof kDeviceBlockText - 1);
    return 1;
}

extern "C" int WINAPI DevIoGetCipherBlock(uint32_t index, void* block80) {
    const std::vector<Cipher> table = CipherTable();
    if (!block80 || index >= table.size()) return Refuse(ERROR_INVALID_PARAMETER);
    auto* block = static_cast<char*>(block80);
    memset(block, 0, kCipherBlockSize);
    memcpy(block + TZDEVIO_CIPHER_BLOCK_INDEX_OFFSET, &index, sizeof index);
    strncpy(block + TZDEVIO_CIPHER_BLOCK_NAME_OFFSET, table[index].name.c_str(), 31);
    return 1;
}

extern "C" int WINAPI TzDevIoReadMarkW(const wchar_t* path, ENCRYPT_INFO* info, uint32_t* isFolder) {
    ObjectState object;
    MarkRecord record;
    if (!FindMark(FromWide(path), object, record, true)) return 0;
    if (info) *info = record.info;
    if (isFolder) *isFolder = record.folder ? 1 : 0;
    return 1;
}

extern "C" uint32_t WINAPI TzDevIoStorePathW(wchar_t* out, uint32_t capacity) {
    return standin::CopyOut(StoreFolder(), out, capacity);
}
