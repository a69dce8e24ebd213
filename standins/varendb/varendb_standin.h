#pragma once
// What the Varendb stand-in offers beyond the product's library, by name: a
// look at the records it kept. Tests and docman use these; fileoper.dll never
// does.
#include <windows.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VARENDB_RECORD_ADDED 1
#define VARENDB_RECORD_DELETED 2

/* One entry: what was done (added or deleted), the 0/1 value of an add,
   when (a FILETIME value, UTC) and the path as the caller passed it. Return
   0 to stop. */
typedef int(WINAPI* VarendbVisitor)(void* context, uint32_t operation, uint32_t value, uint64_t time,
                                    const wchar_t* path);

/* history non-zero: visits every add and delete, oldest first. history 0:
   visits the records that stand now (each path's latest add, unless a
   delete followed it; paths compared without regard to case), in the order
   of those adds. 0 when the store cannot be read. */
int WINAPI VarendbReadW(uint32_t history, VarendbVisitor visit, void* context);

/* The file in use, in out (capacity characters); its length, or 0 when it
   does not fit. */
uint32_t WINAPI VarendbPathW(wchar_t* out, uint32_t capacity);

#ifdef __cplusplus
}
#endif
