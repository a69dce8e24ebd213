#pragma once
// What the TzDevIo stand-in offers beyond the driver's library, by name: a
// look at the mark a path carries and at the store that holds the marks.
// Tests and docman use these; fileoper.dll never does.
#include <windows.h>

#include <stdint.h>

#include "fileoper.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when path carries a mark: info receives the descriptor the mark was set
   from and isFolder whether the marked object is a folder. 0 otherwise. */
int WINAPI TzDevIoReadMarkW(const wchar_t* path, ENCRYPT_INFO* info, uint32_t* isFolder);

/* The store folder in use, in out (capacity characters); its length, or 0
   when it does not fit. */
uint32_t WINAPI TzDevIoStorePathW(wchar_t* out, uint32_t capacity);

#ifdef __cplusplus
}
#endif

/* The cipher block the stand-in writes: the table index it was made for,
   then the cipher's name. */
#define TZDEVIO_CIPHER_BLOCK_INDEX_OFFSET 0
#define TZDEVIO_CIPHER_BLOCK_NAME_OFFSET 8
