#include <windows.h>

#include "framework/module.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        fw::SetResourceModule(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
