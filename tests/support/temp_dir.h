#pragma once
// A fresh folder under the temporary folder, removed with its contents.
#include <windows.h>

#include <string>

namespace testing_support {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Removes a file or a whole tree; works for \\?\ paths of any length.
void RemoveTree(const std::wstring& path);

// Bytes that vary along the file, so a chunk misplaced or doubled shows.
std::string Pattern(size_t size);

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// A handle as another program holds one: `share` says what everyone else may
// do with the file meanwhile.
HANDLE OpenAsOther(const std::wstring& path, DWORD access, DWORD share);

// A path of exactly `length` characters: nested folders that exist, then a
// file name that does not.
std::wstring MakeDeepPath(const std::wstring& base, size_t length);

// wanted, or less where the Unix path Wine maps the folder to would leave no
// room for it: Unix paths end at 4095 bytes, the prefix's own folder
// included, and the library's temporary names can be longer than the file's.
size_t LongestPathIn(const std::wstring& folder, size_t wanted);

// Points TMP and TEMP (the library's and its child programs') at folder.
void SetTempFolder(const std::wstring& folder);

// Text between UTF-16 and a code page (the ANSI one unless given).
std::string Narrow(const std::wstring& text, UINT codePage = CP_ACP);
std::wstring Widen(const std::string& text, UINT codePage = CP_ACP);

// The folder of the running test program (build/bin), with its backslash.
std::wstring BinDir();

}  // namespace testing_support
