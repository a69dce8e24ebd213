#pragma once
// TzDevIo, the user-mode library of the encryption filter driver, imported by
// ordinal. Paths are passed as the caller holds them; every result is non-zero
// for success or yes.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "fileoper.h"

// One entry of the driver's cipher table. Only the name and the flags byte
// are ours to read.
struct CIPHER_ENTRY {
    uint8_t opaque1[32];
    char name[32];  // NUL-terminated, at most 31 characters
    uint8_t flags;  // kCipherNotSelectable
    uint8_t opaque2[19];
};
static_assert(sizeof(CIPHER_ENTRY) == 84, "CIPHER_ENTRY is the driver's record");
static_assert(offsetof(CIPHER_ENTRY, name) == 32, "CIPHER_ENTRY layout");
static_assert(offsetof(CIPHER_ENTRY, flags) == 64, "CIPHER_ENTRY layout");

constexpr uint8_t kCipherNotSelectable = 2;
constexpr uint32_t kCipherTableCapacity = 32;

extern "C" {

int WINAPI DevIoIsEncryptedA(const char* path, int reserved);                 // 160
int WINAPI DevIoIsEncryptedW(const wchar_t* path, int reserved);              // 161
int WINAPI DevIoSetEncryptInfoA(const char* path, ENCRYPT_INFO* info);        // 170
int WINAPI DevIoSetEncryptInfoW(const wchar_t* path, ENCRYPT_INFO* info);     // 171
int WINAPI DevIoClearEncryptInfoA(const char* path, int reserved);            // 180
int WINAPI DevIoClearEncryptInfoW(const wchar_t* path, int reserved);         // 181
int WINAPI DevIoEnumCiphers(CIPHER_ENTRY* entries, uint32_t* count);          // 400
int WINAPI DevIoGetDeviceBlock(void* block32);                                // 402
int WINAPI DevIoGetCipherBlock(uint32_t index, void* block80);                // 200

}  // extern "C"
