// encrypt-run and decrypt-run: a whole operation run through
// ShowOperationStatus, with the request built as a host builds it.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileoper.h"
#include "host/commands.h"
#include "host/request_block.h"
#include "host/run_report.h"

namespace docman {
namespace {

using BuildInfoFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);

constexpr WORD kBuildEncryptInfoW = 220;

struct Switch {
    const wchar_t* name;
    uint32_t flag;
};
constexpr Switch kSwitches[] = {
    {L"--move", FILEOPER_FLAG_MOVE},
    {L"--wipe", FILEOPER_FLAG_WIPE},
    {L"--skip-encrypted", FILEOPER_FLAG_SKIP_ENCRYPTED},
    {L"--no-descent", FILEOPER_FLAG_NO_DESCENT},
    {L"--close", FILEOPER_FLAG_CLOSE_AT_END},
    {L"--after-reboot", FILEOPER_FLAG_DECRYPT_AFTER_REBOOT},
};
constexpr Switch kErrorPolicies[] = {
    {L"ask", FILEOPER_FLAG_ASK_ON_ERRORS}, {L"continue", FILEOPER_CHOICE_CONTINUE}, {L"stop", FILEOPER_CHOICE_STOP},
    {L"undo", FILEOPER_CHOICE_UNDO},       {L"retry", FILEOPER_CHOICE_RETRY},
};

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[4096];
    const DWORD n = GetFullPathNameW(path.c_str(), 4096, buffer, nullptr);
    std::wstring full = n && n < 4096 ? std::wstring(buffer, n) : path;
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

bool Lookup(const Switch* table, size_t count, const std::wstring& name, uint32_t* flag) {
    for (size_t i = 0; i < count; ++i) {
        if (name == table[i].name) {
            *flag = table[i].flag;
            return true;
        }
    }
    return false;
}

// PATH... [--to DIR] [switches] [--on-error POLICY]; false on anything else,
// and on a move without a destination (it would delete its own result).
bool ParseRun(const std::vector<std::wstring>& args, RunRequest* request) {
    uint32_t policy = FILEOPER_FLAG_ASK_ON_ERRORS;
    for (size_t i = 0; i < args.size(); ++i) {
        uint32_t flag = 0;
        if (args[i] == L"--to" && i + 1 < args.size()) {
            request->destination = FullPath(args[++i]);
            request->flags |= FILEOPER_FLAG_TO_DESTINATION;
        } else if (args[i] == L"--on-error" && i + 1 < args.size()) {
            if (!Lookup(kErrorPolicies, std::size(kErrorPolicies), args[++i], &policy)) return false;
        } else if (Lookup(kSwitches, std::size(kSwitches), args[i], &flag)) {
            request->flags |= flag;
        } else if (args[i].rfind(L"--", 0) == 0) {
            return false;
        } else {
            request->items.push_back(FullPath(args[i]));
        }
    }
    request->flags |= policy;
    if (request->items.empty()) return false;
    if ((request->flags & FILEOPER_FLAG_MOVE) && !(request->flags & FILEOPER_FLAG_TO_DESTINATION)) return false;
    return !(request->flags & FILEOPER_FLAG_TO_DESTINATION) || !CommonFolder(request->items).empty();
}

int Run(Invocation& inv, uint32_t kind) {
    RunRequest request;
    request.kind = kind;
    if (!ParseRun(inv.args, &request)) return kExitUsage;
    auto buildInfo = Require<BuildInfoFn>(inv, kBuildEncryptInfoW);
    if (!buildInfo) return kExitFailed;
    if (kind == 0 && !buildInfo(nullptr, &request.info)) {
        inv.out.Field("error", L"no encryption descriptor: the driver's library offers no selectable cipher");
        return kExitFailed;
    }
    RunOutcome outcome;
    if (!RunOperation(inv.api, request, nullptr, &outcome)) {
        inv.out.Field("error", L"fileoper.dll has no export ShowOperationStatus");
        return kExitFailed;
    }
    PrintOutcome(inv.out, outcome);
    // Every item reached, or not: a cancel (or a Cancel to a replace
    // question) leaves items behind without an error row.
    const bool complete = outcome.filesDone() >= outcome.fileTotal();
    inv.out.Record();
    inv.out.Flag("complete", complete);
    return outcome.errorCount() == 0 && complete ? kExitOk : kExitFailed;
}

int EncryptRun(Invocation& inv) { return Run(inv, 0); }
int DecryptRun(Invocation& inv) { return Run(inv, 1); }

constexpr wchar_t kRunUsage[] =
    L"PATH... [--to DIR] [--move] [--wipe] [--skip-encrypted] [--no-descent] [--close] [--after-reboot] "
    L"[--on-error ask|continue|stop|undo|retry]";
CommandRegistration encryptRunReg({L"encrypt-run", kRunUsage, EncryptRun});
CommandRegistration decryptRunReg({L"decrypt-run", kRunUsage, DecryptRun});

}  // namespace
}  // namespace docman
