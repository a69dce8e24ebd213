#pragma once
// Files the library keeps for the user below the user's application-data
// folder, in the product's own folder there.
#include <windows.h>

namespace oper {

// The full path of the product's file `name` (as the product's run-time
// library turns it into a relative path), in a buffer of MAX_PATH
// characters; false when it cannot be had.
bool UserDataPath(const wchar_t* name, wchar_t* path);

}  // namespace oper
