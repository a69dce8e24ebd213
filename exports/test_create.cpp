// Whether a file can be created at a path. An existing file is truncated: the
// in-place decryption relies on that to re-create an empty plain file.
// Neither form sets the module error state itself.
#include <windows.h>

#include "engine/long_path.h"
#include "fileoper.h"
#include "framework/handles.h"

namespace {

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

}  // namespace

extern "C" BOOL WINAPI TestCreateFileA(const char* path) {
    fw::FileHandle file(CreateFileA(path, kReadWrite, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    return file ? TRUE : FALSE;
}

extern "C" BOOL WINAPI TestCreateFileW(const wchar_t* path) {
    fw::FileHandle file(oper::CreateFileLongW(path, kReadWrite, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    return file ? TRUE : FALSE;
}
