#pragma once
// The guard against encrypting what the machine needs to start: boot files
// and the system drive's root. The folder-marking exports carry the root part.
namespace oper {

// 1 when path names a system critical file: a boot file in the root of a
// drive, or a named stream of any file. Sets no error code.
int IsBootFileA(const char* path);
int IsBootFileW(const wchar_t* path);

}  // namespace oper
