#pragma once
// A model of the encryption filter at a module's imports, for the life of the
// object: what the module writes into a file that carries a mark at that
// moment is scrambled on its way to disk, what it reads from one is
// unscrambled, and a file it creates in a marked folder starts marked. The
// driver library's stand-in is asked at every read and write, so the order of
// marks and writes decides what lands on disk, as with the real filter.
//
// It sees ReadFile and WriteFile on handles from CreateFileW/A and the files
// GetTempFileNameW/A create; bytes moved inside system DLLs pass unseen.
// Install it after any other patch of the same functions: its hooks pass on
// to what the import slots held.
#include <windows.h>

#include <memory>
#include <string>

namespace testing_support {

// Whether the driver's library reports path as carrying the encryption mark.
bool IsMarked(const std::wstring& path);

// Marks a folder through the driver's library, as a user would.
bool MarkFolder(const std::wstring& folder);

// Bytes written from the start of a marked file as they lie on disk, and
// back: the scramble is its own inverse, and it changes every byte.
std::string Scramble(std::string bytes);

// What plain bytes lie as on disk in a file marked or not.
inline std::string Stored(const std::string& plain, bool marked) { return marked ? Scramble(plain) : plain; }

// A file's bytes as the filter hands them out.
std::string PlainView(const std::wstring& path);

class FilterModel {
public:
    // The library for code that calls its exports; the executable itself for
    // suites that link the library's objects.
    explicit FilterModel(HMODULE module = GetModuleHandleW(L"fileoper.dll"));
    ~FilterModel();
    FilterModel(const FilterModel&) = delete;
    FilterModel& operator=(const FilterModel&) = delete;

private:
    struct Patches;
    std::unique_ptr<Patches> patches_;
};

}  // namespace testing_support
