#include "tests/support/product.h"

#include <vector>

#include "fileoper.h"

namespace testing_support {

TestOptions::TestOptions() : key_(L"Software\\FileoperTests\\Option") { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

// A value found nowhere keeps the loaded one, so the defaults are loaded
// explicitly before the key goes.
TestOptions::~TestOptions() {
    Set(L"EnableReadOnly", 1);
    Set(L"EnableSystem", 1);
    Set(L"RenameBeforeDelete", 0);
    Set(L"DecryptAfterReboot", 0);
    Load();
    RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
}

void TestOptions::Set(const wchar_t* name, uint32_t value) {
    const DWORD v = value;
    RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name, REG_DWORD, &v, sizeof v);
}

void TestOptions::Load() const {
    std::string narrow(key_.begin(), key_.end());
    LoadOperOptions(narrow.c_str());
}

std::vector<std::wstring> ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

}  // namespace testing_support
