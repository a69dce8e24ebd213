#pragma once
// A model of the encryption filter at a module's imports, for the life of the
// object: bytes written to a marked file are scrambled on their way to disk,
// bytes read from one unscrambled, and files created in a marked folder start
// marked. What it sees and what it cannot: tests/README.md.
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
inline std::string Stored(const std::string& plain, bool marked) { return marked ? Scramble(plain) : plain; }

// A file's bytes as the filter hands them out.
std::string PlainView(const std::wstring& path);

class FilterModel {
public:
    // The executable itself for suites that link the library's objects.
    explicit FilterModel(HMODULE module = GetModuleHandleW(L"fileoper.dll"));
    ~FilterModel();
    FilterModel(const FilterModel&) = delete;
    FilterModel& operator=(const FilterModel&) = delete;

private:
    struct Patches;
    std::unique_ptr<Patches> patches_;
};

}  // namespace testing_support
