#include "ui/error_messages.h"

#include "exports/error_state.h"
#include "resources/resource.h"

namespace oper {

// Out of memory (21) has no entry of its own: it reads "Unknown error".
const ErrorMessage ErrorMessageTable[kErrorMessageCount] = {
    {kOk, IDS_SUCCESS},
    {kErrGetAttributes, IDS_ERR_GET_ATTRIBUTES},
    {kErrOpenFile, IDS_ERR_OPEN_FILE},
    {kErrReadWrite, IDS_ERR_READ_WRITE},
    {kErrInvalidParameter, IDS_ERR_INVALID_PARAM},
    {kErrReadOnly, IDS_ERR_READ_ONLY},
    {kErrInvalidPath, IDS_ERR_INVALID_PATH},
    {kErrFreeSpace, IDS_ERR_FREE_SPACE},
    {kErrTempFolder, IDS_ERR_TEMP_FOLDER},
    {kErrTempFile, IDS_ERR_TEMP_FILE},
    {kErrEncryptInfo, IDS_ERR_ENCRYPT_INFO},
    {kErrDeleteFile, IDS_ERR_DELETE_FILE},
    {kErrPathTooLong, IDS_ERR_PATH_TOO_LONG},
    {kErrDiskFull, IDS_ERR_DISK_FULL},
    {kErrNotEncrypted, IDS_ERR_NOT_ENCRYPTED},
    {kErrSystemObject, IDS_ERR_SYSTEM_OBJECT},
    {kErrFolderAccess, IDS_ERR_ACCESS_DENIED},
    {kErrRenameTemp, IDS_ERR_RENAME_TEMP},
    {kErrCompressed, IDS_ERR_COMPRESSED},
    {kErrFsEncrypted, IDS_ERR_FS_ENCRYPTED},
    {kErrSystemCritical, IDS_ERR_SYSTEM_CRITICAL},
    {kRebootRequired, IDS_REBOOT_REQUIRED},
};

uint32_t MessageIdForError(int32_t code) {
    for (const ErrorMessage& entry : ErrorMessageTable) {
        if (entry.code == static_cast<uint32_t>(code)) return entry.stringId;
    }
    return IDS_ERR_UNKNOWN;
}

}  // namespace oper
