// The security transfer at the end of a copy. Wine keeps only a DACL (as mode
// bits) and always grants the privilege, so the contract is shown at the
// library's imports: what is read is what is applied, then freed.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

struct SecurityCalls {
    std::vector<PSECURITY_DESCRIPTOR> read;
    std::vector<SECURITY_INFORMATION> readMasks;
    std::vector<PSECURITY_DESCRIPTOR> applied;
    std::vector<SECURITY_INFORMATION> appliedMasks;
    std::vector<std::wstring> appliedTo;
    std::vector<HLOCAL> freed;
    int opensWithSystemSecurity = 0;
    long handlesOpened = 0;
    long handlesClosed = 0;
};
SecurityCalls g_calls;

fault::Trigger g_refusePrivilege;
fault::Trigger g_refuseSecuritySource;
fault::Trigger g_refuseApply;
fault::Trigger g_refuseRead;

DWORD WINAPI HookGetSecurityInfo(HANDLE h, SE_OBJECT_TYPE type, SECURITY_INFORMATION mask, PSID* owner, PSID* group,
                                 PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
    if (g_refuseRead.Fire()) return ERROR_ACCESS_DENIED;
    DWORD r = fault::Real(&GetSecurityInfo, "advapi32.dll", "GetSecurityInfo")(h, type, mask, owner, group, dacl,
                                                                               sacl, descriptor);
    if (r == ERROR_SUCCESS) {
        g_calls.read.push_back(*descriptor);
        g_calls.readMasks.push_back(mask);
    }
    return r;
}

BOOL WINAPI HookSetFileSecurityW(LPCWSTR path, SECURITY_INFORMATION mask, PSECURITY_DESCRIPTOR descriptor) {
    g_calls.applied.push_back(descriptor);
    g_calls.appliedMasks.push_back(mask);
    g_calls.appliedTo.push_back(path);
    if (g_refuseApply.Fire()) {
        SetLastError(ERROR_INVALID_OWNER);
        return FALSE;
    }
    return fault::Real(&SetFileSecurityW, "advapi32.dll", "SetFileSecurityW")(path, mask, descriptor);
}

HLOCAL WINAPI HookLocalFree(HLOCAL p) {
    g_calls.freed.push_back(p);
    return fault::Real(&LocalFree, "kernel32.dll", "LocalFree")(p);
}

BOOL WINAPI HookAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                      PTOKEN_PRIVILEGES previous, PDWORD returned) {
    if (g_refusePrivilege.Fire()) {
        SetLastError(ERROR_PRIVILEGE_NOT_HELD);
        return FALSE;
    }
    return fault::Real(&AdjustTokenPrivileges, "advapi32.dll", "AdjustTokenPrivileges")(token, disableAll, state,
                                                                                         length, previous, returned);
}

BOOL WINAPI HookOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    BOOL ok = fault::Real(&OpenProcessToken, "advapi32.dll", "OpenProcessToken")(process, access, token);
    if (ok) ++g_calls.handlesOpened;
    return ok;
}

HANDLE WINAPI HookCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                              DWORD flags, HANDLE templateFile) {
    if (access & ACCESS_SYSTEM_SECURITY) {
        ++g_calls.opensWithSystemSecurity;
        if (g_refuseSecuritySource.Fire()) {
            SetLastError(ERROR_PRIVILEGE_NOT_HELD);
            return INVALID_HANDLE_VALUE;
        }
    }
    HANDLE h = fault::Real(&CreateFileW, "kernel32.dll", "CreateFileW")(path, access, share, sa, disposition, flags,
                                                                        templateFile);
    if (h != INVALID_HANDLE_VALUE) ++g_calls.handlesOpened;
    return h;
}

BOOL WINAPI HookCloseHandle(HANDLE h) {
    ++g_calls.handlesClosed;
    return fault::Real(&CloseHandle, "kernel32.dll", "CloseHandle")(h);
}

class SecurityTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls = SecurityCalls();
        ASSERT_TRUE(WriteFileBytes(source, "secret minutes"));
    }

    BOOL Copy() { return CopyFileWithProgressW(source.c_str(), destination.c_str(), &state, nullptr); }

    TempDir dir;
    std::wstring source = dir / L"source.txt";
    std::wstring destination = dir / L"destination.txt";
    uint32_t state = FILEOPER_STATE_RUNNING;

    fault::ImportPatch read{Library(), "ADVAPI32.dll", "GetSecurityInfo", reinterpret_cast<const void*>(&HookGetSecurityInfo)};
    fault::ImportPatch apply{Library(), "ADVAPI32.dll", "SetFileSecurityW",
                             reinterpret_cast<const void*>(&HookSetFileSecurityW)};
    fault::ImportPatch free{Library(), "KERNEL32.dll", "LocalFree", reinterpret_cast<const void*>(&HookLocalFree)};
    fault::ImportPatch adjust{Library(), "ADVAPI32.dll", "AdjustTokenPrivileges",
                              reinterpret_cast<const void*>(&HookAdjustTokenPrivileges)};
    fault::ImportPatch token{Library(), "ADVAPI32.dll", "OpenProcessToken",
                             reinterpret_cast<const void*>(&HookOpenProcessToken)};
    fault::ImportPatch open{Library(), "KERNEL32.dll", "CreateFileW", reinterpret_cast<const void*>(&HookCreateFileW)};
    fault::ImportPatch close{Library(), "KERNEL32.dll", "CloseHandle", reinterpret_cast<const void*>(&HookCloseHandle)};
};

TEST_F(SecurityTransfer, AppliesExactlyTheDescriptorReadFromTheSourceThenFreesIt) {
    EXPECT_EQ(Copy(), TRUE);
    ASSERT_EQ(g_calls.read.size(), 1u);
    ASSERT_EQ(g_calls.applied.size(), 1u);
    EXPECT_EQ(g_calls.readMasks[0], 15u);
    EXPECT_EQ(g_calls.appliedMasks[0], 15u);
    EXPECT_EQ(g_calls.applied[0], g_calls.read[0]);
    EXPECT_EQ(g_calls.appliedTo[0], destination);
    ASSERT_EQ(g_calls.freed.size(), 1u);
    EXPECT_EQ(g_calls.freed[0], g_calls.read[0]);
    EXPECT_EQ(g_calls.opensWithSystemSecurity, 1);
}

TEST_F(SecurityTransfer, RefusedPrivilegeAppliesNothingAndTheCopyStillSucceeds) {
    g_refusePrivilege.Arm(1);
    EXPECT_EQ(Copy(), TRUE);
    g_refusePrivilege.Disarm();
    EXPECT_EQ(GetOperErrorCode(), 0u);
    EXPECT_EQ(g_calls.opensWithSystemSecurity, 0);
    EXPECT_TRUE(g_calls.applied.empty());
    EXPECT_EQ(ReadFileBytes(destination), "secret minutes");
}

TEST_F(SecurityTransfer, RefusedSourceOpenAppliesNothing) {
    g_refuseSecuritySource.Arm(1);
    EXPECT_EQ(Copy(), TRUE);
    g_refuseSecuritySource.Disarm();
    EXPECT_TRUE(g_calls.read.empty());
    EXPECT_TRUE(g_calls.applied.empty());
}

TEST_F(SecurityTransfer, UnreadableSourceSecurityAppliesNothing) {
    g_refuseRead.Arm(1);
    EXPECT_EQ(Copy(), TRUE);
    g_refuseRead.Disarm();
    EXPECT_TRUE(g_calls.applied.empty());
    EXPECT_TRUE(g_calls.freed.empty());
}

TEST_F(SecurityTransfer, RefusedApplyDoesNotChangeTheCopysResult) {
    g_refuseApply.Arm(1);
    EXPECT_EQ(Copy(), TRUE);
    g_refuseApply.Disarm();
    EXPECT_EQ(GetOperErrorCode(), 0u);
    EXPECT_EQ(g_calls.applied.size(), 1u);
    EXPECT_EQ(g_calls.freed.size(), 1u);
    EXPECT_EQ(ReadFileBytes(destination), "secret minutes");
}

TEST_F(SecurityTransfer, RepeatedTransfersCloseEveryHandleAndFreeEveryDescriptor) {
    for (int i = 0; i < 200; ++i) ASSERT_EQ(Copy(), TRUE);
    // Each copy opens the source, the destination, the token and the source
    // again for its security.
    EXPECT_EQ(g_calls.handlesOpened, 200 * 4);
    EXPECT_EQ(g_calls.handlesClosed, g_calls.handlesOpened);
    EXPECT_EQ(g_calls.freed.size(), g_calls.read.size());
}

}  // namespace
