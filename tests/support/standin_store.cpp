#include "tests/support/standin_store.h"

#include <windows.h>

#include <sstream>

namespace testing_support {

constexpr wchar_t kStoreVariable[] = L"TZDEVIO_STORE";

StandinStore::StandinStore() {
    wchar_t previous[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(kStoreVariable, previous, MAX_PATH);
    hadPrevious_ = n > 0 && n < MAX_PATH;
    if (hadPrevious_) previous_.assign(previous, n);
    SetEnvironmentVariableW(kStoreVariable, dir_.path().c_str());
}

StandinStore::~StandinStore() {
    SetEnvironmentVariableW(kStoreVariable, hadPrevious_ ? previous_.c_str() : nullptr);
}

void StandinStore::SetSwitch(const std::wstring& name, const std::string& text) { WriteFileBytes(dir_ / name, text); }

void StandinStore::RemoveSwitch(const std::wstring& name) { DeleteFileW((dir_ / name).c_str()); }

void StandinStore::RecordCalls() { WriteFileBytes(dir_ / L"calls.log", ""); }

std::vector<std::pair<std::string, std::wstring>> StandinStore::Calls() const {
    std::vector<std::pair<std::string, std::wstring>> calls;
    std::istringstream in(ReadFileBytes(dir_ / L"calls.log"));
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) calls.emplace_back(line.substr(0, tab), Widen(line.substr(tab + 1), CP_UTF8));
    }
    return calls;
}

}  // namespace testing_support
