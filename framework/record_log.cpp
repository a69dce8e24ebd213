#include "framework/record_log.h"

#include <windows.h>

#include <cstring>

#include "framework/handles.h"

namespace fw {

namespace {

constexpr uint32_t kMagic = 0x314C5A54;  // "TZL1"
constexpr size_t kHeaderSize = 8;        // magic, payload length
constexpr size_t kTrailerSize = 4;       // CRC-32
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t end = path.find_last_of(L'\\');
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

// The folder with every missing parent.
void CreateFolders(const std::wstring& folder) {
    if (folder.empty() || CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() != ERROR_PATH_NOT_FOUND) return;
    CreateFolders(FolderOf(folder));
    CreateDirectoryW(folder.c_str(), nullptr);
}

// Read access as well, which a lock needs.
HANDLE OpenForAppend(const std::wstring& path, DWORD flags) {
    return CreateFileW(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS, flags,
                       nullptr);
}

// Appends take turns through a lock on one byte far beyond any record: Wine
// finds the end of the file and writes there in two steps, so two appenders
// at once could write over each other. A killed process's lock goes with its
// handles.
class AppendTurn {
public:
    explicit AppendTurn(HANDLE file) : file_(file) {
        at_.OffsetHigh = kLockOffsetHigh;
        held_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at_) != FALSE;
    }
    ~AppendTurn() {
        if (held_) UnlockFileEx(file_, 0, 1, 0, &at_);
    }
    AppendTurn(const AppendTurn&) = delete;
    AppendTurn& operator=(const AppendTurn&) = delete;
    bool held() const { return held_; }

private:
    static constexpr DWORD kLockOffsetHigh = 0x40000000;  // 2^62
    HANDLE file_;
    OVERLAPPED at_ = {};
    bool held_ = false;
};

bool ReadAll(HANDLE file, Bytes& content) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return false;
    content.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    DWORD read = 0;
    while (done < content.size() &&
           ReadFile(file, content.data() + done, static_cast<DWORD>(content.size() - done), &read, nullptr) && read)
        done += read;
    content.resize(done);
    return true;
}

bool ReadAll(const std::wstring& path, Bytes& content) {
    FileHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ReadAll(file.get(), content);
}

// The record at offset, if it is whole: its payload size.
bool WholeRecordAt(const Bytes& content, size_t offset, size_t& payloadSize) {
    if (content.size() - offset < kHeaderSize + kTrailerSize || GetU32(&content[offset]) != kMagic) return false;
    payloadSize = GetU32(&content[offset + 4]);
    if (payloadSize > content.size() - offset - kHeaderSize - kTrailerSize) return false;
    const uint8_t* covered = &content[offset + 4];
    return Crc32(covered, 4 + payloadSize) == GetU32(covered + 4 + payloadSize);
}

Bytes Framed(const Bytes& payload) {
    Bytes record(kHeaderSize + payload.size() + kTrailerSize);
    SetU32(&record[0], kMagic);
    SetU32(&record[4], static_cast<uint32_t>(payload.size()));
    if (!payload.empty()) memcpy(&record[kHeaderSize], payload.data(), payload.size());
    SetU32(&record[kHeaderSize + payload.size()], Crc32(&record[4], 4 + payload.size()));
    return record;
}

}  // namespace

void SetU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutU32(Bytes& out, uint32_t value) {
    out.resize(out.size() + 4);
    SetU32(&out[out.size() - 4], value);
}

void PutU64(Bytes& out, uint64_t value) {
    PutU32(out, static_cast<uint32_t>(value));
    PutU32(out, static_cast<uint32_t>(value >> 32));
}

void PutBytes(Bytes& out, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

uint32_t GetU32(const uint8_t* at) {
    return at[0] | (static_cast<uint32_t>(at[1]) << 8) | (static_cast<uint32_t>(at[2]) << 16) |
           (static_cast<uint32_t>(at[3]) << 24);
}

uint64_t GetU64(const uint8_t* at) { return GetU32(at) | (static_cast<uint64_t>(GetU32(at + 4)) << 32); }

uint64_t Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

HANDLE OpenRecordFile(const std::wstring& path, DWORD flags) {
    HANDLE file = OpenForAppend(path, flags);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
        CreateFolders(FolderOf(path));
        file = OpenForAppend(path, flags);
    }
    return file;
}

// One write call for the records, in its turn: a kill leaves either nothing
// or a torn tail.
bool AppendRecords(HANDLE file, const std::vector<Bytes>& payloads) {
    Bytes record;
    for (const Bytes& payload : payloads) {
        const Bytes framed = Framed(payload);
        record.insert(record.end(), framed.begin(), framed.end());
    }
    const AppendTurn turn(file);
    DWORD written = 0;
    return turn.held() && WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) &&
           written == record.size();
}

void VisitRecords(const Bytes& content, const RecordVisitor& visit) {
    size_t offset = 0, payloadSize = 0;
    while (offset < content.size()) {
        if (WholeRecordAt(content, offset, payloadSize)) {
            if (!visit(&content[offset + kHeaderSize], payloadSize)) break;
            offset += kHeaderSize + payloadSize + kTrailerSize;
        } else {
            ++offset;  // damaged: look for the next whole record
        }
    }
}

bool RewriteRecords(const std::wstring& path, const std::function<std::vector<Bytes>(const Bytes&)>& keep) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    const AppendTurn turn(file.get());
    Bytes content;
    if (!turn.held() || !ReadAll(file.get(), content)) return false;
    Bytes kept;
    for (const Bytes& payload : keep(content)) {
        const Bytes record = Framed(payload);
        kept.insert(kept.end(), record.begin(), record.end());
    }
    DWORD written = 0;
    return SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == 0 &&
           (kept.empty() || WriteFile(file.get(), kept.data(), static_cast<DWORD>(kept.size()), &written, nullptr)) &&
           SetEndOfFile(file.get());
}

bool RecordLog::Append(const Bytes& payload) const {
    FileHandle file(OpenRecordFile(path_));
    return file && AppendRecord(file.get(), payload);
}

bool RecordLog::Read(const RecordVisitor& visit) const {
    Bytes content;
    if (!ReadAll(path_, content)) return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    VisitRecords(content, visit);
    return true;
}

}  // namespace fw
