#pragma once
// The progress dialog's view options in the user's registry, set for one test
// and removed again afterwards.
#include <windows.h>

#include <shlwapi.h>

#include <cstdint>
#include <string>

#include "standins/tzrtl/tzrtl.h"

namespace ui_test {

class ViewOptionsKey {
public:
    ViewOptionsKey() { SHDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
    ~ViewOptionsKey() { SHDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
    ViewOptionsKey(const ViewOptionsKey&) = delete;
    ViewOptionsKey& operator=(const ViewOptionsKey&) = delete;

    void Set(const char* name, uint32_t value) const {
        SHSetValueA(HKEY_CURRENT_USER, key_.c_str(), name, REG_DWORD, &value, sizeof value);
    }
    // -1 when the value is absent.
    int64_t Get(const char* name) const {
        DWORD value = 0, size = sizeof value;
        return SHGetValueA(HKEY_CURRENT_USER, key_.c_str(), name, nullptr, &value, &size) == ERROR_SUCCESS ? value : -1;
    }

private:
    static std::string Key() {
        char key[MAX_PATH] = "";
        TzRtl_MakeVendorKeyA("TzVozAdu\\Option", key);
        return key;
    }
    const std::string key_ = Key();
};

}  // namespace ui_test
