#pragma once
// Carries a file's whole security (owner, group, DACL, SACL) over to another
// file. Best effort: the copies never look at the result.
#include <windows.h>

namespace oper {

// 1 when the token adjustment succeeded (also when the account lacks the
// privilege: that is not examined). The privilege stays enabled.
BOOL EnableSecurityPrivilege();

// 1 when the source could be opened to read its security, else 0. A refused
// apply on the destination still gives 1. The destination path is passed as
// given, never in its long form.
BOOL CopyFileSecurityW(const wchar_t* source, const wchar_t* destination);
BOOL CopyFileSecurityA(const char* source, const char* destination);

}  // namespace oper
