#include "transforms/security_transfer.h"

#include <aclapi.h>
#include <sddl.h>

#include <string>

#include <memory>

#include "engine/long_path.h"
#include "framework/handles.h"

namespace oper {

namespace {

constexpr SECURITY_INFORMATION kAllSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
constexpr DWORD kReadWithSecurity = GENERIC_READ | ACCESS_SYSTEM_SECURITY | READ_CONTROL;

struct LocalFreeDeleter {
    void operator()(void* p) const noexcept { LocalFree(p); }
};
using SecurityDescriptor = std::unique_ptr<void, LocalFreeDeleter>;

SecurityDescriptor ReadSecurity(HANDLE file) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, kAllSecurity, nullptr, nullptr, nullptr, nullptr, &descriptor) !=
        ERROR_SUCCESS) {
        return nullptr;
    }
    return SecurityDescriptor(descriptor);
}

// The transfer once the source is open; the apply's result is not looked at.
template <typename Char, typename Apply>
BOOL TransferFrom(const fw::FileHandle& source, const Char* destination, Apply apply) {
    if (!source) return FALSE;
    if (SecurityDescriptor descriptor = ReadSecurity(source.get())) {
        apply(destination, kAllSecurity, descriptor.get());
    }
    return TRUE;
}

std::vector<BYTE> CurrentUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    fw::KernelHandle ownedToken(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
    return user;
}

// Full access for the user, SYSTEM and Administrators, handed down to
// everything below; "P" cuts the inheritance from above.
SecurityDescriptor PrivateDescriptor(const std::vector<BYTE>& user) {
    wchar_t* sid = nullptr;
    if (user.empty() || !ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &sid))
        return nullptr;
    const std::wstring text = L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return SecurityDescriptor(descriptor);
}

}  // namespace

PrivateAccess::PrivateAccess() : user_(CurrentUser()), descriptor_(PrivateDescriptor(user_).release()) {
    attributes_.lpSecurityDescriptor = descriptor_.get();
}

bool PrivateAccess::OwnedByUser(const wchar_t* path) const {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return false;
    const SecurityDescriptor owned(descriptor);
    return owner && EqualSid(owner, reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid);
}

bool PrivateAccess::Apply(const wchar_t* path, bool onlyOwned) const {
    if (!descriptor_ || (onlyOwned && !OwnedByUser(path))) return false;
    return SetFileSecurityW(path, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                            descriptor_.get()) != FALSE;
}

BOOL EnableSecurityPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token)) return FALSE;
    fw::KernelHandle ownedToken(token);

    TOKEN_PRIVILEGES enable = {};
    enable.PrivilegeCount = 1;
    enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, L"SeSecurityPrivilege", &enable.Privileges[0].Luid)) return FALSE;

    TOKEN_PRIVILEGES previous = {};
    DWORD previousLength = 0;
    return AdjustTokenPrivileges(token, FALSE, &enable, sizeof previous, &previous, &previousLength) ? TRUE : FALSE;
}

BOOL CopyFileSecurityW(const wchar_t* source, const wchar_t* destination) {
    if (!EnableSecurityPrivilege()) return FALSE;
    fw::FileHandle file(CreateFileLongW(source, kReadWithSecurity, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return TransferFrom(file, destination, SetFileSecurityW);
}

BOOL CopyFileSecurityA(const char* source, const char* destination) {
    if (!EnableSecurityPrivilege()) return FALSE;
    fw::FileHandle file(CreateFileA(source, kReadWithSecurity, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return TransferFrom(file, destination, SetFileSecurityA);
}

}  // namespace oper
