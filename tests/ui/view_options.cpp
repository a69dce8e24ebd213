#include "tests/ui/view_options.h"

#include <shlwapi.h>

#include "standins/tzrtl/tzrtl.h"

namespace ui_test {

ViewOptionsKey::ViewOptionsKey() {
    char key[MAX_PATH] = "";
    TzRtl_MakeVendorKeyA("TzVozAdu\\Option", key);
    key_ = key;
    SHDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
}

ViewOptionsKey::~ViewOptionsKey() { SHDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }

void ViewOptionsKey::Set(const char* name, uint32_t value) const {
    SHSetValueA(HKEY_CURRENT_USER, key_.c_str(), name, REG_DWORD, &value, sizeof value);
}

int64_t ViewOptionsKey::Get(const char* name) const {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (SHGetValueA(HKEY_CURRENT_USER, key_.c_str(), name, nullptr, &value, &size) != ERROR_SUCCESS) return -1;
    return value;
}

}  // namespace ui_test
