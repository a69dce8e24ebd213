#include "transforms/chunked_copy.h"

#include "exports/error_state.h"
#include "fileoper.h"
#include "framework/handles.h"
#include "operation/operation_state.h"
#include "transforms/path_api.h"

namespace oper {

namespace {

constexpr DWORD kChunkSize = 64 * 1024;
// The run state word is the only thing the dialog writes for a pause, so
// the wait is a short sleep between looks at it.
constexpr DWORD kPausePollMs = 20;

struct SourceFacts {
    DWORD attributes;
    FILETIME creationTime;
    FILETIME lastWriteTime;
    int64_t size;
};

SourceFacts FactsOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    const int64_t size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return {data.dwFileAttributes, data.ftCreationTime, data.ftLastWriteTime, size};
}

// The percentage in single precision, truncated, as the progress display
// expects it.
uint32_t Percent(int64_t copied, int64_t size) {
    return static_cast<uint32_t>(static_cast<float>(copied) / static_cast<float>(size) * 100.0f);
}

// Before each chunk: the run's worker waits here while the run is paused.
// True while the copy may go on.
bool GoesOn(const volatile uint32_t* state) {
    if (state == &g_state.runState) WaitWhileRunPaused();
    return *state != kCancelRequested;
}

// The two open files of one copy, with the order of the finishing steps.
template <typename Char>
class CopyJob {
public:
    CopyJob(const Char* source, const Char* destination) : sourcePath_(source), destinationPath_(destination) {}

    // Reads the source's facts and opens both files; sets 1 or 2 on failure.
    bool Open(DWORD sourceFlags, DWORD destinationFlags) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!PathApi<Char>::GetAttributes(sourcePath_, &data)) {
            SetOperError(kErrGetAttributes);
            return false;
        }
        facts_ = FactsOf(data);
        source_ = fw::FileHandle(PathApi<Char>::Open(sourcePath_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     OPEN_EXISTING, sourceFlags));
        if (!source_) {
            SetOperError(kErrOpenFile);
            return false;
        }
        destination_ = fw::FileHandle(
            PathApi<Char>::Open(destinationPath_, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, destinationFlags));
        if (!destination_) {
            SetOperError(kErrOpenFile);
            source_.reset();
            return false;
        }
        return true;
    }

    // Copies chunk by chunk until the recorded size is reached or a cancel
    // is requested; false when a read or a write failed.
    bool Pour(void* buffer, DWORD chunk, const volatile uint32_t* state, volatile uint32_t* percent) {
        int64_t copied = 0;
        while (copied < facts_.size && GoesOn(state)) {
            DWORD got = 0;
            if (!ReadFile(source_.get(), buffer, chunk, &got, nullptr)) return false;
            if (got == 0) {
                // The source became shorter than when the copy started: its
                // data are not what was measured, so the copy is not whole.
                SetLastError(ERROR_HANDLE_EOF);
                return false;
            }
            DWORD written = 0;
            if (!WriteFile(destination_.get(), buffer, got, &written, nullptr)) return false;
            copied += written;
            if (percent) *percent = Percent(copied, facts_.size);
        }
        return true;
    }

    BOOL Finish() {
        source_.reset();
        SetEndOfFile(destination_.get());
        SetFileTime(destination_.get(), &facts_.creationTime, nullptr, &facts_.lastWriteTime);
        destination_.reset();
        PathApi<Char>::CopySecurity(sourcePath_, destinationPath_);
        PathApi<Char>::SetAttributes(destinationPath_, facts_.attributes);
        return Succeed();
    }

    // The error is set first, so the system error captured is the failed call's.
    BOOL Fail() {
        SetOperError(kErrReadWrite);
        source_.reset();
        destination_.reset();
        PathApi<Char>::Delete(destinationPath_);
        return FALSE;
    }

    void CloseBoth() {
        destination_.reset();
        source_.reset();
    }

private:
    const Char* sourcePath_;
    const Char* destinationPath_;
    SourceFacts facts_ = {};
    fw::FileHandle source_;
    fw::FileHandle destination_;
};

template <typename Char>
BOOL CopyWithProgress(const Char* source, const Char* destination, const volatile uint32_t* state,
                      volatile uint32_t* percent) {
    CopyJob<Char> job(source, destination);
    if (!job.Open(0, 0)) return FALSE;
    // In the frame: a direct call of the export allocates nothing.
    char buffer[kChunkSize];
    return job.Pour(buffer, kChunkSize, state, percent) ? job.Finish() : job.Fail();
}

template <typename Char>
BOOL TransformCopy(const Char* source, const Char* destination, DWORD sourceFlags, DWORD destinationFlags,
                   const volatile uint32_t* state, volatile uint32_t* percent) {
    CopyJob<Char> job(source, destination);
    if (!job.Open(sourceFlags, destinationFlags)) return FALSE;

    void* buffer = g_state.transferBuffer;
    DWORD chunk = g_state.transferBufferSize;
    fw::VirtualPages own;
    if (!buffer) {
        own = fw::VirtualPages::allocate(kChunkSize);
        if (!own.valid()) {
            SetOperError(kErrOpenFile);
            job.CloseBoth();
            return FALSE;
        }
        buffer = own.get();
        chunk = kChunkSize;
    }
    if (job.Pour(buffer, chunk, state, percent)) {
        own.reset();
        return job.Finish();
    }
    BOOL result = job.Fail();
    own.reset();
    return result;
}

}  // namespace

void WaitWhileRunPaused() {
    while (g_state.runState == kPaused) SleepEx(kPausePollMs, FALSE);
}

BOOL TransformCopyFileW(const wchar_t* source, const wchar_t* destination, DWORD sourceFlags,
                        DWORD destinationFlags, const volatile uint32_t* state, volatile uint32_t* percent) {
    return TransformCopy(source, destination, sourceFlags, destinationFlags, state, percent);
}

BOOL TransformCopyFileA(const char* source, const char* destination, DWORD sourceFlags, DWORD destinationFlags,
                        const volatile uint32_t* state, volatile uint32_t* percent) {
    return TransformCopy(source, destination, sourceFlags, destinationFlags, state, percent);
}

}  // namespace oper

extern "C" BOOL WINAPI CopyFileWithProgressA(const char* source, const char* destination, uint32_t* state,
                                             uint32_t* percent) {
    return oper::CopyWithProgress(source, destination, state, percent);
}

extern "C" BOOL WINAPI CopyFileWithProgressW(const wchar_t* source, const wchar_t* destination, uint32_t* state,
                                             uint32_t* percent) {
    return oper::CopyWithProgress(source, destination, state, percent);
}
