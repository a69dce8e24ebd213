#include "operation/operation_state.h"

#include <cstddef>

namespace oper {

static_assert(offsetof(OperationRequest, kind) == 4, "request layout");
static_assert(offsetof(OperationRequest, flags) == 8, "request layout");
static_assert(offsetof(OperationRequest, encryptInfo) == 12, "request layout");
static_assert(offsetof(OperationRequest, pathArea) == 192, "request layout");
static_assert(offsetof(OperationRequest, destinationOffset) == 196, "request layout");
static_assert(offsetof(OperationRequest, sourceRootOffset) == 200, "request layout");
static_assert(offsetof(OperationRequest, itemListOffset) == 204, "request layout");
static_assert(offsetof(OperationRequest, itemCount) == 208, "request layout");

OperationState g_state = {};

namespace {

uint64_t Pack(uint32_t low, uint32_t high) { return (static_cast<uint64_t>(high) << 32) | low; }

}  // namespace

void CopyResults(const OperationState& state, uint64_t results[kResultSlots]) {
    results[0] = state.totalBytes;
    results[1] = state.completedBytes;
    results[2] = Pack(state.fileTotal, state.filesDone);
    results[3] = Pack(state.reverseProgress, state.currentItemPercent);
    results[4] = state.currentItemSize;
    results[5] = reinterpret_cast<uintptr_t>(state.request);
    results[6] = Pack(state.runState, state.errorCount);
    results[7] = Pack(state.rememberedChoice, state.applyToAll);
    results[8] = state.reserved;
}

}  // namespace oper
