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
/* Returned by ShowOperationStatus only, never left as the module error: a
   run was already on in this process, and this call ran nothing. */
#define FILEOPER_ERR_RUN_IN_PROGRESS    22u

/* The encryption descriptor handed to the encrypt functions and, through
   them, to the driver's library. Laid out byte for byte; build it with
   BuildEncryptInfoA/W. */
#define ENCRYPT_INFO_SIZE    180u
#define ENCRYPT_INFO_FOLDER  16u  /* flags: the object is a folder */

typedef struct ENCRYPT_INFO {
    uint32_t size;            /* offset 0: always ENCRYPT_INFO_SIZE */
    uint8_t reserved1[16];    /* 4 */
    uint32_t flags;           /* 20: ENCRYPT_INFO_FOLDER or 0 */
    uint32_t reserved2;       /* 24 */
    uint32_t cipherId;        /* 28: the DefaultCipher option at build time */
    uint32_t reserved3;       /* 32 */
    uint8_t cipherBlock[80];  /* 36: the driver's, opaque */
    uint8_t deviceBlock[32];  /* 116: the driver's, opaque */
    char cipherName[32];      /* 148: NUL-terminated */
} ENCRYPT_INFO;


/* The request of ShowOperationStatus: this header, followed in the same
   block by the destination folder, the source root and the item list (UTF-16,
   NUL-terminated; items one after the other), each at its offset counted
   from pathArea. */
typedef struct OperationRequest {
    uint32_t unused;             /* never read */
    uint32_t kind;               /* 0 encrypt, 1 decrypt */
    uint32_t flags;              /* FILEOPER_FLAG_* */
    ENCRYPT_INFO encryptInfo;
    uint32_t pathArea;           /* never read: the offsets count from here */
    uint32_t destinationOffset;
    uint32_t sourceRootOffset;
    uint32_t itemListOffset;
    int32_t itemCount;
} OperationRequest;

/* Flags of OperationRequest.flags. */
#define FILEOPER_FLAG_MOVE               0x1u     /* delete each source once it is done */
#define FILEOPER_FLAG_TO_DESTINATION     0x2u     /* write results below the destination folder */
#define FILEOPER_FLAG_WIPE               0x4u     /* overwrite plain sources with zeros, then delete */
#define FILEOPER_FLAG_RECORD_ARGUMENT    0x8u     /* passed on to the record database */
#define FILEOPER_FLAG_CLOSE_AT_END       0x10u    /* close the dialog even when errors were listed */
#define FILEOPER_FLAG_SKIP_ENCRYPTED     0x20u    /* leave files that are already encrypted alone */
#define FILEOPER_FLAG_NO_DESCENT         0x40u    /* a folder item is handled by itself only */
#define FILEOPER_FLAG_ASK_ON_ERRORS      0x100u   /* ask the user on each failure */
#define FILEOPER_FLAG_PRESET_CHOICE_MASK 0xFF00u  /* without ASK_ON_ERRORS: the preset FILEOPER_CHOICE_* */
#define FILEOPER_FLAG_DECRYPT_AFTER_REBOOT 0x10000u /* defer decrypting files in use to the next restart */

/* Error choices: the answers of the error choice dialog, and the preset
   answer of a request (flags & FILEOPER_FLAG_PRESET_CHOICE_MASK). */
#define FILEOPER_CHOICE_CONTINUE 0x200u
#define FILEOPER_CHOICE_STOP     0x400u
#define FILEOPER_CHOICE_UNDO     0x800u
#define FILEOPER_CHOICE_RETRY    0x1000u

/* Run-state word values; the file transforms stop when it reads CANCEL. */
#define FILEOPER_STATE_RUNNING  256u
#define FILEOPER_STATE_PAUSED   512u
#define FILEOPER_STATE_FINISHED 768u
#define FILEOPER_STATE_CANCEL   1024u

/* Ordinal 1, and by name: runs the request behind the modal progress dialog
   and returns when the dialog has closed: FILEOPER_REBOOT_REQUIRED when a
   decryption was deferred to the next restart, else 0 (a null request runs
   nothing and returns FILEOPER_ERR_INVALID_PARAMETER). The request must stay
   unchanged until then. results (may be null) receives nine slots:
     0 total bytes (rounded to 8 KiB per file)   1 completed bytes
     2 low: file total, high: files done         3 low: reverse flag, high: item percent
     4 current item size                         5 the request's address
     6 low: run state, high: error count         7 low: last error choice, high: apply-to-all
     8 reserved, 0
   One run at a time per process: a call made while a run is on (from another
   thread, or re-entered from the dialog's message loop) runs nothing, leaves
   that run alone and returns FILEOPER_ERR_RUN_IN_PROGRESS at once; its
   results then show 0 of its items reached and run state 0. */
#define FILEOPER_RESULT_SLOTS 9
FILEOPER_API uint32_t WINAPI ShowOperationStatus(const OperationRequest* request, uint64_t* results);

/* Ordinal 2: the code left by the last file function. */
FILEOPER_API uint32_t WINAPI GetOperErrorCode(void);

/* Ordinals 100 / 200: 1 if the file could be created (an existing file is
   truncated to zero length), else 0. Do not set the error code themselves. */
FILEOPER_API BOOL WINAPI TestCreateFileA(const char* path);
FILEOPER_API BOOL WINAPI TestCreateFileW(const wchar_t* path);

