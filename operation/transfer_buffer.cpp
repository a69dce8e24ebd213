#include "operation/transfer_buffer.h"

#include <windows.h>

#include "operation/operation_state.h"

namespace oper {

uint32_t AllocTransferBuffer(uint32_t size) {
    if (size & 0xFFFF) return 0;
    if (g_state.transferBuffer) return 1;
    g_state.transferBufferSize = size;
    g_state.transferBuffer = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return g_state.transferBuffer ? 1 : 0;
}

void FreeTransferBuffer() {
    if (!g_state.transferBuffer) return;
    VirtualFree(g_state.transferBuffer, 0, MEM_RELEASE);
    g_state.transferBuffer = nullptr;
    g_state.transferBufferSize = 0;
}

}  // namespace oper
