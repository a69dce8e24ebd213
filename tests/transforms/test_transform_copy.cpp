// The internal transform copy: which buffer it works in, the caller's open
// flags, and its own buffer's life. Faults go through this executable's own
// imports, since it links the library's objects.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "exports/error_state.h"
#include "operation/operation_state.h"
#include "operation/transfer_buffer.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"
#include "transforms/chunked_copy.h"

using namespace testing_support;

namespace {

HMODULE Self() { return GetModuleHandleW(nullptr); }

struct Seen {
    std::vector<void*> readBuffers;
    std::vector<DWORD> readSizes;
    std::vector<DWORD> openFlags;
    int allocations = 0;
    int releases = 0;
};
Seen g_seen;
fault::Trigger g_allocFailure;

BOOL WINAPI HookReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    g_seen.readBuffers.push_back(buffer);
    g_seen.readSizes.push_back(size);
    return fault::Real(&ReadFile, "kernel32.dll", "ReadFile")(h, buffer, size, got, overlapped);
}

HANDLE WINAPI HookCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                              DWORD flags, HANDLE templateFile) {
    g_seen.openFlags.push_back(flags);
    return fault::Real(&CreateFileW, "kernel32.dll", "CreateFileW")(path, access, share, sa, disposition, flags,
                                                                    templateFile);
}

LPVOID WINAPI HookVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    if (g_allocFailure.Fire()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ++g_seen.allocations;
    return fault::Real(&VirtualAlloc, "kernel32.dll", "VirtualAlloc")(address, size, type, protect);
}

BOOL WINAPI HookVirtualFree(LPVOID address, SIZE_T size, DWORD type) {
    ++g_seen.releases;
    return fault::Real(&VirtualFree, "kernel32.dll", "VirtualFree")(address, size, type);
}

class TransformCopy : public ::testing::Test {
protected:
    void SetUp() override { g_seen = Seen(); }
    void TearDown() override { oper::FreeTransferBuffer(); }

    // Counts only the copy's own calls: the test's file helpers go through
    // the same patched imports.
    BOOL Copy(DWORD sourceFlags = 0, DWORD destinationFlags = 0) {
        g_seen = Seen();
        return oper::TransformCopyFileW(source.c_str(), destination.c_str(), sourceFlags, destinationFlags, &state,
                                        &percent);
    }

    TempDir dir;
    std::wstring source = dir / L"source.bin";
    std::wstring destination = dir / L"destination.bin";
    volatile uint32_t state = oper::kRunning;
    volatile uint32_t percent = 0;

    fault::ImportPatch read{Self(), "KERNEL32.dll", "ReadFile", reinterpret_cast<const void*>(&HookReadFile)};
    fault::ImportPatch create{Self(), "KERNEL32.dll", "CreateFileW", reinterpret_cast<const void*>(&HookCreateFileW)};
    fault::ImportPatch alloc{Self(), "KERNEL32.dll", "VirtualAlloc", reinterpret_cast<const void*>(&HookVirtualAlloc)};
    fault::ImportPatch release{Self(), "KERNEL32.dll", "VirtualFree", reinterpret_cast<const void*>(&HookVirtualFree)};
};

TEST_F(TransformCopy, OutsideARunWorksInPageAligned64KiBPagesOfItsOwn) {
    const std::string data = Pattern(65536 * 2 + 100);
    ASSERT_TRUE(WriteFileBytes(source, data));
    EXPECT_EQ(Copy(), TRUE);
    const Seen seen = g_seen;
    EXPECT_EQ(ReadFileBytes(destination), data);
    g_seen = seen;
    ASSERT_EQ(g_seen.readSizes.size(), 3u);
    EXPECT_EQ(g_seen.readSizes[0], 65536u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(g_seen.readBuffers[0]) % 4096, 0u);
    EXPECT_EQ(g_seen.allocations, 1);
    EXPECT_EQ(g_seen.releases, 1);
}

TEST_F(TransformCopy, InsideARunWorksInTheShared1MiBBufferWithoutAllocating) {
    ASSERT_EQ(oper::AllocTransferBuffer(oper::kTransferBufferSize), 1u);
    const std::string data = Pattern(3 * 1024 * 1024 + 5);
    ASSERT_TRUE(WriteFileBytes(source, data));
    EXPECT_EQ(Copy(), TRUE);
    const Seen seen = g_seen;
    EXPECT_EQ(ReadFileBytes(destination), data);
    g_seen = seen;
    ASSERT_EQ(g_seen.readSizes.size(), 4u);
    for (size_t i = 0; i < g_seen.readSizes.size(); ++i) {
        EXPECT_EQ(g_seen.readBuffers[i], oper::g_state.transferBuffer);
        EXPECT_EQ(g_seen.readSizes[i], oper::kTransferBufferSize);
    }
    EXPECT_EQ(g_seen.allocations, 0);
    EXPECT_EQ(g_seen.releases, 0);
}

TEST_F(TransformCopy, OpensEachSideWithTheCallersFlags) {
    ASSERT_TRUE(WriteFileBytes(source, Pattern(10)));
    EXPECT_EQ(Copy(FILE_FLAG_NO_BUFFERING, FILE_FLAG_WRITE_THROUGH), TRUE);
    // Copying the security opens the source once more, with its own flags.
    ASSERT_GE(g_seen.openFlags.size(), 2u);
    EXPECT_EQ(g_seen.openFlags[0], static_cast<DWORD>(FILE_FLAG_NO_BUFFERING));
    EXPECT_EQ(g_seen.openFlags[1], static_cast<DWORD>(FILE_FLAG_WRITE_THROUGH));
}

TEST_F(TransformCopy, BufferThatCannotBeHadGivesCode2AndKeepsTheCreatedDestination) {
    ASSERT_TRUE(WriteFileBytes(source, Pattern(1000)));
    g_allocFailure.Arm(1);
    EXPECT_EQ(Copy(), FALSE);
    g_allocFailure.Disarm();
    EXPECT_EQ(GetOperErrorCode(), static_cast<uint32_t>(oper::kErrOpenFile));
    EXPECT_TRUE(FileExists(destination));
    EXPECT_EQ(ReadFileBytes(destination), "");
}

TEST(TransferBuffer, AcceptsOnlyMultiplesOf64KiBAndKeepsAnExistingBuffer) {
    EXPECT_EQ(oper::AllocTransferBuffer(65536 + 512), 0u);
    EXPECT_EQ(oper::g_state.transferBuffer, nullptr);

    ASSERT_EQ(oper::AllocTransferBuffer(oper::kTransferBufferSize), 1u);
    void* first = oper::g_state.transferBuffer;
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(oper::AllocTransferBuffer(2 * oper::kTransferBufferSize), 1u);
    EXPECT_EQ(oper::g_state.transferBuffer, first);
    EXPECT_EQ(oper::g_state.transferBufferSize, oper::kTransferBufferSize);

    oper::FreeTransferBuffer();
    EXPECT_EQ(oper::g_state.transferBuffer, nullptr);
    EXPECT_EQ(oper::g_state.transferBufferSize, 0u);
}

}  // namespace
