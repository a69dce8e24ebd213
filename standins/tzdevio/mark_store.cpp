#include "mark_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "object_identity.h"

namespace tzdevio {

namespace {

constexpr wchar_t kStoreVariable[] = L"TZDEVIO_STORE";
constexpr wchar_t kMarksFolder[] = L"\\marks";
constexpr wchar_t kRecordSuffix[] = L".mark";
constexpr wchar_t kPinSuffix[] = L".pin";

std::wstring MarksFolder() { return StoreFolder() + kMarksFolder; }

std::wstring IdName(uint64_t id) {
    wchar_t name[32];
    swprintf(name, 32, L"%016llX", static_cast<unsigned long long>(id));
    return name;
}

std::wstring RecordPath(uint64_t id) { return MarksFolder() + L"\\" + IdName(id) + kRecordSuffix; }

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

bool ReadWholeFile(const std::wstring& path, std::string& text) {
    HANDLE file = CreateFileW(SystemForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text.clear();
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) text.append(buffer, read);
    CloseHandle(file);
    return true;
}

// Written beside the record and moved over it, so that a reader in another
// process sees the old record or the new one, never half of one.
bool WriteWholeFile(const std::wstring& path, const std::string& text) {
    const std::wstring temp = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    if (ok && written == text.size() && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
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

std::vector<std::wstring> PinsInStore() {
    std::vector<std::wstring> pins;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((MarksFolder() + L"\\*" + kPinSuffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return pins;
    do pins.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return pins;
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

std::wstring StoreFolder() {
    std::wstring folder = Environment(kStoreVariable);
    if (!folder.empty()) return FullPath(folder);
    std::wstring programData = Environment(L"ProgramData");
    if (programData.empty()) programData = L"C:\\ProgramData";
    return FullPath(programData + L"\\TzDevIo");
}

bool EnsureStore() {
    CreateDirectoryW(StoreFolder().c_str(), nullptr);
    return CreateDirectoryW(MarksFolder().c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

std::wstring PinPath(uint64_t id) { return MarksFolder() + L"\\" + IdName(id) + kPinSuffix; }

bool ReadRecord(uint64_t id, MarkRecord& record) {
    std::string text;
    return ReadWholeFile(RecordPath(id), text) && Parse(text, record);
}

bool WriteRecord(uint64_t id, const MarkRecord& record) { return WriteWholeFile(RecordPath(id), Serialize(record)); }

void DeleteRecord(uint64_t id) { DeleteFileW(RecordPath(id).c_str()); }

// A pin that is the only link left belongs to a file that was deleted: its
// mark goes, and the identity it held may be handed out again.
void PruneDeletedFiles() {
    static std::wstring prunedStore;
    const std::wstring store = StoreFolder();
    if (store == prunedStore) return;
    prunedStore = store;
    for (const std::wstring& name : PinsInStore()) {
        const std::wstring pin = MarksFolder() + L"\\" + name;
        if (Inspect(pin).links > 1) continue;
        const std::wstring record = pin.substr(0, pin.size() - wcslen(kPinSuffix)) + kRecordSuffix;
        DeleteFileW(record.c_str());
        DeleteFileW(pin.c_str());
    }
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
