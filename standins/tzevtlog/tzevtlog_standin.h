#pragma once
// What the TzEvtLog stand-in offers beyond the product's library, by name: a
// look at the entries it kept. Tests and docman use these; fileoper.dll never
// does.
#include <windows.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One kept entry: its id, when it was added (a FILETIME value, UTC) and its
   data bytes exactly as passed. Return 0 to stop. */
typedef int(WINAPI* TzEvtLogVisitor)(void* context, uint32_t id, uint64_t time, const void* data, uint32_t size);

/* Visits every kept entry, oldest first; 0 when the log cannot be read. */
int WINAPI TzEvtLogReadW(TzEvtLogVisitor visit, void* context);

/* The log file in use, in out (capacity characters); its length, or 0 when
   it does not fit. */
uint32_t WINAPI TzEvtLogPathW(wchar_t* out, uint32_t capacity);

#ifdef __cplusplus
}
#endif
