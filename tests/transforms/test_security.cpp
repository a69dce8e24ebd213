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
    if (g_refuseApply.Fire()) return SetLastError(ERROR_INVALID_OWNER), FALSE;
    return fault::Real(&SetFileSecurityW, "advapi32.dll", "SetFileSecurityW")(path, mask, descriptor);
}

HLOCAL WINAPI HookLocalFree(HLOCAL p) {
    g_calls.freed.push_back(p);
    return fault::Real(&LocalFree, "kernel32.dll", "LocalFree")(p);
}

BOOL WINAPI HookAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                      PTOKEN_PRIVILEGES previous, PDWORD returned) {
    if (g_refusePrivilege.Fire()) return SetLastError(ERROR_PRIVILEGE_NOT_HELD), FALSE;
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
        if (g_refuseSecuritySource.Fire()) return SetLastError(ERROR_PRIVILEGE_NOT_HELD), INVALID_HANDLE_VALUE;
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

// Whatever step of the transfer is refused, the copy itself succeeds; what
// was read is applied and freed, or nothing is.
TEST_F(SecurityTransfer, ARefusedStepNeverFailsTheCopy) {
    const struct {
        const char* step;
        fault::Trigger* trigger;
        size_t read, applied;
        int opensWithSystemSecurity;
    } cases[] = {
        {"privilege", &g_refusePrivilege, 0, 0, 0},
        {"source open", &g_refuseSecuritySource, 0, 0, 1},
        {"read", &g_refuseRead, 0, 0, 1},
        {"apply", &g_refuseApply, 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        g_calls = SecurityCalls();
        DeleteFileW(destination.c_str());
        c.trigger->Arm(1);
        EXPECT_EQ(Copy(), TRUE);
        c.trigger->Disarm();
        EXPECT_EQ(GetOperErrorCode(), 0u);
        EXPECT_EQ(ReadFileBytes(destination), "secret minutes");
        EXPECT_EQ(g_calls.read.size(), c.read);
        EXPECT_EQ(g_calls.applied.size(), c.applied);
        EXPECT_EQ(g_calls.freed.size(), c.read);
        EXPECT_EQ(g_calls.opensWithSystemSecurity, c.opensWithSystemSecurity);
    }
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
