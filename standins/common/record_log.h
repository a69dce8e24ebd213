#pragma once
// An append-only file of records that a kill at any moment leaves readable.
// Each record is written with one call: a header (magic, payload length),
// the payload, and a CRC-32 over the length and the payload. A reader takes
// the records that are whole and skips any stretch that is not (the torn
// tail of a killed writer, with records appended after it), so nothing is
// ever rewritten and no process has to look at the file before appending.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace standin {

using Bytes = std::vector<uint8_t>;

class RecordLog {
public:
    // path: the file; its folder is created with the first record.
    explicit RecordLog(std::wstring path) : path_(std::move(path)) {}

    const std::wstring& path() const { return path_; }

    // Appends one record; false (with the system's last error) when it could
    // not be written.
    bool Append(const Bytes& payload) const;

    // Visits every whole record, oldest first, until visit returns false.
    // False when the file exists but cannot be read; a missing file has no
    // records.
    bool Read(const std::function<bool(const uint8_t* payload, size_t size)>& visit) const;

private:
    std::wstring path_;
};

// Payload building and reading, little-endian as the stand-ins write it.
void SetU32(uint8_t* at, uint32_t value);
void PutU32(Bytes& out, uint32_t value);
void PutU64(Bytes& out, uint64_t value);
void PutBytes(Bytes& out, const void* data, size_t size);
uint32_t GetU32(const uint8_t* at);
uint64_t GetU64(const uint8_t* at);

// The system time as a FILETIME value.
uint64_t Now();

}  // namespace standin
