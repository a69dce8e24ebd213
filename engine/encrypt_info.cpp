#include "engine/encrypt_info.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>

#include "devio/devio.h"
#include "engine/options.h"
#include "engine/path_calls.h"
#include "exports/error_state.h"

namespace oper {

namespace {

constexpr int kNoSelectableCipher = -1;

int FirstSelectableCipher(const CIPHER_ENTRY* entries, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (!(entries[i].flags & kCipherNotSelectable)) return static_cast<int>(i);
    return kNoSelectableCipher;
}

// The name up to and including its NUL; a name that fills its field is cut
// so that the descriptor always holds a terminated string.
void CopyCipherName(const CIPHER_ENTRY& entry, char* out) {
    const size_t length = strnlen(entry.name, sizeof entry.name - 1);
    memcpy(out, entry.name, length);
    out[length] = '\0';
}

template <typename Char>
BOOL DecryptFolder(const Char* path) {
    using Calls = PathCalls<Char>;
    const size_t length = Calls::Length(path);
    if (length >= Calls::kCapacity) return Fail(kErrPathTooLong);

    Char folder[Calls::kCapacity];
    memcpy(folder, path, (length + 1) * sizeof(Char));
    if (!Calls::IsRoot(folder)) RemoveTrailingBackslash(folder);

    if (!Calls::IsEncrypted(folder)) return Fail(kErrNotEncrypted);
    if (!Calls::ClearEncryptInfo(folder)) return Fail(kErrEncryptInfo);
    return Succeed();
}

}  // namespace

BOOL BuildEncryptInfo(uint32_t flags, ENCRYPT_INFO* out) {
    CIPHER_ENTRY entries[kCipherTableCapacity];
    uint32_t count = kCipherTableCapacity;
    if (!DevIoEnumCiphers(entries, &count) || count == 0) return FALSE;
    if (count > kCipherTableCapacity) count = kCipherTableCapacity;
    const int chosen = FirstSelectableCipher(entries, count);
    if (chosen == kNoSelectableCipher) return FALSE;

    memset(out, 0, sizeof *out);
    DevIoGetDeviceBlock(out->deviceBlock);
    CopyCipherName(entries[chosen], out->cipherName);
    DevIoGetCipherBlock(static_cast<uint32_t>(chosen), out->cipherBlock);
    out->flags = flags;
    out->cipherId = g_options.defaultCipher;
    out->size = ENCRYPT_INFO_SIZE;
    return TRUE;
}

}  // namespace oper

// A null path describes a file; so does a path that names no directory.
extern "C" BOOL WINAPI BuildEncryptInfoA(const char* path, ENCRYPT_INFO* info) {
    if (!info) return FALSE;
    const bool folder = path && PathIsDirectoryA(path);
    return oper::BuildEncryptInfo(folder ? ENCRYPT_INFO_FOLDER : 0, info);
}

extern "C" BOOL WINAPI BuildEncryptInfoW(const wchar_t* path, ENCRYPT_INFO* info) {
    if (!info) return FALSE;
    const bool folder = path && PathIsDirectoryW(path);
    return oper::BuildEncryptInfo(folder ? ENCRYPT_INFO_FOLDER : 0, info);
}

extern "C" BOOL WINAPI DecryptFolderA(const char* folder) {
    return oper::DecryptFolder(folder ? folder : "");
}

extern "C" BOOL WINAPI DecryptFolderW(const wchar_t* folder) {
    return oper::DecryptFolder(folder ? folder : L"");
}
