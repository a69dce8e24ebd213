#pragma once
// The shared transfer buffer of a run: allocated by the worker around each
// top-level item, so every copy inside it works in 1 MiB chunks without an
// allocation per file.
#include <cstdint>

namespace oper {

constexpr uint32_t kTransferBufferSize = 1024 * 1024;

// 1 when the buffer exists afterwards; 0 for a size that is not a multiple of
// 64 KiB (page-aligned, sector-multiple chunks for unbuffered reads) or when
// the pages cannot be had. An existing buffer is kept as it is.
uint32_t AllocTransferBuffer(uint32_t size);
void FreeTransferBuffer();

}  // namespace oper
