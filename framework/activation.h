#pragma once
// The library's dialogs ask for Common Controls 6 through the manifest in its
// own resources. The loader activates a manifest for an executable, never for
// a DLL, so whoever creates a dialog from the library's templates holds a
// ModuleActivation for the length of the dialog.
#include <windows.h>

namespace fw {

class ModuleActivation {
public:
    // Builds the activation context from the module's manifest resource
    // (ISOLATIONAWARE_MANIFEST_RESOURCE_ID) and activates it on this thread.
    explicit ModuleActivation(HMODULE module);
    ~ModuleActivation();
    ModuleActivation(const ModuleActivation&) = delete;
    ModuleActivation& operator=(const ModuleActivation&) = delete;

    // False when the context could not be built or activated: dialogs then
    // get the system's default controls, which still work.
    bool active() const { return cookie_ != 0; }

private:
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
};

}  // namespace fw
