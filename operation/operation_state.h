#pragma once
// The records of an operation run: the host's request, read in place, and the
// one module-wide block of state that the run's threads share.
#include <windows.h>

#include <cstdint>

#include "fileoper.h"

namespace oper {

class RunDialog;

enum RunState : uint32_t {
    kRunning = 256,
    kPaused = 512,
    kFinished = 768,
    kCancelRequested = 1024,
};

enum RequestKind : uint32_t { kKindEncrypt = 0, kKindDecrypt = 1 };

enum RequestFlag : uint32_t {
    kFlagMove = 0x1,
    kFlagToDestination = 0x2,
    kFlagWipe = 0x4,
    kFlagRecordArgument = 0x8,
    kFlagCloseAtEnd = 0x10,
    kFlagSkipEncrypted = 0x20,
    kFlagNoDescent = 0x40,
    kFlagAskOnErrors = 0x100,
    kFlagPresetChoiceMask = 0xFF00,
    kFlagDecryptAfterReboot = 0x10000,
};

// The host's request, as laid out in its memory. Never copied: the paths lie
// behind the header, at offsets counted from the path area.
class RequestView {
public:
    explicit RequestView(const OperationRequest* request) : request_(request) {}

    uint32_t Kind() const { return request_->kind; }
    uint32_t Flags() const { return request_->flags; }
    ENCRYPT_INFO* EncryptInfo() const { return const_cast<ENCRYPT_INFO*>(&request_->encryptInfo); }
    const wchar_t* Destination() const { return PathAt(request_->destinationOffset); }
    const wchar_t* SourceRoot() const { return PathAt(request_->sourceRootOffset); }

    // Calls visit(path) for each item: up to the item count, or up to the
    // first empty string, whichever comes first.
    template <typename Visit>
    void ForEachItem(Visit visit) const {
        const wchar_t* item = PathAt(request_->itemListOffset);
        for (int32_t i = 0; i < request_->itemCount && *item; ++i) {
            visit(item);
            item += wcslen(item) + 1;
        }
    }

private:
    const wchar_t* PathAt(uint32_t offset) const {
        return reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(&request_->pathArea) + offset);
    }

    const OperationRequest* request_;
};

constexpr size_t kItemNameCapacity = 4096;

// Plain words shared by the run's threads without a lock: each field has one
// writer at a time, the others poll it.
struct OperationState {
    volatile uint64_t totalBytes;
    volatile uint64_t completedBytes;
    volatile uint32_t fileTotal;
    volatile uint32_t filesDone;
    volatile uint32_t reverseProgress;
    volatile uint32_t currentItemPercent;
    volatile uint64_t currentItemSize;
    const OperationRequest* volatile request;
    volatile uint32_t runState;
    volatile uint32_t errorCount;
    volatile uint32_t rememberedChoice;
    volatile uint32_t applyToAll;
    uint64_t reserved;
    wchar_t currentItemName[kItemNameCapacity];
    RunDialog* volatile dialog;
    volatile uint32_t operationFlags;
    void* volatile transferBuffer;
    volatile uint32_t transferBufferSize;
    // 1 while the failure put to the user cannot be tried again: the plain
    // source was already being overwritten, and a retry would encrypt what
    // is left of it over the whole copy.
    volatile uint32_t retryRefused;
};

extern OperationState g_state;

// A file's size rounded up to a multiple of 8192 bytes: the unit of every
// byte counter of a run, so that the scan, the worker and the undo add up.
inline uint64_t RoundedSize(uint32_t sizeHigh, uint32_t sizeLow) {
    const uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    return (size + 8191) & ~static_cast<uint64_t>(8191);
}

// The nine u64 slots handed to the host at the end of a run.
constexpr int kResultSlots = 9;
void CopyResults(const OperationState& state, uint64_t results[kResultSlots]);

}  // namespace oper
