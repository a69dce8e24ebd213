#include "ui/error_log.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <ctime>
#include <cwchar>

#include "engine/user_data.h"
#include "operation/operation_state.h"
#include "standins/tzrtl/tzrtl.h"

namespace oper {

namespace {

constexpr uint64_t kRotationSize = 0x200000;
constexpr size_t kHeaderTimeCapacity = 128;

bool LogSwitchOn() {
    char key[MAX_PATH];
    if (!TzRtl_MakeVendorKeyA("TzVozAdu", key)) return true;
    DWORD value = 1;
    DWORD size = sizeof value;
    SHGetValueA(HKEY_CURRENT_USER, key, "ErrorLog", nullptr, &value, &size);
    return value != 0;
}

// The product's folders below the application data exist only once
// something of the product has written there: a first run makes them.
void CreateLogFolder(const wchar_t* path) {
    wchar_t folder[MAX_PATH];
    wcscpy(folder, path);
    if (PathRemoveFileSpecW(folder)) SHCreateDirectoryExW(nullptr, folder, nullptr);
}

// Keeps one older generation: a log past 2 MiB becomes "<log>.bak".
void RotateIfLarge(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size <= kRotationSize) return;
    wchar_t backup[MAX_PATH];
    if (wcslen(path) + 4 >= MAX_PATH) return;
    wcscpy(backup, path);
    wcscat(backup, L".bak");
    MoveFileExW(path, backup, MOVEFILE_REPLACE_EXISTING);
}

std::wstring HeaderLine(uint32_t kind) {
    wchar_t when[kHeaderTimeCapacity] = L"";
    const time_t now = time(nullptr);
    const tm* local = localtime(&now);
    if (!local || !wcsftime(when, kHeaderTimeCapacity, L"%c", local)) when[0] = L'\0';
    std::wstring line = when;
    if (kind == kKindEncrypt) line += L" Encrypting";
    if (kind == kKindDecrypt) line += L" Decrypting";
    return line + L"\r\n";
}

}  // namespace

void ErrorLog::Open(uint32_t kind) {
    if (!LogSwitchOn()) return;
    wchar_t path[MAX_PATH];
    if (!UserDataPath(L"TzVozAdu\\Error.log", path)) return;
    CreateLogFolder(path);
    RotateIfLarge(path);
    file_ = fw::FileHandle(
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file_) Append(HeaderLine(kind));
}

void ErrorLog::WriteResult(const wchar_t* text, const std::wstring& message, uint32_t systemError) const {
    wchar_t code[32];
    swprintf(code, 32, L"(ErrorCode: %d)", static_cast<int>(systemError));
    Append(std::wstring(text) + L"," + message + code + L"\r\n");
}

void ErrorLog::Append(const std::wstring& line) const {
    if (!file_) return;
    SetFilePointer(file_.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
}

}  // namespace oper
