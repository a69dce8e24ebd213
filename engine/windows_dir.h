#pragma once
// The system's own folder, which an encryption leaves alone.
namespace oper {

// True when path is the Windows directory or lies below it (compared in the
// long form of the path, ignoring case): C:\Windows and C:\Windows\System32
// are inside, C:\WindowsApps is not.
bool IsUnderWindowsDirectory(const wchar_t* path);

}  // namespace oper
