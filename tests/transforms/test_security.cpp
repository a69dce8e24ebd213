// The security transfer at the end of a copy. Wine keeps only a DACL (as mode
// bits) and always grants the privilege, so the contract is shown at the
// library's imports: what is read is what is applied, then freed.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

// What the library's calls read, applied, freed and opened.
struct Seen {
    std::vector<PSECURITY_DESCRIPTOR> read, applied;
    std::vector<SECURITY_INFORMATION> readMasks, appliedMasks;
    std::vector<std::wstring> appliedTo;
    std::vector<HLOCAL> freed;
    int opensWithSystemSecurity = 0;
    long filesOpened = 0;
} g_seen;

fault::Trigger g_refuseRead;
DWORD WINAPI RecordingGetSecurityInfo(HANDLE h, SE_OBJECT_TYPE type, SECURITY_INFORMATION mask, PSID* owner,
                                      PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
    if (g_refuseRead.Fire()) return ERROR_ACCESS_DENIED;
    DWORD r = fault::Real(&GetSecurityInfo, "advapi32.dll", "GetSecurityInfo")(h, type, mask, owner, group, dacl,
                                                                               sacl, descriptor);
    if (r == ERROR_SUCCESS) {
        g_seen.read.push_back(*descriptor);
        g_seen.readMasks.push_back(mask);
    }
    return r;
}

// Opens that ask for the SACL's right are refused when the trigger fires.
fault::Trigger g_refuseSecuritySource;
HANDLE WINAPI CountingCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                                  DWORD flags, HANDLE templateFile) {
    if (access & ACCESS_SYSTEM_SECURITY) {
        ++g_seen.opensWithSystemSecurity;
        if (g_refuseSecuritySource.Fire()) return SetLastError(ERROR_PRIVILEGE_NOT_HELD), INVALID_HANDLE_VALUE;
    }
    HANDLE h = fault::Real(&CreateFileW, "kernel32.dll", "CreateFileW")(path, access, share, sa, disposition, flags,
                                                                        templateFile);
    if (h != INVALID_HANDLE_VALUE) ++g_seen.filesOpened;
    return h;
}

class SecurityTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileBytes(source, "secret minutes"));
        apply.before = [](LPCWSTR path, SECURITY_INFORMATION mask, PSECURITY_DESCRIPTOR descriptor) {
            g_seen.applied.push_back(descriptor);
            g_seen.appliedMasks.push_back(mask);
            g_seen.appliedTo.push_back(path);
        };
        free.before = [](HLOCAL p) { g_seen.freed.push_back(p); };
        Reset();
    }

    void Reset() {
        g_seen = Seen();
        token.calls = close.calls = 0;
    }

    BOOL Copy() { return CopyFileWithProgressW(source.c_str(), destination.c_str(), &state, nullptr); }

    TempDir dir;
    std::wstring source = dir / L"source.txt";
    std::wstring destination = dir / L"destination.txt";
    uint32_t state = FILEOPER_STATE_RUNNING;

    fault::ImportPatch read{Library(), "ADVAPI32.dll", "GetSecurityInfo",
                            reinterpret_cast<const void*>(&RecordingGetSecurityInfo)};
    fault::ImportPatch open{Library(), "KERNEL32.dll", "CreateFileW", reinterpret_cast<const void*>(&CountingCreateFileW)};
    fault::Hook<decltype(&SetFileSecurityW)> apply{Library(), "ADVAPI32.dll", "SetFileSecurityW", FALSE,
                                                   ERROR_INVALID_OWNER};
    fault::Hook<decltype(&LocalFree)> free{Library(), "KERNEL32.dll", "LocalFree"};
    fault::Hook<decltype(&AdjustTokenPrivileges)> adjust{Library(), "ADVAPI32.dll", "AdjustTokenPrivileges", FALSE,
                                                         ERROR_PRIVILEGE_NOT_HELD};
    fault::Hook<decltype(&OpenProcessToken)> token{Library(), "ADVAPI32.dll", "OpenProcessToken"};
    fault::Hook<decltype(&CloseHandle)> close{Library(), "KERNEL32.dll", "CloseHandle"};
};

// Whatever step of the transfer is refused, the copy itself succeeds; what
// was read (owner, group, DACL and SACL) is applied to the destination
// exactly and then freed, or nothing is.
TEST_F(SecurityTransfer, AppliesWhatItReadsAndARefusedStepNeverFailsTheCopy) {
    const struct {
        const char* step;
        fault::Trigger* trigger;
        size_t read, applied;
        int opensWithSystemSecurity;
    } cases[] = {
        {"nothing", nullptr, 1, 1, 1},
        {"privilege", &adjust.trigger, 0, 0, 0},
        {"source open", &g_refuseSecuritySource, 0, 0, 1},
        {"read", &g_refuseRead, 0, 0, 1},
        {"apply", &apply.trigger, 1, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Reset();
        DeleteFileW(destination.c_str());
        if (c.trigger) c.trigger->Arm(1);
        EXPECT_EQ(Copy(), TRUE);
        if (c.trigger) c.trigger->Disarm();
        EXPECT_EQ(GetOperErrorCode(), 0u);
        EXPECT_EQ(ReadFileBytes(destination), "secret minutes");
        ASSERT_EQ(g_seen.read.size(), c.read);
        ASSERT_EQ(g_seen.applied.size(), c.applied);
        EXPECT_EQ(g_seen.freed, g_seen.read);
        EXPECT_EQ(g_seen.opensWithSystemSecurity, c.opensWithSystemSecurity);
        if (c.applied) {
            EXPECT_EQ(g_seen.readMasks[0], 15u);
            EXPECT_EQ(g_seen.appliedMasks[0], 15u);
            EXPECT_EQ(g_seen.applied[0], g_seen.read[0]);
            EXPECT_EQ(g_seen.appliedTo[0], destination);
        }
    }
}

TEST_F(SecurityTransfer, RepeatedTransfersCloseEveryHandleAndFreeEveryDescriptor) {
    for (int i = 0; i < 200; ++i) ASSERT_EQ(Copy(), TRUE);
    // Each copy opens the source, the destination, the token and the source
    // again for its security.
    EXPECT_EQ(g_seen.filesOpened + token.calls, 200 * 4);
    EXPECT_EQ(close.calls, g_seen.filesOpened + token.calls);
    EXPECT_EQ(g_seen.freed.size(), g_seen.read.size());
}

}  // namespace
