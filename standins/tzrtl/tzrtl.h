#pragma once
// TzRtl, the product's run-time library, imported by ordinal.
#include <windows.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinal 1100: the calling thread's setting word (0 on a new thread). */
uint32_t WINAPI TzRtl_GetThreadSetting(void);
/* Ordinal 1200: sets the calling thread's setting word; returns the previous one. */
uint32_t WINAPI TzRtl_SetThreadSetting(uint32_t setting);
/* Ordinal 1120: the registry sub-key below HKEY_CURRENT_USER for a
   product-relative name, into out (MAX_PATH characters). 1, or 0 when it
   does not fit. */
int WINAPI TzRtl_MakeVendorKeyA(const char* name, char* out);
/* Ordinal 1121: the relative path for a product-relative path, into out
   (MAX_PATH characters); reserved is 0. 1, or 0 when it does not fit. */
int WINAPI TzRtl_MakeVendorPathW(const wchar_t* name, wchar_t* out, int reserved);

#ifdef __cplusplus
}
#endif
