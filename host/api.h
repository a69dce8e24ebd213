#pragma once
// fileoper.dll as a host sees it: loaded at run time, exports bound by ordinal.
#include <windows.h>

#include <cstdint>
#include <string>

namespace docman {

class Api {
public:
    Api() = default;
    ~Api();
    Api(const Api&) = delete;
    Api& operator=(const Api&) = delete;

    // Loads fileoper.dll from the folder of docman.exe.
    bool Load(std::wstring& error);

    // The export at ordinal, or null when the library lacks it.
    template <typename Fn>
    Fn Ordinal(WORD ordinal) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal))));
    }

    uint32_t ErrorCode() const;

    // The loaded library: its string table holds the messages of the codes.
    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;
};

}  // namespace docman
