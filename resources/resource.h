#pragma once
// Ids of the library's resources, shared by the resource script and the code.
// Plain #defines only: the resource compiler reads this file too.

// Strings.
#define IDS_RESUME               1009
#define IDS_PAUSE                1010
#define IDS_FINISHED             1011
#define IDS_PAUSED               1013
#define IDS_ENCRYPTING           1014
#define IDS_DECRYPTING           1015
#define IDS_CONFIRM_EXIT         1016
#define IDS_CANCELED             1017
#define IDS_STATUS               1018
#define IDS_ERROR                1019
#define IDS_DESTINATION          1020
#define IDS_SUCCESS              1021
#define IDS_ERR_GET_ATTRIBUTES   1022
#define IDS_ERR_OPEN_FILE        1023
#define IDS_ERR_READ_WRITE       1024
#define IDS_ERR_INVALID_PARAM    1025
#define IDS_ERR_READ_ONLY        1026
#define IDS_ERR_INVALID_PATH     1027
#define IDS_ERR_FREE_SPACE       1028
#define IDS_ERR_TEMP_FOLDER      1029
#define IDS_ERR_TEMP_FILE        1030
#define IDS_ERR_ENCRYPT_INFO     1031
#define IDS_ERR_DELETE_FILE      1032
#define IDS_ERR_PATH_TOO_LONG    1033
#define IDS_ASK_ENCRYPT_FAILED   1034
#define IDS_ASK_DECRYPT_FAILED   1035
#define IDS_ERR_DISK_FULL        1036
#define IDS_ERR_NOT_ENCRYPTED    1037
#define IDS_ERR_UNKNOWN          1038
#define IDS_CLOSE                1039
#define IDS_REBOOT_REQUIRED      1040
#define IDS_APP_TITLE            57344
#define IDS_ERR_SYSTEM_OBJECT    57345
#define IDS_SAME_FOLDER          57346
#define IDS_DEST_INSIDE_SOURCE   57347
#define IDS_ERR_ACCESS_DENIED    57348
#define IDS_ERR_RENAME_TEMP      57349
#define IDS_ERR_COMPRESSED       57350
#define IDS_ERR_FS_ENCRYPTED     57351
#define IDS_ERR_SYSTEM_CRITICAL  57352
#define IDS_HIDE_DETAIL          57353
#define IDS_SHOW_DETAIL          57354
#define IDS_REPLACE_FILE         57355
#define IDS_REPLACE_FOLDER       57356
#define IDS_UNDO_ENCRYPTED       57357

// Dialog templates.
#define IDD_PROGRESS             1000
#define IDD_ERROR_CHOICE         1001
#define IDD_REPLACE_CONFIRM      1010

// Progress dialog controls (IDCANCEL, 2, is its Cancel button).
#define IDC_PAUSE                1000
#define IDC_DETAIL               1002
#define IDC_OPERATION            1003
#define IDC_ITEM                 1004
#define IDC_ITEM_PROGRESS        1005
#define IDC_TOTAL_PROGRESS       1006
#define IDC_ELAPSED              1010
#define IDC_LEFT_TIME            1011
#define IDC_ITEM_COUNT           1012
#define IDC_ERROR_COUNT          1013
#define IDC_STATUS_LIST          1031
#define IDC_ERROR_LIST           1032
#define IDC_LIST_TABS            1033

// Error choice dialog controls.
#define IDC_ERROR_MESSAGE        1017
#define IDC_RETRY                1025
#define IDC_CONTINUE             1026
#define IDC_STOP                 1027
#define IDC_UNDO                 1028
#define IDC_SKIP_ALL             1029

// Replace confirmation dialog controls (IDCANCEL, 2, is its Cancel button).
#define IDC_REPLACE_YES_ALL      1035
#define IDC_REPLACE_MESSAGE      1037
#define IDC_REPLACE_NO           1038
#define IDC_REPLACE_YES          1039

// Statics the code never addresses.
#ifndef IDC_STATIC
#define IDC_STATIC               (-1)
#endif
