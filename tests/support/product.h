#pragma once
// What the tests need of the product around the library: the driver
// library's marks (read through the stand-in, as the host machine's library
// would answer) and the user's options in the registry.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/filter_model.h"

namespace testing_support {

// Writes the user's option values under a test key and loads them into the
// library; the key is removed again when the object goes out of scope.
class TestOptions {
public:
    TestOptions();
    ~TestOptions();
    TestOptions(const TestOptions&) = delete;
    TestOptions& operator=(const TestOptions&) = delete;

    void Set(const wchar_t* name, uint32_t value);
    void Load() const;  // LoadOperOptions on the test key

private:
    std::wstring key_;
};

// Every file and folder name directly in folder.
std::vector<std::wstring> ListFolder(const std::wstring& folder);

}  // namespace testing_support
