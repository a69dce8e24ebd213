/* The smallest host of ShowOperationStatus: encrypts one folder in place,
   asking the user on errors, and reports the outcome.
   Build: link fileoper.lib; run: host_example C:\path\to\folder */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "fileoper.h"

/* The request is one block: the header, then the destination folder, the
   source root and the item list, each at an offset counted from pathArea. */
static OperationRequest* BuildRequest(const wchar_t* folder) {
    const wchar_t* lastSlash = wcsrchr(folder, L'\\');
    const size_t rootLength = lastSlash ? (size_t)(lastSlash - folder) : 0;
    const size_t itemLength = wcslen(folder);
    /* destination "" + root + item + the empty string that ends the list */
    const size_t chars = 1 + (rootLength + 1) + (itemLength + 1) + 1;
    OperationRequest* request = (OperationRequest*)calloc(1, sizeof(OperationRequest) + chars * sizeof(wchar_t));
    if (!request) return NULL;
    wchar_t* strings = (wchar_t*)(request + 1);
    const uint32_t base = (uint32_t)(sizeof(OperationRequest) - offsetof(OperationRequest, pathArea));

    request->kind = 0; /* encrypt */
    request->flags = FILEOPER_FLAG_ASK_ON_ERRORS;
    if (!BuildEncryptInfoW(NULL, &request->encryptInfo)) {
        free(request);
        return NULL;
    }
    request->destinationOffset = base; /* no destination: in place */
    request->sourceRootOffset = base + sizeof(wchar_t);
    wcsncpy(strings + 1, folder, rootLength);
    request->itemListOffset = request->sourceRootOffset + (uint32_t)((rootLength + 1) * sizeof(wchar_t));
    wcscpy(strings + 1 + rootLength + 1, folder);
    request->itemCount = 1;
    return request;
}

int wmain(int argc, wchar_t** argv) {
    uint64_t results[FILEOPER_RESULT_SLOTS];
    OperationRequest* request;
    uint32_t returned;
    if (argc != 2) {
        fputws(L"usage: host_example FOLDER\n", stderr);
        return 2;
    }
    request = BuildRequest(argv[1]);
    if (!request) {
        fputws(L"no encryption descriptor: the driver's library offers no cipher\n", stderr);
        return 1;
    }
    returned = ShowOperationStatus(request, results);
    wprintf(L"items %u of %u, errors %u, %ls\n", (unsigned)(results[2] >> 32), (unsigned)results[2],
            (unsigned)(results[6] >> 32), returned == FILEOPER_REBOOT_REQUIRED ? L"restart required" : L"done");
    free(request);
    return (results[6] >> 32) == 0 ? 0 : 1;
}
