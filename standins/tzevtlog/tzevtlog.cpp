// TzEvtLog stand-in: the product's event log, one record per entry in the
// stand-ins' store, each with its id, its time and the caller's data bytes.
#include "tzevtlog.h"

#include <cwchar>
#include <string>

#include "framework/record_log.h"
#include "standins/common/store_root.h"
#include "tzevtlog_standin.h"

namespace {

constexpr wchar_t kLogName[] = L"\\events.log";
// The entries whose data start with the file's attribute block.
constexpr uint32_t kEncryptedWithAttributes = 20;
constexpr uint32_t kDecryptedWithAttributes = 21;
constexpr size_t kAttributeBlockSize = 36;
// Payload: id, time, then the data.
constexpr size_t kDataOffset = 12;

fw::RecordLog Log() { return fw::RecordLog(standin::StoreRoot() + kLogName); }

size_t PathBytes(const void* path) { return (wcslen(static_cast<const wchar_t*>(path)) + 1) * sizeof(wchar_t); }

// How many bytes the caller handed over: the attribute block and the path,
// or the path alone, its NUL included.
size_t DataSize(uint32_t id, const void* data) {
    if (id != kEncryptedWithAttributes && id != kDecryptedWithAttributes) return PathBytes(data);
    return kAttributeBlockSize + PathBytes(static_cast<const uint8_t*>(data) + kAttributeBlockSize);
}

}  // namespace

extern "C" int WINAPI Event_Add(uint32_t id, const void* data) {
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    fw::Bytes payload;
    fw::PutU32(payload, id);
    fw::PutU64(payload, fw::Now());
    fw::PutBytes(payload, data, DataSize(id, data));
    return Log().Append(payload) ? 1 : 0;
}

extern "C" int WINAPI TzEvtLogReadW(TzEvtLogVisitor visit, void* context) {
    if (!visit) return 0;
    return Log().Read([&](const uint8_t* payload, size_t size) {
        if (size < kDataOffset) return true;
        return visit(context, fw::GetU32(payload), fw::GetU64(payload + 4), payload + kDataOffset,
                     static_cast<uint32_t>(size - kDataOffset)) != 0;
    }) ? 1 : 0;
}

extern "C" uint32_t WINAPI TzEvtLogPathW(wchar_t* out, uint32_t capacity) {
    return standin::CopyOut(Log().path(), out, capacity);
}
