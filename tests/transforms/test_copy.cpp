// The exported copy with progress and cancel; faults are injected at the
// library's imports. Wine keeps only a DACL (as mode bits) and always grants
// the privilege, so the security transfer at the end of a copy is shown at
// the library's imports: what is read is what is applied, then freed.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <optional>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

HMODULE Library() { return GetModuleHandleW(L"fileoper.dll"); }

class CopyTest : public ::testing::Test {
protected:
    TempDir dir;
    std::wstring source = dir / L"source.bin", destination = dir / L"destination.bin";
    uint32_t state = FILEOPER_STATE_RUNNING, percent = 777;

    BOOL Copy(bool narrow = false) {
        return narrow ? CopyFileWithProgressA(Narrow(source).c_str(), Narrow(destination).c_str(), &state, &percent)
                      : CopyFileWithProgressW(source.c_str(), destination.c_str(), &state, &percent);
    }
};

// The destination, new or longer, ends with the source's time, attributes
// and bytes: up to a cancel, the chunks copied (none before the first); for
// a growing source, up to the first chunk past its first size (65536, then
// 131072 > 100000). An empty source leaves the percentage alone. The 8-bit
// form copies the same (long paths: the encryption tests).
TEST_F(CopyTest, DestinationEndsWithWhatWasCopiedAndTheSourcesTimeAndAttributes) {
    const FILETIME old = {0x12345600u, 0x01C00000u};  // some day in 1999
    enum Event { kNone, kCancelFirst, kCancelAtSecondRead, kGrowAtFirstRead } event = kNone;
    fault::Hook<decltype(&ReadFile)> read(Library(), "KERNEL32.dll", "ReadFile");
    read.before = [&](auto...) {
        if (read.calls == 2 && event == kCancelAtSecondRead) state = FILEOPER_STATE_CANCEL;
        if (read.calls != 1 || event != kGrowAtFirstRead) return;
        const std::string more = Pattern(100000);
        HANDLE other = OpenAsOther(source, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(other, more.data(), static_cast<DWORD>(more.size()), &written, nullptr));
        CloseHandle(other);
    };
    const struct { size_t size; bool existing, narrow; Event event; size_t kept; uint32_t percent; } cases[] = {
        {200000, false, false, kNone, 200000, 100}, {0, true, false, kNone, 0, 777},
        {70000, true, true, kNone, 70000, 100}, {65536 * 5, true, false, kCancelFirst, 0, 777},
        {65536 * 5, true, false, kCancelAtSecondRead, 131072, 40},
        {100000, false, false, kGrowAtFirstRead, 131072, 131}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, event " << c.event);
        SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
        SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(destination.c_str());
        ASSERT_TRUE(WriteFileBytes(source, Pattern(c.size)));
        ASSERT_TRUE(!c.existing || WriteFileBytes(destination, Pattern(300000)));
        HANDLE h = OpenAsOther(source, FILE_WRITE_ATTRIBUTES, 0);
        SetFileTime(h, nullptr, nullptr, &old);
        CloseHandle(h);
        SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_HIDDEN);
        event = c.event, read.calls = 0, percent = 777;
        state = c.event == kCancelFirst ? FILEOPER_STATE_CANCEL : FILEOPER_STATE_RUNNING;
        EXPECT_EQ(Copy(c.narrow), TRUE);
        EXPECT_EQ(GetOperErrorCode(), 0u);
        EXPECT_EQ(ReadFileBytes(destination), ReadFileBytes(source).substr(0, c.kept));
        WIN32_FILE_ATTRIBUTE_DATA copied = {};
        GetFileAttributesExW(destination.c_str(), GetFileExInfoStandard, &copied);
        EXPECT_EQ(CompareFileTime(&copied.ftLastWriteTime, &old), 0);
        EXPECT_TRUE(copied.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_EQ(percent, c.percent);
    }
    // Without a percentage and while paused the copy runs the same.
    event = kNone;
    state = FILEOPER_STATE_PAUSED;
    EXPECT_EQ(CopyFileWithProgressW(source.c_str(), destination.c_str(), &state, nullptr), TRUE);
    EXPECT_EQ(ReadFileBytes(destination), ReadFileBytes(source));
}

// From the second read on, reads find nothing, as if the file had been cut
// behind the copy's back.
BOOL WINAPI ShortReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    static int reads = 0;
    if (++reads >= 2) return *got = 0, TRUE;
    return fault::Real(&ReadFile, "kernel32.dll", "ReadFile")(h, buffer, size, got, overlapped);
}

