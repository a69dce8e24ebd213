#pragma once
// An append-only file of records that a kill at any moment leaves readable.
// Each record is written with one call: a header (magic, payload length),
// the payload, and a CRC-32 over the length and the payload. A reader takes
// the records that are whole and skips any stretch that is not (the torn
// tail of a killed writer, with records appended after it), so no record is
// ever changed in place (only a rewrite that keeps some records drops the
// others) and no process has to look at the file before appending.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fw {

using Bytes = std::vector<uint8_t>;
using RecordVisitor = std::function<bool(const uint8_t* payload, size_t size)>;

// The file at path opened for appending records, shared with every other
// reader and appender (flags: its attributes and flags); its folder is
// created when missing. INVALID_HANDLE_VALUE with the system's error when it
// cannot be opened.
HANDLE OpenRecordFile(const std::wstring& path, DWORD flags = FILE_ATTRIBUTE_NORMAL);

// Appends records to a file that OpenRecordFile opened, all with one write;
// false (with the system's last error) when they could not be written.
bool AppendRecords(HANDLE file, const std::vector<Bytes>& payloads);
inline bool AppendRecord(HANDLE file, const Bytes& payload) { return AppendRecords(file, {payload}); }

// Visits every whole record of content, oldest first, until visit returns
// false.
void VisitRecords(const Bytes& content, const RecordVisitor& visit);

// Rewrites the file at path with the payloads keep(content) returns, in the
// appenders' turn so that no record appended meanwhile is lost. The kept
// records are written over the start of the file before it is cut after
// them: a kill in between leaves them whole, followed by older records that
// a reader then meets a second time. False when the file could not be read
// or written; a missing file has nothing to rewrite.
bool RewriteRecords(const std::wstring& path, const std::function<std::vector<Bytes>(const Bytes& content)>& keep);

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
    bool Read(const RecordVisitor& visit) const;

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

}  // namespace fw
