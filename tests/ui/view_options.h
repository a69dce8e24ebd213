#pragma once
// The progress dialog's view options in the user's registry, set for one test
// and removed again afterwards.
#include <windows.h>

#include <shlwapi.h>

#include <cstdint>

#include "standins/tzrtl/tzrtl.h"

namespace ui_test {

class ViewOptionsKey {
public:
    ViewOptionsKey() {
        TzRtl_MakeVendorKeyA("TzVozAdu\\Option", key_);
        SHDeleteKeyA(HKEY_CURRENT_USER, key_);
    }
    ~ViewOptionsKey() { SHDeleteKeyA(HKEY_CURRENT_USER, key_); }
    ViewOptionsKey(const ViewOptionsKey&) = delete;
    ViewOptionsKey& operator=(const ViewOptionsKey&) = delete;

    void Set(const char* name, uint32_t value) const {
        SHSetValueA(HKEY_CURRENT_USER, key_, name, REG_DWORD, &value, sizeof value);
    }

private:
    char key_[MAX_PATH] = "";
};

}  // namespace ui_test
