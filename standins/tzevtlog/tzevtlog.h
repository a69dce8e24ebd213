#pragma once
// TzEvtLog, the product's event log library.
#include <windows.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Adds an entry with this id. data is a NUL-terminated UTF-16 path (ids 15
   and 16), or a 36-byte WIN32_FILE_ATTRIBUTE_DATA block followed by the
   path (ids 20 and 21). Non-zero when the entry was kept. */
int WINAPI Event_Add(uint32_t id, const void* data);

#ifdef __cplusplus
}
#endif
