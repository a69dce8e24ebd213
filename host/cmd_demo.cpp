// The built-in example: a sample folder and the file API calls run on it.
#include <windows.h>

#include "host/commands.h"

namespace docman {
namespace {

bool WriteSample(const std::wstring& path, const char* text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(h);
    return ok != FALSE;
}

int Demo(Invocation& inv) {
    if (inv.args.size() != 1) return kExitUsage;
    const std::wstring root = inv.args[0];
    const std::wstring sample = root + L"\\sample";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(sample.c_str(), nullptr);
    const std::wstring report = sample + L"\\report.txt";
    if (!WriteSample(report, "quarterly figures\r\n")) {
        inv.out.Field("error", L"cannot write the sample folder " + sample);
        return kExitFailed;
    }

    auto testCreateFileW = Require<BOOL(WINAPI*)(const wchar_t*)>(inv, 200);
    if (!testCreateFileW) return kExitFailed;
    struct Step {
        const wchar_t* what;
        std::wstring path;
    } steps[] = {
        {L"test-create a new file", sample + L"\\new.txt"},
        {L"test-create an existing file (truncates it)", report},
        {L"test-create in a missing folder", sample + L"\\missing\\x.txt"},
    };
    for (const Step& s : steps) {
        inv.out.Record();
        inv.out.Field("call", s.what);
        inv.out.Field("path", s.path);
        ReportCall(inv, testCreateFileW(s.path.c_str()));
    }
    return kExitOk;
}

CommandRegistration reg({L"demo", L"FOLDER", Demo});

}  // namespace
}  // namespace docman
