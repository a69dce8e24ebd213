#pragma once
// fileoper.dll: long-running file operations of the Document Manager.
//
// Link against fileoper.lib (the import library); every function below except
// ShowOperationStatus is exported by ordinal only, given beside it. Each file
// function returns 1 on success, 0 on failure, and leaves a code in the module
// error state that GetOperErrorCode returns (FILEOPER_ERR_* below).
#include <windows.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef FILEOPER_API
#define FILEOPER_API __declspec(dllimport)
#endif

/* Module error codes. 0 and FILEOPER_REBOOT_REQUIRED count as success. */
#define FILEOPER_OK                     0u
#define FILEOPER_ERR_GET_ATTRIBUTES     1u
#define FILEOPER_ERR_OPEN_FILE          2u
#define FILEOPER_ERR_READ_WRITE         3u
#define FILEOPER_ERR_INVALID_PARAMETER  4u
#define FILEOPER_ERR_READ_ONLY          5u
#define FILEOPER_ERR_INVALID_PATH       6u
#define FILEOPER_ERR_FREE_SPACE         7u
#define FILEOPER_ERR_TEMP_FOLDER        8u
#define FILEOPER_ERR_TEMP_FILE          9u
#define FILEOPER_ERR_ENCRYPT_INFO       10u
#define FILEOPER_ERR_DELETE_FILE        11u
#define FILEOPER_ERR_PATH_TOO_LONG      12u
#define FILEOPER_ERR_DISK_FULL          13u
#define FILEOPER_ERR_NOT_ENCRYPTED      14u
#define FILEOPER_ERR_SYSTEM_OBJECT      15u
#define FILEOPER_ERR_FOLDER_ACCESS      16u
#define FILEOPER_ERR_RENAME_TEMP        17u
#define FILEOPER_ERR_COMPRESSED         18u
#define FILEOPER_ERR_FS_ENCRYPTED       19u
#define FILEOPER_ERR_SYSTEM_CRITICAL    20u
#define FILEOPER_ERR_OUT_OF_MEMORY      21u
#define FILEOPER_REBOOT_REQUIRED        0x80000001u

/* Ordinal 2: the code left by the last file function. */
FILEOPER_API uint32_t WINAPI GetOperErrorCode(void);

/* Ordinals 100 / 200: 1 if the file could be created (an existing file is
   truncated to zero length), else 0. Do not set the error code themselves. */
FILEOPER_API BOOL WINAPI TestCreateFileA(const char* path);
FILEOPER_API BOOL WINAPI TestCreateFileW(const wchar_t* path);

#ifdef __cplusplus
}
#endif
