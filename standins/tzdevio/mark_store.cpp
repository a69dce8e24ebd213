#include "mark_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <sstream>
#include <vector>

#include "framework/handles.h"
#include "object_identity.h"
#include "standins/common/store_root.h"

namespace tzdevio {

namespace {

constexpr wchar_t kMarksFolder[] = L"\\marks";
constexpr wchar_t kRecordSuffix[] = L".mark";
constexpr wchar_t kPinSuffix[] = L".pin";
// 4096 shards: a name that does not exist yet costs Wine a look through its
// whole folder, so folders stay small however many marks the store holds.
constexpr uint64_t kShardMask = 0xFFF;
// A process sweeps once it has made this many changes: one that only marks a
// few files never pays for listing the shards.
constexpr uint64_t kChangesBeforeSweep = 64;
constexpr int kPinsCheckedPerChange = 2;
constexpr int kNotedCheckedPerChange = 2;
constexpr size_t kNotedKept = 64;

std::wstring MarksFolder() { return StoreFolder() + kMarksFolder; }

std::wstring ShardFolder(uint64_t shard) {
    wchar_t name[8];
    swprintf(name, 8, L"\\%03llX", static_cast<unsigned long long>(shard & kShardMask));
    return MarksFolder() + name;
}

std::wstring IdName(uint64_t id) {
    wchar_t name[32];
    swprintf(name, 32, L"\\%016llX", static_cast<unsigned long long>(id));
    return name;
}

std::wstring RecordPath(uint64_t id) { return ShardFolder(id) + IdName(id) + kRecordSuffix; }

bool EnsureShard(uint64_t id) {
    CreateDirectoryW(StoreFolder().c_str(), nullptr);
    CreateDirectoryW(MarksFolder().c_str(), nullptr);
    return CreateDirectoryW(ShardFolder(id).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool ReadWholeFile(const std::wstring& path, std::string& text) {
    fw::FileHandle file(CreateFileW(SystemForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    text.clear();
    char buffer[16384];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read) text.append(buffer, read);
    return true;
}

bool WriteNewFile(const std::wstring& path, const std::string& text) {
    fw::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// Written beside the record and moved over it, so that a reader in another
// process sees the old record or the new one, never half of one.
bool ReplaceFile(const std::wstring& path, const std::string& text) {
    const std::wstring temp = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
    if (WriteNewFile(temp, text) && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileW(temp.c_str());
    return false;
}

std::string Hex(const void* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char b = static_cast<const unsigned char*>(bytes)[i];
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

bool FromHex(const std::string& text, void* bytes, size_t size) {
    if (text.size() != size * 2) return false;
    for (size_t i = 0; i < size; ++i) {
        unsigned value = 0;
        if (sscanf(text.c_str() + 2 * i, "%2x", &value) != 1) return false;
        static_cast<unsigned char*>(bytes)[i] = static_cast<unsigned char>(value);
    }
    return true;
}

// "key=value" lines: the readable fields for whoever looks into the store,
// and the whole descriptor for the stand-in itself.
std::string Serialize(const MarkRecord& r) {
    std::ostringstream out;
    out << "object=" << (r.folder ? "folder" : "file") << "\n"
        << "marked_path=" << Utf8(r.markedPath) << "\n"
        << "cipher=" << std::string(r.info.cipherName, strnlen(r.info.cipherName, sizeof r.info.cipherName)) << "\n"
        << "cipher_id=" << r.info.cipherId << "\n"
        << "flags=" << r.info.flags << "\n"
        << "stamp=" << r.stamp << "\n"
        << "original_access=" << r.originalAccess << "\n"
        << "descriptor=" << Hex(&r.info, sizeof r.info) << "\n";
    return out.str();
}

bool Parse(const std::string& text, MarkRecord& r) {
    std::istringstream in(text);
    std::string line;
    bool haveDescriptor = false;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "object") r.folder = value == "folder";
        else if (key == "marked_path") r.markedPath = FromUtf8(value);
        else if (key == "stamp") r.stamp = strtoull(value.c_str(), nullptr, 10);
        else if (key == "original_access") r.originalAccess = strtoull(value.c_str(), nullptr, 10);
        else if (key == "descriptor") haveDescriptor = FromHex(value, &r.info, sizeof r.info);
    }
    return haveDescriptor;
}

// The names in a folder that match pattern, as numbers: the shard folders
// of the marks folder, or the pins of a shard by the index they carry.
std::vector<uint64_t> NumberedNames(const std::wstring& pattern) {
    std::vector<uint64_t> numbers;
    WIN32_FIND_DATAW found;
    fw::FindHandle search(FindFirstFileW(pattern.c_str(), &found));
    if (!search) return numbers;
    do numbers.push_back(wcstoull(found.cFileName, nullptr, 16));
    while (FindNextFileW(search.get(), &found));
    return numbers;
}

// A pin that is the only name left belongs to a file that was deleted: its
// mark goes, and with it the last link to the file's data.
void DropPinIfOrphaned(uint64_t id) {
    if (LinkCount(PinPath(id)) == 1) DropFileMark(id);
}

// What this process knows of the store's deleted files: the marked files it
// noted, and where its sweep through the shards stands.
struct Collector {
    std::wstring store;
    uint64_t changes = 0;
    std::deque<std::pair<uint64_t, uint64_t>> noted;  // index, change count when noted
    std::vector<uint64_t> shards;                     // of this round of the sweep, not yet listed
    std::vector<uint64_t> pins;                       // of the shard last listed, not yet checked
};

std::mutex collectorLock;

Collector& CollectorFor(const std::wstring& store) {
    static Collector collector;
    if (collector.store != store) {
        collector = Collector();
        collector.store = store;
    }
    return collector;
}

void CheckNoted(Collector& c) {
    for (int i = 0; i < kNotedCheckedPerChange && !c.noted.empty() && c.noted.front().second < c.changes; ++i) {
        DropPinIfOrphaned(c.noted.front().first);
        c.noted.pop_front();
    }
}

// A round lists the shard folders that exist, in an order of this process's
// own so that processes do not all start with the same ones, then one shard
// a change.
void Sweep(Collector& c) {
    if (c.changes < kChangesBeforeSweep) return;
    if (c.pins.empty() && c.shards.empty()) {
        c.shards = NumberedNames(MarksFolder() + L"\\???");
        const size_t turn = c.shards.empty() ? 0 : (GetTickCount() ^ GetCurrentProcessId()) % c.shards.size();
        std::rotate(c.shards.begin(), c.shards.begin() + turn, c.shards.end());
    }
    if (c.pins.empty() && !c.shards.empty()) {
        c.pins = NumberedNames(ShardFolder(c.shards.back()) + L"\\*" + kPinSuffix);
        c.shards.pop_back();
    }
    for (int i = 0; i < kPinsCheckedPerChange && !c.pins.empty(); ++i) {
        DropPinIfOrphaned(c.pins.back());
        c.pins.pop_back();
    }
}

}  // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring StoreFolder() { return standin::StoreRoot(); }

std::wstring PinPath(uint64_t id) { return ShardFolder(id) + IdName(id) + kPinSuffix; }

bool ReadRecord(uint64_t id, MarkRecord& record) {
    std::string text;
    return ReadWholeFile(RecordPath(id), text) && Parse(text, record);
}

bool WriteRecord(uint64_t id, const MarkRecord& record, bool replacing) {
    const std::wstring path = RecordPath(id);
    const std::string text = Serialize(record);
    auto write = [&] { return replacing ? ReplaceFile(path, text) : WriteNewFile(path, text); };
    if (write()) return true;
    return GetLastError() == ERROR_PATH_NOT_FOUND && EnsureShard(id) && write();
}

void DeleteRecord(uint64_t id) { DeleteFileW(RecordPath(id).c_str()); }

void DropFileMark(uint64_t id) {
    DeleteFileW(PinPath(id).c_str());
    DeleteRecord(id);
}

void NoteMarkedFile(uint64_t id) {
    std::lock_guard<std::mutex> hold(collectorLock);
    Collector& c = CollectorFor(StoreFolder());
    c.noted.emplace_back(id, c.changes);
    if (c.noted.size() > kNotedKept) c.noted.pop_front();
}

void DropSomeDeletedFiles() {
    std::lock_guard<std::mutex> hold(collectorLock);
    Collector& c = CollectorFor(StoreFolder());
    ++c.changes;
    CheckNoted(c);
    Sweep(c);
}

void LogCall(const char* operation, const std::wstring& path) {
    const std::wstring log = StoreFolder() + L"\\calls.log";
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string line = std::string(operation) + "\t" + Utf8(path) + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

bool ReadSwitch(const wchar_t* name, std::string& text) { return ReadWholeFile(StoreFolder() + L"\\" + name, text); }

bool SwitchListsPath(const wchar_t* name, const std::wstring& path) {
    std::string text;
    if (!ReadSwitch(name, text)) return false;
    const std::wstring full = FullPath(path);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty()) continue;
        if (line == "*" || _wcsicmp(FullPath(FromUtf8(line)).c_str(), full.c_str()) == 0) return true;
    }
    return false;
}

}  // namespace tzdevio
