#include "tests/support/filter_model.h"

#include <cstdint>
#include <map>
#include <mutex>

#include "fileoper.h"
#include "tests/support/iat_patch.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

namespace {

using SetEncryptInfoFn = int(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);

template <typename Fn>
Fn DevIo(LPCSTR name) {
    static HMODULE devio = LoadLibraryW(L"TzDevIo.dll");
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(devio, name)));
}

// An odd key never leaves a byte as it was.
void ScrambleAt(char* bytes, size_t size, uint64_t offset) {
    for (size_t i = 0; i < size; ++i) bytes[i] ^= static_cast<char>(0xA5 + 2 * (offset + i));
}

// A new file in a marked folder gets the folder's descriptor, as the filter
// encrypts whatever is created there.
void InheritMark(const std::wstring& file) {
    using ReadMarkFn = int(WINAPI*)(const wchar_t*, ENCRYPT_INFO*, uint32_t*);
    static const auto readMark = DevIo<ReadMarkFn>("TzDevIoReadMarkW");
    static const auto set = DevIo<SetEncryptInfoFn>(MAKEINTRESOURCEA(171));
    const DWORD saved = GetLastError();
    ENCRYPT_INFO info;
    uint32_t isFolder = 0;
    if (readMark(file.substr(0, file.find_last_of(L'\\')).c_str(), &info, &isFolder) && isFolder) {
        info.flags &= ~ENCRYPT_INFO_FOLDER;
        set(file.c_str(), &info);
    }
    SetLastError(saved);
}

// One import of the module, patched, and what its slot held before.
template <typename Fn>
struct Import {
    Import(HMODULE module, const char* name, Fn hook)
        : patch(module, "KERNEL32.dll", name, reinterpret_cast<const void*>(hook)),
          next(reinterpret_cast<Fn>(patch.previous())) {}
    fault::ImportPatch patch;
    Fn next;
};

struct Model {
    explicit Model(HMODULE module);

    void Opened(HANDLE file, const std::wstring& path, bool existed) {
        if (file == INVALID_HANDLE_VALUE) return;
        if (!existed) InheritMark(path);
        std::lock_guard<std::mutex> hold(lock);
        paths[file] = path;
    }

    // Whether the file behind handle is marked now, and where the next
    // transfer starts.
    bool MarkedAt(HANDLE file, const OVERLAPPED* overlapped, uint64_t& offset) {
        std::wstring path;
        {
            std::lock_guard<std::mutex> hold(lock);
            const auto known = paths.find(file);
            if (known == paths.end()) return false;
            path = known->second;
        }
        LARGE_INTEGER position = {};
        SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT);
        offset = overlapped ? (uint64_t{overlapped->OffsetHigh} << 32) | overlapped->Offset : position.QuadPart;
        return IsMarked(path);
    }

    std::mutex lock;
    std::map<HANDLE, std::wstring> paths;
    Import<decltype(&CreateFileW)> createW;
    Import<decltype(&CreateFileA)> createA;
    Import<decltype(&GetTempFileNameW)> tempW;
    Import<decltype(&GetTempFileNameA)> tempA;
    Import<decltype(&ReadFile)> read;
    Import<decltype(&WriteFile)> write;
    Import<decltype(&CloseHandle)> close;
};

Model* g_model = nullptr;

HANDLE WINAPI CreateW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                      DWORD flags, HANDLE templateFile) {
    const bool existed = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    const HANDLE file = g_model->createW.next(path, access, share, sa, disposition, flags, templateFile);
    g_model->Opened(file, path, existed);
    return file;
}

HANDLE WINAPI CreateA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                      DWORD flags, HANDLE templateFile) {
    const std::wstring wide = Widen(path);
    const bool existed = GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
    const HANDLE file = g_model->createA.next(path, access, share, sa, disposition, flags, templateFile);
    g_model->Opened(file, wide, existed);
    return file;
}

UINT WINAPI TempNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR out) {
    const UINT result = g_model->tempW.next(folder, prefix, unique, out);
    if (result && unique == 0) InheritMark(out);
    return result;
}

UINT WINAPI TempNameA(LPCSTR folder, LPCSTR prefix, UINT unique, LPSTR out) {
    const UINT result = g_model->tempA.next(folder, prefix, unique, out);
    if (result && unique == 0) InheritMark(Widen(out));
    return result;
}

BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    uint64_t offset = 0;
    const bool marked = g_model->MarkedAt(file, overlapped, offset);
    const BOOL ok = g_model->read.next(file, buffer, size, got, overlapped);
    if (ok && marked && got) ScrambleAt(static_cast<char*>(buffer), *got, offset);
    return ok;
}

BOOL WINAPI Write(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    uint64_t offset = 0;
    if (!g_model->MarkedAt(file, overlapped, offset)) return g_model->write.next(file, buffer, size, written, overlapped);
    std::string scrambled(static_cast<const char*>(buffer), size);
    ScrambleAt(&scrambled[0], size, offset);
    return g_model->write.next(file, scrambled.data(), size, written, overlapped);
}

BOOL WINAPI Close(HANDLE file) {
    {
        std::lock_guard<std::mutex> hold(g_model->lock);
        g_model->paths.erase(file);
    }
    return g_model->close.next(file);
}

Model::Model(HMODULE m)
    : createW(m, "CreateFileW", &CreateW), createA(m, "CreateFileA", &CreateA),
      tempW(m, "GetTempFileNameW", &TempNameW), tempA(m, "GetTempFileNameA", &TempNameA),
      read(m, "ReadFile", &Read), write(m, "WriteFile", &Write), close(m, "CloseHandle", &Close) {}

}  // namespace

bool IsMarked(const std::wstring& path) {
    static const auto isEncrypted = DevIo<int(WINAPI*)(const wchar_t*, int)>(MAKEINTRESOURCEA(161));
    return isEncrypted && isEncrypted(path.c_str(), 0) != 0;
}

bool MarkFolder(const std::wstring& folder) {
    static const auto set = DevIo<SetEncryptInfoFn>(MAKEINTRESOURCEA(171));
    ENCRYPT_INFO info = {};
    info.size = ENCRYPT_INFO_SIZE;
    info.flags = ENCRYPT_INFO_FOLDER;
    return set(folder.c_str(), &info) != 0;
}

std::string Scramble(std::string bytes) {
    ScrambleAt(&bytes[0], bytes.size(), 0);
    return bytes;
}

std::string PlainView(const std::wstring& path) { return Stored(ReadFileBytes(path), IsMarked(path)); }

struct FilterModel::Patches : Model {
    using Model::Model;
};

FilterModel::FilterModel(HMODULE module) : patches_(new Patches(module)) { g_model = patches_.get(); }

FilterModel::~FilterModel() {
    patches_.reset();
    g_model = nullptr;
}

}  // namespace testing_support
