#pragma once
// Carries a file's whole security (owner, group, DACL, SACL) over to another
// file. Best effort: the copies never look at the result. And the private
// access list of folders and files that hold a user's plain bytes away from
// the document's own folder.
#include <windows.h>

#include <memory>
#include <vector>

namespace oper {

// An access list that grants the current user, SYSTEM and Administrators
// alone, cut from what the folders above would hand down.
class PrivateAccess {
public:
    PrivateAccess();
    // For a folder or file being created; null when the list could not be
    // built (the object then gets what it inherits).
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }
    // Gives an existing object the list; only_owned: only when the current
    // user owns it. False when it was not applied.
    bool Apply(const wchar_t* path, bool onlyOwned) const;

private:
    struct LocalFreeDeleter {
        void operator()(void* p) const noexcept { LocalFree(p); }
    };
    bool OwnedByUser(const wchar_t* path) const;

    std::vector<BYTE> user_;  // TOKEN_USER
    std::unique_ptr<void, LocalFreeDeleter> descriptor_;
    SECURITY_ATTRIBUTES attributes_ = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// 1 when the token adjustment succeeded (also when the account lacks the
// privilege: that is not examined). The privilege stays enabled.
BOOL EnableSecurityPrivilege();

// 1 when the source could be opened to read its security, else 0. A refused
// apply on the destination still gives 1. The destination path is passed as
// given, never in its long form.
BOOL CopyFileSecurityW(const wchar_t* source, const wchar_t* destination);
BOOL CopyFileSecurityA(const char* source, const char* destination);

}  // namespace oper
