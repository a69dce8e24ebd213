#pragma once
// The encryption descriptor, built from the driver's cipher table and the
// DefaultCipher option, and the removal of a folder's encryption mark.
#include <windows.h>

#include <cstdint>

#include "fileoper.h"

namespace oper {

// Fills all 180 bytes of out from the first selectable cipher; 0 (out
// untouched) when the driver lists none.
BOOL BuildEncryptInfo(uint32_t flags, ENCRYPT_INFO* out);

}  // namespace oper
