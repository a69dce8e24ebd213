// TzRtl stand-in: the vendor's registry key and folder in front of a
// product-relative name, and a per-thread setting word.
#include "tzrtl.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr char kVendorKey[] = "Software\\TzVendor\\";
constexpr wchar_t kVendorFolder[] = L"TzVendor\\";

thread_local uint32_t t_setting = 0;

}  // namespace

extern "C" uint32_t WINAPI TzRtl_GetThreadSetting() { return t_setting; }

extern "C" uint32_t WINAPI TzRtl_SetThreadSetting(uint32_t setting) {
    const uint32_t previous = t_setting;
    t_setting = setting;
    return previous;
}

extern "C" int WINAPI TzRtl_MakeVendorKeyA(const char* name, char* out) {
    if (!name || !out || strlen(kVendorKey) + strlen(name) >= MAX_PATH) return 0;
    strcpy(out, kVendorKey);
    strcat(out, name);
    return 1;
}

extern "C" int WINAPI TzRtl_MakeVendorPathW(const wchar_t* name, wchar_t* out, int) {
    if (!name || !out || wcslen(kVendorFolder) + wcslen(name) >= MAX_PATH) return 0;
    wcscpy(out, kVendorFolder);
    wcscat(out, name);
    return 1;
}
