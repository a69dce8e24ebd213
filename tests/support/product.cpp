#include "tests/support/product.h"

#include "fileoper.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

TestOptions::TestOptions() { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

// A value found nowhere keeps the loaded one, so the defaults are loaded
// explicitly before the key goes.
TestOptions::~TestOptions() {
    for (const wchar_t* name : {L"EnableReadOnly", L"EnableSystem"}) Set(name, 1);
    for (const wchar_t* name : {L"RenameBeforeDelete", L"DecryptAfterReboot"}) Set(name, 0);
    Load();
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
}

void TestOptions::Set(const wchar_t* name, uint32_t value) {
    const DWORD v = value;
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, name, REG_DWORD, &v, sizeof v);
}

int TestOptions::Load() const { return LoadOperOptions(Narrow(kKey).c_str()); }

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

std::vector<std::wstring> TempFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const std::wstring& name : ListFolder(folder))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, L".tmp") == 0) found.push_back(name);
    return found;
}

}  // namespace testing_support
