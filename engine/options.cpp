#include "engine/options.h"

#include <windows.h>
#include <shlwapi.h>

#include "fileoper.h"

namespace oper {

OperOptions g_options = {1, 1, 0, 0, 4, 0};

namespace {

constexpr wchar_t kCipherKey[] = L"System\\CurrentControlSet\\Services\\TzDorvan\\Parameters";
constexpr wchar_t kDefaultUserPrefix[] = L".Default\\";
constexpr int kKeyCapacity = 1024;

// The 4-byte buffer starts with the option's current value, so a value found
// nowhere leaves the option as it was.
void LoadUserOption(const wchar_t* userKey, const wchar_t* defaultUserKey, const wchar_t* name,
                    volatile uint32_t& option) {
    DWORD value = option;
    DWORD size = sizeof value;
    if (SHGetValueW(HKEY_CURRENT_USER, userKey, name, nullptr, &value, &size) != ERROR_SUCCESS) {
        size = sizeof value;
        SHGetValueW(HKEY_USERS, defaultUserKey, name, nullptr, &value, &size);
    }
    option = value != 0 ? 1 : 0;
}

void LoadUserOptions(const char* keyPath) {
    wchar_t defaultUserKey[kKeyCapacity];
    wcscpy_s(defaultUserKey, kKeyCapacity, kDefaultUserPrefix);
    const int prefixLength = static_cast<int>(wcslen(kDefaultUserPrefix));
    wchar_t* userKey = defaultUserKey + prefixLength;
    if (!MultiByteToWideChar(CP_ACP, 0, keyPath, -1, userKey, kKeyCapacity - prefixLength)) return;
    LoadUserOption(userKey, defaultUserKey, L"EnableReadOnly", g_options.enableReadOnly);
    LoadUserOption(userKey, defaultUserKey, L"EnableSystem", g_options.enableSystem);
    LoadUserOption(userKey, defaultUserKey, L"RenameBeforeDelete", g_options.renameBeforeDelete);
    LoadUserOption(userKey, defaultUserKey, L"DecryptAfterReboot", g_options.decryptAfterReboot);
}

// The driver's service setting is machine-wide and taken as the raw number.
void LoadDefaultCipher() {
    DWORD value = g_options.defaultCipher;
    DWORD size = sizeof value;
    if (SHGetValueW(HKEY_LOCAL_MACHINE, kCipherKey, L"DefaultCipher", nullptr, &value, &size) == ERROR_SUCCESS)
        g_options.defaultCipher = value;
}

}  // namespace

}  // namespace oper

extern "C" int WINAPI LoadOperOptions(const char* keyPath) {
    if (keyPath) oper::LoadUserOptions(keyPath);
    oper::g_options.rebootRequired = 0;
    oper::LoadDefaultCipher();
    return 1;
}

extern "C" uint32_t WINAPI IsRebootRequired() { return oper::g_options.rebootRequired; }

extern "C" int WINAPI SetOperOptions(uint32_t mask, uint32_t values) {
    if (mask & 1) oper::g_options.decryptAfterReboot = (values & 1) ? 1 : 0;
    if (mask & 2) oper::g_options.renameBeforeDelete = (values & 2) ? 1 : 0;
    return 1;
}
