#include "engine/journal.h"

#include <atomic>
#include <cstring>
#include <map>
#include <tuple>

#include "engine/user_data.h"

namespace oper {

namespace {

constexpr wchar_t kJournalName[] = L"TzVozAdu\\Recovery.jnl";
// A journal past this size is compacted when a process first opens it, and
// by a process that has appended as much since it opened or compacted it.
constexpr uint64_t kCompactionSize = 1 << 20;
// After the journal could not be opened, the next attempt waits this long,
// so that a folder the user cannot write costs each transform nothing.
constexpr ULONGLONG kRetryPauseMs = 1000;
constexpr size_t kWriterSize = 20;  // mark, process, start time, sequence

using Key = std::tuple<uint32_t, uint64_t, uint32_t>;

Key KeyOf(const JournalWriter& writer) { return {writer.process, writer.started, writer.sequence}; }

// Last error and module error state are the caller's: nothing here may
// change what a transform reports.
class KeepLastError {
public:
    KeepLastError() : saved_(GetLastError()) {}
    ~KeepLastError() { SetLastError(saved_); }
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;

private:
    DWORD saved_;
};

void PutText(fw::Bytes& out, const std::wstring& text) {
    fw::PutU32(out, static_cast<uint32_t>(text.size()));
    fw::PutBytes(out, text.data(), text.size() * sizeof(wchar_t));
}

bool GetText(const uint8_t*& at, const uint8_t* end, std::wstring& text) {
    if (end - at < 4) return false;
    const uint32_t chars = fw::GetU32(at);
    at += 4;
    if (static_cast<size_t>(end - at) / sizeof(wchar_t) < chars) return false;
    text.assign(chars, L'\0');
    memcpy(&text[0], at, chars * sizeof(wchar_t));
    at += chars * sizeof(wchar_t);
    return true;
}

bool ParseIntent(const uint8_t* at, const uint8_t* end, JournalIntent& intent) {
    if (end - at < 16) return false;
    intent.op = static_cast<JournalOp>(fw::GetU32(at));
    intent.encryptedLeftover = fw::GetU32(at + 4) != 0;
    intent.size = fw::GetU64(at + 8);
    at += 16;
    if (!GetText(at, end, intent.document) || !GetText(at, end, intent.leftover)) return false;
    intent.hasInfo = end - at == sizeof intent.info;
    if (intent.hasInfo) memcpy(&intent.info, at, sizeof intent.info);
    return intent.hasInfo || at == end;
}

// Folds the records' payloads into intents; unknown or malformed records,
// a second copy of an intent and marks without their intent (cut off by a
// rewrite) are passed over. keep, when given, receives the payloads of the
// intents left without "done".
std::vector<JournalIntent> Collate(const std::vector<fw::Bytes>& records, std::vector<fw::Bytes>* keep = nullptr) {
    std::vector<JournalIntent> intents;
    std::vector<std::vector<fw::Bytes>> payloads;
    std::map<Key, size_t> index;
    for (const fw::Bytes& record : records) {
        const uint8_t* payload = record.data();
        const size_t size = record.size();
        if (size < kWriterSize) continue;
        const auto mark = static_cast<JournalMark>(fw::GetU32(payload));
        JournalWriter writer{fw::GetU32(payload + 4), fw::GetU64(payload + 8), fw::GetU32(payload + 16)};
        const auto found = index.find(KeyOf(writer));
        if (mark == JournalMark::kIntent) {
            JournalIntent intent;
            intent.writer = writer;
            if (found != index.end() || !ParseIntent(payload + kWriterSize, payload + size, intent)) continue;
            index[KeyOf(writer)] = intents.size();
            intents.push_back(intent);
            payloads.emplace_back();
        } else if (found != index.end()) {
            JournalIntent& intent = intents[found->second];
            intent.whole |= mark == JournalMark::kWhole;
            intent.deferred |= mark == JournalMark::kDeferred;
            intent.done |= mark == JournalMark::kDone;
        } else {
            continue;
        }
        payloads[index[KeyOf(writer)]].push_back(record);
    }
    if (keep) {
        for (size_t i = 0; i < intents.size(); ++i)
            if (!intents[i].done) keep->insert(keep->end(), payloads[i].begin(), payloads[i].end());
    }
    return intents;
}

uint64_t ProcessStarted() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

HANDLE OpenJournal(const std::wstring& path) {
    if (path.empty()) return INVALID_HANDLE_VALUE;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        ((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) > kCompactionSize)
        CompactJournal(path);
    // Each record reaches the disk before the transform goes on, so that a
    // power loss never leaves a leftover the journal does not know.
    return fw::OpenRecordFile(path, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
}

// The journal as this process appends to it: opened at its first record and
// kept open; a failed open is tried again only after a pause. A "done" goes
// out with the process's next record (or when the library is unloaded), so
// that a transform costs one append, not two: until then its intent merely
// looks unfinished, and the recovery finds the document whole.
// A host may stay open for days: it compacts the journal itself every
// kCompactionSize bytes it appends, or the file would grow with each of its
// transforms and the next process to open it would hold it all in memory.
class ProcessJournal {
public:
    ~ProcessJournal() {
        const HANDLE file = file_.load();
        if (file == INVALID_HANDLE_VALUE) return;
        if (!pending_.empty()) fw::AppendRecords(file, pending_);
        CloseHandle(file);
    }

    void Append(fw::Bytes payload, bool mayWait) {
        AcquireSRWLockExclusive(&appending_);
        pending_.push_back(std::move(payload));
        if (!mayWait) {
            const HANDLE file = File();
            if (file != INVALID_HANDLE_VALUE && fw::AppendRecords(file, pending_)) CompactWhenGrown();
            pending_.clear();
        }
        ReleaseSRWLockExclusive(&appending_);
    }

    HANDLE File() {
        HANDLE file = file_.load();
        if (file != INVALID_HANDLE_VALUE || GetTickCount64() < retryAt_.load()) return file;
        AcquireSRWLockExclusive(&opening_);
        file = file_.load();
        if (file == INVALID_HANDLE_VALUE && GetTickCount64() >= retryAt_.load()) {
            path_ = JournalPath();
            file = OpenJournal(path_);
            if (file == INVALID_HANDLE_VALUE) retryAt_ = GetTickCount64() + kRetryPauseMs;
            file_ = file;
        }
        ReleaseSRWLockExclusive(&opening_);
        return file;
    }

    JournalWriter NextWriter() { return {GetCurrentProcessId(), started_, ++sequence_}; }

private:
    // Under the appending lock, after pending_ went out.
    void CompactWhenGrown() {
        for (const fw::Bytes& payload : pending_) appended_ += payload.size();
        if (appended_ < kCompactionSize) return;
        appended_ = 0;
        CompactJournal(path_);
    }

    std::atomic<HANDLE> file_{INVALID_HANDLE_VALUE};
    std::atomic<ULONGLONG> retryAt_{0};
    std::atomic<uint32_t> sequence_{0};
    const uint64_t started_ = ProcessStarted();
    SRWLOCK opening_ = SRWLOCK_INIT;
    SRWLOCK appending_ = SRWLOCK_INIT;
    std::vector<fw::Bytes> pending_;
    std::wstring path_;     // where the file was opened
    uint64_t appended_ = 0;  // payload bytes since it was opened or compacted
};

ProcessJournal& Journal() {
    static ProcessJournal journal;
    return journal;
}

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(path.size() + MAX_PATH, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return full;
}

std::wstring Widen(const char* text) {
    const int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (chars <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], chars);
    wide.resize(static_cast<size_t>(chars - 1));
    return wide;
}

}  // namespace

std::wstring JournalPath() {
    wchar_t path[MAX_PATH];
    return UserDataPath(kJournalName, path) ? std::wstring(path) : std::wstring();
}

bool ReadJournal(const std::wstring& path, std::vector<JournalIntent>& intents) {
    std::vector<fw::Bytes> payloads;
    const bool read = fw::RecordLog(path).Read([&](const uint8_t* payload, size_t size) {
        payloads.emplace_back(payload, payload + size);
        return true;
    });
    intents = Collate(payloads);
    return read;
}

bool CompactJournal(const std::wstring& path) {
    return fw::RewriteRecords(path, [](const fw::Bytes& content) {
        std::vector<fw::Bytes> payloads, keep;
        fw::VisitRecords(content, [&](const uint8_t* payload, size_t size) {
            payloads.emplace_back(payload, payload + size);
            return true;
        });
        Collate(payloads, &keep);
        return keep;
    });
}

fw::Bytes JournalRecord(JournalMark mark, const JournalWriter& writer, const JournalIntent* intent) {
    fw::Bytes payload;
    fw::PutU32(payload, static_cast<uint32_t>(mark));
    fw::PutU32(payload, writer.process);
    fw::PutU64(payload, writer.started);
    fw::PutU32(payload, writer.sequence);
    if (intent) {
        fw::PutU32(payload, static_cast<uint32_t>(intent->op));
        fw::PutU32(payload, intent->encryptedLeftover ? 1 : 0);
        fw::PutU64(payload, intent->size);
        PutText(payload, intent->document);
        PutText(payload, intent->leftover);
        if (intent->hasInfo) fw::PutBytes(payload, &intent->info, sizeof intent->info);
    }
    return payload;
}

JournalEntry::JournalEntry(JournalOp op, const wchar_t* document, const wchar_t* leftover, uint64_t size,
                           const ENCRYPT_INFO* info) {
    const KeepLastError keep;
    JournalIntent intent;
    intent.writer = writer_ = Journal().NextWriter();
    intent.op = op;
    intent.encryptedLeftover = op != JournalOp::kDecrypt;
    intent.size = size;
    intent.document = FullPath(document);
    intent.leftover = leftover;
    intent.hasInfo = info != nullptr;
    if (info) intent.info = *info;
    Journal().Append(JournalRecord(JournalMark::kIntent, writer_, &intent), false);
}

JournalEntry::JournalEntry(JournalOp op, const char* document, const char* leftover, uint64_t size,
                           const ENCRYPT_INFO* info)
    : JournalEntry(op, Widen(document).c_str(), Widen(leftover).c_str(), size, info) {}

void JournalEntry::Mark(JournalMark mark) const {
    const KeepLastError keep;
    Journal().Append(JournalRecord(mark, writer_, nullptr), mark == JournalMark::kDone);
}

}  // namespace oper
