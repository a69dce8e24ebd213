// The built-in example: a sample folder of documents, encrypted and
// decrypted through the file API as the Document Manager would, with each
// call's result, error code, message and the marks the driver reports.
#include <windows.h>

#include <string>
#include <vector>

#include "fileoper.h"
#include "host/commands.h"
#include "host/product_library.h"

namespace docman {
namespace {

using BuildInfoFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);
using PathFn = BOOL(WINAPI*)(const wchar_t*);
using FolderFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);
using EncryptToFn = BOOL(WINAPI*)(const wchar_t*, const wchar_t*, ENCRYPT_INFO*, uint32_t*, uint32_t*);
using TransformToFn = BOOL(WINAPI*)(const wchar_t*, const wchar_t*, uint32_t*, uint32_t*);
using DecryptInPlaceFn = BOOL(WINAPI*)(const wchar_t*, uint32_t*, uint32_t*);
using IsEncryptedFn = int(WINAPI*)(const wchar_t*, int);

bool WriteSample(const std::wstring& path, const std::string& text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
    return ok != FALSE;
}

std::string ReadAll(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
    CloseHandle(h);
    return out;
}

struct Sample {
    std::wstring folder, report, budget, minutes, budgetCopy, budgetPlain, reportCopy;
    std::string budgetText;
};

bool MakeSample(const std::wstring& root, Sample& s) {
    s.folder = root + L"\\sample";
    s.report = s.folder + L"\\report.txt";
    s.budget = s.folder + L"\\budget.xls";
    s.minutes = s.folder + L"\\board\\minutes.txt";
    s.budgetCopy = s.folder + L"\\budget (encrypted copy).xls";
    s.budgetPlain = s.folder + L"\\budget (plain copy).xls";
    s.reportCopy = s.folder + L"\\report (copy).txt";
    for (size_t i = 0; i < 30000; ++i) s.budgetText += "row " + std::to_string(i) + ";";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(s.folder.c_str(), nullptr);
    CreateDirectoryW((s.folder + L"\\board").c_str(), nullptr);
    return WriteSample(s.report, "Quarterly figures\r\n") && WriteSample(s.budget, s.budgetText) &&
           WriteSample(s.minutes, "Minutes of the board\r\n");
}

class Demo {
public:
    explicit Demo(Invocation& inv) : inv_(inv), devio_(L"TzDevIo.dll") {
        isEncrypted_ = devio_.Get<IsEncryptedFn>(MAKEINTRESOURCEA(161));
    }

    // One call of the file API: what it was, its result and the mark after.
    void Step(const wchar_t* what, const std::wstring& path, BOOL result) {
        inv_.out.Record();
        inv_.out.Field("call", what);
        inv_.out.Field("path", path);
        ReportCall(inv_, result);
        if (isEncrypted_) inv_.out.Flag("encrypted", isEncrypted_(path.c_str(), 0) != 0);
    }

    void Check(const char* what, bool ok) {
        inv_.out.Record();
        inv_.out.Field("check", what);
        inv_.out.Flag("passed", ok);
        allPassed_ = allPassed_ && ok;
    }

    bool allPassed() const { return allPassed_; }

private:
    Invocation& inv_;
    ProductLibrary devio_;
    IsEncryptedFn isEncrypted_ = nullptr;
    bool allPassed_ = true;
};

int RunDemo(Invocation& inv) {
    if (inv.args.size() != 1) return kExitUsage;
    Sample s;
    if (!MakeSample(inv.args[0], s)) {
        inv.out.Field("error", L"cannot write the sample folder under " + inv.args[0]);
        return kExitFailed;
    }
    auto buildInfo = Require<BuildInfoFn>(inv, 220);
    auto encryptFolder = Require<FolderFn>(inv, 210);
    auto encryptTo = Require<EncryptToFn>(inv, 203);
    auto decryptInPlace = Require<DecryptInPlaceFn>(inv, 204);
    auto decryptTo = Require<TransformToFn>(inv, 205);
    auto copy = Require<TransformToFn>(inv, 201);
    auto testCreate = Require<PathFn>(inv, 200);
    if (!buildInfo || !encryptFolder || !encryptTo || !decryptInPlace || !decryptTo || !copy || !testCreate)
        return kExitFailed;

    Demo demo(inv);
    ENCRYPT_INFO info = {};
    if (!buildInfo(s.folder.c_str(), &info)) {
        inv.out.Field("error", L"no encryption descriptor: the driver's library offers no selectable cipher");
        return kExitFailed;
    }
    inv.out.Field("cipher", std::wstring(info.cipherName, info.cipherName + strnlen(info.cipherName, 32)));
    uint32_t state = FILEOPER_STATE_RUNNING, percent = 0;

    demo.Step(L"test-create (can a file be made here?)", s.folder + L"\\probe.tmp",
              testCreate((s.folder + L"\\probe.tmp").c_str()));
    DeleteFileW((s.folder + L"\\probe.tmp").c_str());
    demo.Step(L"encrypt in place", s.report, encryptTo(s.report.c_str(), nullptr, &info, &state, &percent));
    demo.Step(L"encrypt in place", s.budget, encryptTo(s.budget.c_str(), nullptr, &info, &state, &percent));
    demo.Step(L"encrypt in place", s.minutes, encryptTo(s.minutes.c_str(), nullptr, &info, &state, &percent));
    demo.Step(L"mark the folder", s.folder + L"\\board", encryptFolder((s.folder + L"\\board").c_str(), &info));
    demo.Step(L"encrypt to a second file", s.budgetCopy,
              encryptTo(s.budget.c_str(), s.budgetCopy.c_str(), &info, &state, &percent));
    demo.Step(L"decrypt to a second file", s.budgetPlain,
              decryptTo(s.budgetCopy.c_str(), s.budgetPlain.c_str(), &state, &percent));
    demo.Step(L"decrypt in place", s.report, decryptInPlace(s.report.c_str(), &state, &percent));
    demo.Step(L"decrypt a plain file (refused)", s.report, decryptInPlace(s.report.c_str(), &state, &percent));
    demo.Step(L"copy with progress", s.reportCopy, copy(s.report.c_str(), s.reportCopy.c_str(), &state, &percent));

    demo.Check("budget.xls holds its bytes after encryption", ReadAll(s.budget) == s.budgetText);
    demo.Check("the plain copy equals the original", ReadAll(s.budgetPlain) == s.budgetText);
    demo.Check("report.txt reads back after decryption", ReadAll(s.report) == "Quarterly figures\r\n");
    return demo.allPassed() ? kExitOk : kExitFailed;
}

CommandRegistration reg({L"demo", L"FOLDER", RunDemo});

}  // namespace
}  // namespace docman
