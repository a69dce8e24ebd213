// The internal transform copy and the request and results layouts; faults go
// through this executable's own imports (it links the library's objects).
#include <gtest/gtest.h>

#include <cstring>

#include "exports/error_state.h"
#include "fileoper.h"
#include "host/request_block.h"
#include "operation/operation_state.h"
#include "operation/transfer_buffer.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"
#include "transforms/chunked_copy.h"

using namespace testing_support;

namespace {

HMODULE Self() { return GetModuleHandleW(nullptr); }

class TransformCopy : public ::testing::Test {
protected:
    void SetUp() override {
        read.before = [this](HANDLE, LPVOID buffer, DWORD size, auto...) { reads.push_back({buffer, size}); };
        create.before = [this](LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD flags, HANDLE) {
            openFlags.push_back(flags);
        };
    }
    void TearDown() override { oper::FreeTransferBuffer(); }

    // Counts only the copy's own calls: check them before the test's file
    // helpers, which go through the same patched imports, add theirs.
    BOOL Copy(DWORD sourceFlags = 0, DWORD destinationFlags = 0) {
        reads.clear(), openFlags.clear();
        alloc.calls = release.calls = 0;
        return oper::TransformCopyFileW(source.c_str(), destination.c_str(), sourceFlags, destinationFlags, &state,
                                        &percent);
    }

    TempDir dir;
    std::wstring source = dir / L"source.bin", destination = dir / L"destination.bin";
    volatile uint32_t state = oper::kRunning, percent = 0;
    std::vector<std::pair<void*, DWORD>> reads;  // buffer and size of each
    std::vector<DWORD> openFlags;

    fault::Hook<decltype(&ReadFile)> read{Self(), "KERNEL32.dll", "ReadFile"};
    fault::Hook<decltype(&CreateFileW)> create{Self(), "KERNEL32.dll", "CreateFileW"};
    fault::Hook<decltype(&VirtualAlloc)> alloc{Self(), "KERNEL32.dll", "VirtualAlloc", nullptr, ERROR_NOT_ENOUGH_MEMORY};
    fault::Hook<decltype(&VirtualFree)> release{Self(), "KERNEL32.dll", "VirtualFree"};
};

// Outside a run the copy works in page-aligned 64 KiB pages of its own,
// inside one in the shared 1 MiB buffer without allocating; each side opened
// with the caller's flags (the security transfer opens the source again).
TEST_F(TransformCopy, WorksInItsOwnPagesOutsideARunAndInTheSharedBufferInside) {
    for (bool inRun : {false, true}) {
        SCOPED_TRACE(inRun ? "inside a run" : "outside a run");
        ASSERT_TRUE(!inRun || oper::AllocTransferBuffer(oper::kTransferBufferSize) == 1);
        const DWORD chunk = inRun ? oper::kTransferBufferSize : 65536;
        const std::string data = Pattern(3 * chunk + 5);
        ASSERT_TRUE(WriteFileBytes(source, data));
        EXPECT_EQ(Copy(FILE_FLAG_NO_BUFFERING, FILE_FLAG_WRITE_THROUGH), TRUE);
        ASSERT_FALSE(reads.empty());
        void* buffer = inRun ? oper::g_state.transferBuffer : reads[0].first;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 4096, 0u);
        EXPECT_EQ(reads, (std::vector<std::pair<void*, DWORD>>(4, {buffer, chunk})));
        EXPECT_EQ(std::make_pair(alloc.calls, release.calls), std::make_pair(inRun ? 0L : 1L, inRun ? 0L : 1L));
        ASSERT_GE(openFlags.size(), 2u);
        EXPECT_EQ(openFlags[0], static_cast<DWORD>(FILE_FLAG_NO_BUFFERING));
        EXPECT_EQ(openFlags[1], static_cast<DWORD>(FILE_FLAG_WRITE_THROUGH));
        EXPECT_EQ(ReadFileBytes(destination), data);
    }
}

TEST_F(TransformCopy, BufferThatCannotBeHadGivesCode2AndKeepsTheCreatedDestination) {
    ASSERT_TRUE(WriteFileBytes(source, Pattern(1000)));
    alloc.trigger.Arm(1);
    EXPECT_EQ(Copy(), FALSE);
    EXPECT_EQ(GetOperErrorCode(), static_cast<uint32_t>(oper::kErrOpenFile));
    EXPECT_TRUE(FileExists(destination) && ReadFileBytes(destination).empty());
}

// A request block as a host lays it out, claiming more or fewer items than
// it holds.
TEST(RequestView, ItemListEndsAtTheCountOrTheFirstEmptyString) {
    docman::RunRequest request;
    request.destination = L"D:\\", request.items = {L"C:\\1", L"C:\\2", L"C:\\3"};
    std::vector<uint32_t> block = docman::BuildRequestBlock(request);
    const std::pair<int32_t, size_t> cases[] = {{2, 2}, {3, 3}, {10, 3}, {0, 0}, {-1, 0}};
    for (const auto& [count, items] : cases) {
        reinterpret_cast<OperationRequest*>(block.data())->itemCount = count;
        size_t seen = 0;
        oper::RequestView(docman::AsRequest(block)).ForEachItem([&seen](const wchar_t*) { ++seen; });
        EXPECT_EQ(seen, items) << count;
    }
}

// The figures' slots; whole runs read the later ones (tests/ui).
TEST(Results, PackPairsLowThenHigh) {
    oper::OperationState state = {};
    state.totalBytes = 0x1122334455667788ull, state.completedBytes = 16384, state.fileTotal = 4, state.filesDone = 3;
    state.reverseProgress = 1, state.currentItemPercent = 100, state.currentItemSize = 8192;
    uint64_t results[oper::kResultSlots];
    std::memset(results, 0xAB, sizeof results);
    oper::CopyResults(state, results);
    EXPECT_EQ(std::vector<uint64_t>(results, results + 5),
              (std::vector<uint64_t>{0x1122334455667788ull, 16384u, (3ull << 32) | 4u, (100ull << 32) | 1u, 8192u}));
}

}  // namespace
