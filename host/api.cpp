#include "host/api.h"

namespace docman {

Api::~Api() {
    if (module_) FreeLibrary(module_);
}

bool Api::Load(std::wstring& error) {
    wchar_t exePath[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        error = L"cannot locate docman.exe";
        return false;
    }
    std::wstring dll(exePath, n);
    dll.erase(dll.find_last_of(L"\\/") + 1);
    dll += L"fileoper.dll";
    module_ = LoadLibraryW(dll.c_str());
    if (!module_) {
        error = L"cannot load " + dll + L" (system error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    return true;
}

uint32_t Api::ErrorCode() const {
    auto getOperErrorCode = Ordinal<uint32_t(WINAPI*)()>(2);
    return getOperErrorCode ? getOperErrorCode() : 0;
}

}  // namespace docman