// A destination that cannot be opened is code 2 and stays as it was; a
// failed write, and a source cut behind the copy's back (instead of a copy
// that loops for ever), are code 3 and leave no destination.
TEST_F(CopyTest, AFailureGivesItsCodeAndLeavesNoPartialDestination) {
    ASSERT_TRUE(WriteFileBytes(source, Pattern(65536 * 4)));
    enum Failure { kReadOnlyDestination, kFailedWrite, kShrinkingSource };
    for (Failure failure : {kReadOnlyDestination, kFailedWrite, kShrinkingSource}) {
        SCOPED_TRACE(failure);
        fault::Hook<decltype(&WriteFile)> write(Library(), "KERNEL32.dll", "WriteFile", FALSE, ERROR_DISK_FULL);
        std::optional<fault::ImportPatch> shortRead;
        if (failure == kShrinkingSource) shortRead.emplace(Library(), "KERNEL32.dll", "ReadFile", &ShortReadFile);
        if (failure == kFailedWrite) write.trigger.Arm(3);
        const bool readOnly = failure == kReadOnlyDestination;
        ASSERT_TRUE(!readOnly || (WriteFileBytes(destination, "read-only") &&
                                  SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_READONLY)));
        EXPECT_EQ(Copy(), FALSE);
        EXPECT_EQ(GetOperErrorCode(), readOnly ? FILEOPER_ERR_OPEN_FILE : FILEOPER_ERR_READ_WRITE);
        EXPECT_EQ(FileExists(destination) ? ReadFileBytes(destination) : "none", readOnly ? "read-only" : "none");
        EXPECT_TRUE(FileExists(source));
        SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(destination.c_str());
    }
}

struct Seen {
    std::vector<void*> read, applied, freed;
    SECURITY_INFORMATION readMask = 0, appliedMask = 0;
    std::wstring appliedTo;
} g_seen;

fault::Trigger g_refuseRead;
DWORD WINAPI RecordingGetSecurityInfo(HANDLE h, SE_OBJECT_TYPE type, SECURITY_INFORMATION mask, PSID* owner,
                                      PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
    if (g_refuseRead.Fire()) return ERROR_ACCESS_DENIED;
    DWORD r = fault::Real(&GetSecurityInfo, "advapi32.dll", "GetSecurityInfo")(h, type, mask, owner, group, dacl,
                                                                               sacl, descriptor);
    if (r == ERROR_SUCCESS) g_seen.read.push_back(*descriptor), g_seen.readMask = mask;
    return r;
}

class SecurityTransfer : public CopyTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileBytes(source, "secret minutes"));
        apply.before = [](LPCWSTR path, SECURITY_INFORMATION mask, PSECURITY_DESCRIPTOR descriptor) {
            g_seen.applied.push_back(descriptor), g_seen.appliedMask = mask, g_seen.appliedTo = path;
        };
        free.before = [](HLOCAL p) { g_seen.freed.push_back(p); };
        // Opens that ask for the SACL's right are refused when the trigger fires.
        open.before = [this](LPCWSTR, DWORD access, auto...) {
            if ((access & ACCESS_SYSTEM_SECURITY) && refuseSecuritySource.Fire()) open.trigger.Arm(1);
        };
    }

    fault::ImportPatch read{Library(), "ADVAPI32.dll", "GetSecurityInfo", &RecordingGetSecurityInfo};
    fault::Trigger refuseSecuritySource;
    fault::Hook<decltype(&CreateFileW)> open{Library(), "KERNEL32.dll", "CreateFileW", INVALID_HANDLE_VALUE,
                                             ERROR_PRIVILEGE_NOT_HELD};
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
// exactly and then freed, or nothing is; every handle opened is closed.
TEST_F(SecurityTransfer, AppliesWhatItReadsAndARefusedStepNeverFailsTheCopy) {
    const struct { const char* step; fault::Trigger* trigger; size_t read; } cases[] = {
        {"nothing", nullptr, 1}, {"privilege", &adjust.trigger, 0}, {"source open", &refuseSecuritySource, 0},
        {"read", &g_refuseRead, 0}, {"apply", &apply.trigger, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        g_seen = Seen();
        token.calls = close.calls = open.calls = 0;
        DeleteFileW(destination.c_str());
        if (c.trigger) c.trigger->Arm(1);
        EXPECT_EQ(Copy(), TRUE);
        if (c.trigger) c.trigger->Disarm();
        EXPECT_EQ(GetOperErrorCode(), 0u);
        EXPECT_EQ(ReadFileBytes(destination), "secret minutes");
        ASSERT_EQ(g_seen.read.size(), c.read);
        EXPECT_EQ(g_seen.applied, g_seen.read);
        EXPECT_EQ(g_seen.freed, g_seen.read);
        EXPECT_EQ(close.calls, open.calls - (c.trigger == &refuseSecuritySource) + token.calls);
        EXPECT_EQ(g_seen.readMask, c.read ? 15u : 0u);
        EXPECT_EQ(g_seen.appliedMask, c.read ? 15u : 0u);
        EXPECT_EQ(g_seen.appliedTo, c.read ? destination : L"");
    }
}

}  // namespace
