#pragma once
// The module whose resources (strings, dialog templates) the library uses:
// always its own, never the host's executable.
#include <windows.h>

namespace fw {

void SetResourceModule(HINSTANCE module);
HINSTANCE ResourceModule();

}  // namespace fw
