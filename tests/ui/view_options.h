#pragma once
// The progress dialog's view options in the user's registry, set for one test
// and removed again afterwards.
#include <windows.h>

#include <cstdint>
#include <string>

namespace ui_test {

class ViewOptionsKey {
public:
    ViewOptionsKey();
    ~ViewOptionsKey();
    ViewOptionsKey(const ViewOptionsKey&) = delete;
    ViewOptionsKey& operator=(const ViewOptionsKey&) = delete;

    void Set(const char* name, uint32_t value) const;
    // -1 when the value is absent.
    int64_t Get(const char* name) const;

private:
    std::string key_;
};

}  // namespace ui_test