/* Ordinal 3: reads the user's options under HKEY_CURRENT_USER\keyPath (falling
   back to HKEY_USERS\.Default\keyPath) and the machine's DefaultCipher, and
   clears the reboot-required flag. Always 1. */
FILEOPER_API int WINAPI LoadOperOptions(const char* keyPath);
/* Ordinal 4: 1 if a decrypted file waits for the next restart, else 0. */
FILEOPER_API uint32_t WINAPI IsRebootRequired(void);
/* Ordinal 5: mask 1 sets DecryptAfterReboot from values bit 1, mask 2 sets
   RenameBeforeDelete from values bit 2. Always 1. */
FILEOPER_API int WINAPI SetOperOptions(uint32_t mask, uint32_t values);

/* Ordinals 110 / 210: mark a folder (a drive root included) as encrypted.
   Refuse boot roots with FILEOPER_ERR_SYSTEM_CRITICAL. */
FILEOPER_API BOOL WINAPI EncryptFolderA(const char* folder, ENCRYPT_INFO* info);
FILEOPER_API BOOL WINAPI EncryptFolderW(const wchar_t* folder, ENCRYPT_INFO* info);
/* Ordinals 111 / 211: remove a folder's encryption mark. */
FILEOPER_API BOOL WINAPI DecryptFolderA(const char* folder);
FILEOPER_API BOOL WINAPI DecryptFolderW(const wchar_t* folder);
/* Ordinals 120 / 220: build a descriptor for path (may be null: a file) from
   the driver's first selectable cipher. 1 when built; the error code is not
   touched. */
FILEOPER_API BOOL WINAPI BuildEncryptInfoA(const char* path, ENCRYPT_INFO* info);
FILEOPER_API BOOL WINAPI BuildEncryptInfoW(const wchar_t* path, ENCRYPT_INFO* info);

/* Ordinals 101 / 201: copies source to destination in 64 KiB chunks,
   writing 0..100 to *percent (may be null) after each chunk and stopping when
   *state reads FILEOPER_STATE_CANCEL; the destination then keeps the bytes
   copied so far and the call still succeeds. The destination receives the
   source's times, security and attributes. */
FILEOPER_API BOOL WINAPI CopyFileWithProgressA(const char* source, const char* destination, uint32_t* state,
                                               uint32_t* percent);
FILEOPER_API BOOL WINAPI CopyFileWithProgressW(const wchar_t* source, const wchar_t* destination,
                                               uint32_t* state, uint32_t* percent);

/* Ordinals 102 / 202: encrypts a file in place through a temporary file; the
   plain file is replaced only once the complete encrypted copy exists.
   Cancel (state) leaves the file unchanged and still succeeds. */
FILEOPER_API BOOL WINAPI EncryptFileInPlaceA(const char* path, ENCRYPT_INFO* info, uint32_t* state,
                                             uint32_t* percent);
FILEOPER_API BOOL WINAPI EncryptFileInPlaceW(const wchar_t* path, ENCRYPT_INFO* info, uint32_t* state,
                                             uint32_t* percent);

/* Ordinals 103 / 203: writes the encrypted form of source to destination;
   a null destination, or the source itself, encrypts in place. */
FILEOPER_API BOOL WINAPI EncryptFileToA(const char* source, const char* destination, ENCRYPT_INFO* info,
                                        uint32_t* state, uint32_t* percent);
FILEOPER_API BOOL WINAPI EncryptFileToW(const wchar_t* source, const wchar_t* destination, ENCRYPT_INFO* info,
                                        uint32_t* state, uint32_t* percent);

/* Ordinals 104 / 204: decrypts a file in place through a temporary file. The
   wide form may leave FILEOPER_REBOOT_REQUIRED (success) when the file was in
   use and the option DecryptAfterReboot is on. */
FILEOPER_API BOOL WINAPI DecryptFileInPlaceA(const char* path, uint32_t* state, uint32_t* percent);
FILEOPER_API BOOL WINAPI DecryptFileInPlaceW(const wchar_t* path, uint32_t* state, uint32_t* percent);

/* Ordinals 105 / 205: writes the plain form of source to destination; a null
   destination, or the source itself, decrypts in place. */
FILEOPER_API BOOL WINAPI DecryptFileToA(const char* source, const char* destination, uint32_t* state,
                                        uint32_t* percent);
FILEOPER_API BOOL WINAPI DecryptFileToW(const wchar_t* source, const wchar_t* destination, uint32_t* state,
                                        uint32_t* percent);

#ifdef __cplusplus
}

#include <cstddef>

static_assert(sizeof(ENCRYPT_INFO) == 180, "ENCRYPT_INFO crosses into the driver's library");
static_assert(offsetof(ENCRYPT_INFO, flags) == 20, "ENCRYPT_INFO layout");
static_assert(offsetof(ENCRYPT_INFO, cipherId) == 28, "ENCRYPT_INFO layout");
static_assert(offsetof(ENCRYPT_INFO, cipherBlock) == 36, "ENCRYPT_INFO layout");
static_assert(offsetof(ENCRYPT_INFO, deviceBlock) == 116, "ENCRYPT_INFO layout");
static_assert(offsetof(ENCRYPT_INFO, cipherName) == 148, "ENCRYPT_INFO layout");
static_assert(sizeof(OperationRequest) == 212, "OperationRequest header is 212 bytes");
#endif
