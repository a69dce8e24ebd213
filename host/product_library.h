#pragma once
// A product library beside docman.exe, as the host machine provides it.
#include <windows.h>

#include <string>

namespace docman {

class ProductLibrary {
public:
    explicit ProductLibrary(const wchar_t* name) {
        wchar_t exe[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring path(exe, n);
        path = path.substr(0, path.find_last_of(L'\\') + 1) + name;
        module_ = LoadLibraryW(path.c_str());
    }
    ~ProductLibrary() {
        if (module_) FreeLibrary(module_);
    }
    ProductLibrary(const ProductLibrary&) = delete;
    ProductLibrary& operator=(const ProductLibrary&) = delete;

    template <typename Fn>
    Fn Get(const char* nameOrOrdinal) const {
        return module_ ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, nameOrOrdinal))) : nullptr;
    }

private:
    HMODULE module_ = nullptr;
};

}  // namespace docman
