#pragma once
// What the tests need of the product around the library: the user's options
// in the registry, the library's files in a folder, and the driver library's
// marks (filter_model.h).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/filter_model.h"

namespace testing_support {

// The folder at a volume's root where the library keeps what only a restart
// can finish.
constexpr wchar_t kRescueName[] = L"7a3e5c19-4b2d-4e8f-9c61-2d5b8a0f3e47";

// Writes the user's option values under a test key and loads them into the
// library; the defaults are loaded again and the key removed when the object
// goes out of scope.
class TestOptions {
public:
    static constexpr wchar_t kKey[] = L"Software\\FileoperTests\\Option";
    TestOptions();
    ~TestOptions();
    TestOptions(const TestOptions&) = delete;
    TestOptions& operator=(const TestOptions&) = delete;

    void Set(const wchar_t* name, uint32_t value);
    int Load() const;  // LoadOperOptions on the test key
};

// Every file and folder name directly in folder.
std::vector<std::wstring> ListFolder(const std::wstring& folder);
// The names of the library's temporary files (".tmp") directly in folder.
std::vector<std::wstring> TempFilesIn(const std::wstring& folder);

}  // namespace testing_support
