// Windows fails an unbuffered read whose buffer is not sector-aligned or
// whose size is not a sector multiple; Wine accepts anything. A ReadFile that
// enforces those rules on handles opened with FILE_FLAG_NO_BUFFERING shows
// every decryption path would pass on Windows.
#include <gtest/gtest.h>

#include <set>

#include "fileoper.h"
#include "operation/transfer_buffer.h"
#include "tests/support/filter_model.h"
#include "tests/support/iat_patch.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

constexpr uintptr_t kSector = 4096;  // the largest sector size in use

std::set<HANDLE> g_unbuffered;
int g_unbufferedReads = 0;

HANDLE WINAPI RecordingCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    HANDLE h = fault::Real(&CreateFileW, "kernel32.dll", "CreateFileW")(path, access, share, sa, disposition, flags,
                                                                        templateFile);
    if (h != INVALID_HANDLE_VALUE && (flags & FILE_FLAG_NO_BUFFERING)) g_unbuffered.insert(h);
    return h;
}

BOOL WINAPI ForgettingCloseHandle(HANDLE h) {
    g_unbuffered.erase(h);
    return fault::Real(&CloseHandle, "kernel32.dll", "CloseHandle")(h);
}

BOOL WINAPI SectorStrictReadFile(HANDLE h, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    if (g_unbuffered.count(h)) {
        ++g_unbufferedReads;
        if (reinterpret_cast<uintptr_t>(buffer) % kSector != 0 || size % kSector != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    return fault::Real(&ReadFile, "kernel32.dll", "ReadFile")(h, buffer, size, got, overlapped);
}

class Unbuffered : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        ASSERT_EQ(BuildEncryptInfoW(nullptr, &info), TRUE);
        ASSERT_TRUE(WriteFileBytes(file, data));
        ASSERT_EQ(EncryptFileInPlaceW(file.c_str(), &info, &state, nullptr), TRUE);
        g_unbufferedReads = 0;
    }
    void TearDown() override { oper::FreeTransferBuffer(); }

    // This executable links the library's objects: its own imports are the
    // library's boundary here.
    fault::ImportPatch create{GetModuleHandleW(nullptr), "KERNEL32.dll", "CreateFileW",
                              reinterpret_cast<const void*>(&RecordingCreateFileW)};
    fault::ImportPatch close{GetModuleHandleW(nullptr), "KERNEL32.dll", "CloseHandle",
                             reinterpret_cast<const void*>(&ForgettingCloseHandle)};
    fault::ImportPatch read{GetModuleHandleW(nullptr), "KERNEL32.dll", "ReadFile",
                            reinterpret_cast<const void*>(&SectorStrictReadFile)};
    testing_support::StandinStore store;
    // Outermost, so the strict reads see what the filter reads.
    FilterModel filter{GetModuleHandleW(nullptr)};
    TempDir dir;
    std::wstring file = dir / L"ledger.xls";
    std::string data = Pattern(GetParam());
    ENCRYPT_INFO info = {};
    uint32_t state = FILEOPER_STATE_RUNNING;
};

// In place with its own buffer and with the shared one, and to a second file.
TEST_P(Unbuffered, EveryDecryptionReadsAlignedWholeSectors) {
    EXPECT_EQ(DecryptFileInPlaceW(file.c_str(), &state, nullptr), TRUE);
    EXPECT_EQ(GetOperErrorCode(), 0u);
    EXPECT_EQ(ReadFileBytes(file), data);
    EXPECT_EQ(g_unbufferedReads > 0, !data.empty());

    ASSERT_EQ(EncryptFileInPlaceW(file.c_str(), &info, &state, nullptr), TRUE);
    ASSERT_EQ(oper::AllocTransferBuffer(oper::kTransferBufferSize), 1u);
    EXPECT_EQ(DecryptFileInPlaceW(file.c_str(), &state, nullptr), TRUE);
    EXPECT_EQ(ReadFileBytes(file), data);
    oper::FreeTransferBuffer();

    ASSERT_EQ(EncryptFileInPlaceW(file.c_str(), &info, &state, nullptr), TRUE);
    const std::wstring destination = dir / L"plain.xls";
    EXPECT_EQ(DecryptFileToW(file.c_str(), destination.c_str(), &state, nullptr), TRUE);
    EXPECT_EQ(ReadFileBytes(destination), data);
}

// Sizes that end mid-sector, exactly on a chunk, and past a 1 MiB chunk.
INSTANTIATE_TEST_SUITE_P(Sizes, Unbuffered, ::testing::Values(size_t{1000}, size_t{65536}, size_t{1048576 + 777}));

}  // namespace
