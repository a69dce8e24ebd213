// copy, encrypt and decrypt: one file each, in place or into a second file,
// with --cancel-after N% to exercise cancel from the command line.
#include <windows.h>

#include <atomic>
#include <optional>
#include <thread>

#include "fileoper.h"
#include "host/commands.h"

namespace docman {
namespace {

using CopyFn = BOOL(WINAPI*)(const wchar_t*, const wchar_t*, uint32_t*, uint32_t*);
using EncryptToFn = BOOL(WINAPI*)(const wchar_t*, const wchar_t*, ENCRYPT_INFO*, uint32_t*, uint32_t*);
using BuildInfoFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);

struct TransformArgs {
    std::wstring path;
    std::wstring destination;  // empty: in place
    std::optional<uint32_t> cancelAt;
};

// PATH [--to DEST] [--cancel-after N%]; false on anything else.
bool ParseArgs(const std::vector<std::wstring>& args, bool destinationRequired, TransformArgs& out) {
    std::vector<std::wstring> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--to" && i + 1 < args.size()) {
            out.destination = args[++i];
        } else if (args[i] == L"--cancel-after" && i + 1 < args.size()) {
            std::wstring n = args[++i];
            if (!n.empty() && n.back() == L'%') n.pop_back();
            wchar_t* end = nullptr;
            unsigned long value = wcstoul(n.c_str(), &end, 10);
            if (n.empty() || *end || value > 100) return false;
            out.cancelAt = static_cast<uint32_t>(value);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (destinationRequired && positional.size() == 2 && out.destination.empty()) {
        out.destination = positional[1];
        positional.pop_back();
    }
    if (positional.size() != 1) return false;
    out.path = positional[0];
    return !destinationRequired || !out.destination.empty();
}

// Runs call(state, percent), asking for a cancel once the percentage reaches
// the threshold; reports the call and whether the cancel was asked.
template <typename Call>
int RunWithCancel(Invocation& inv, const TransformArgs& args, Call call) {
    volatile uint32_t state = FILEOPER_STATE_RUNNING;
    volatile uint32_t percent = 0;
    std::atomic<bool> done{false};
    std::thread watcher;
    if (args.cancelAt) {
        watcher = std::thread([&] {
            while (!done.load() && percent < *args.cancelAt) Sleep(0);
            if (!done.load()) state = FILEOPER_STATE_CANCEL;
        });
    }
    const BOOL result = call(const_cast<uint32_t*>(&state), const_cast<uint32_t*>(&percent));
    done = true;
    if (watcher.joinable()) watcher.join();
    inv.out.Field("path", args.path);
    if (!args.destination.empty()) inv.out.Field("destination", args.destination);
    int status = ReportCall(inv, result);
    inv.out.Field("percent", static_cast<uint64_t>(percent));
    inv.out.Flag("cancelled", state == FILEOPER_STATE_CANCEL);
    return status;
}

const wchar_t* DestinationOrNull(const TransformArgs& args) {
    return args.destination.empty() ? nullptr : args.destination.c_str();
}

int Copy(Invocation& inv) {
    TransformArgs args;
    if (!ParseArgs(inv.args, true, args)) return kExitUsage;
    auto copy = Require<CopyFn>(inv, 201);
    if (!copy) return kExitFailed;
    return RunWithCancel(inv, args, [&](uint32_t* state, uint32_t* percent) {
        return copy(args.path.c_str(), args.destination.c_str(), state, percent);
    });
}

int Encrypt(Invocation& inv) {
    TransformArgs args;
    if (!ParseArgs(inv.args, false, args)) return kExitUsage;
    auto buildInfo = Require<BuildInfoFn>(inv, 220);
    auto encryptTo = Require<EncryptToFn>(inv, 203);
    if (!buildInfo || !encryptTo) return kExitFailed;
    ENCRYPT_INFO info = {};
    if (!buildInfo(nullptr, &info)) {
        inv.out.Field("error", L"no encryption descriptor: the driver's library offers no selectable cipher");
        return kExitFailed;
    }
    return RunWithCancel(inv, args, [&](uint32_t* state, uint32_t* percent) {
        return encryptTo(args.path.c_str(), DestinationOrNull(args), &info, state, percent);
    });
}

int Decrypt(Invocation& inv) {
    TransformArgs args;
    if (!ParseArgs(inv.args, false, args)) return kExitUsage;
    auto decryptTo = Require<CopyFn>(inv, 205);
    if (!decryptTo) return kExitFailed;
    return RunWithCancel(inv, args, [&](uint32_t* state, uint32_t* percent) {
        return decryptTo(args.path.c_str(), DestinationOrNull(args), state, percent);
    });
}

CommandRegistration copyReg({L"copy", L"SOURCE DEST [--cancel-after N%]", Copy});
CommandRegistration encryptReg({L"encrypt", L"PATH [--to DEST] [--cancel-after N%]", Encrypt});
CommandRegistration decryptReg({L"decrypt", L"PATH [--to DEST] [--cancel-after N%]", Decrypt});

}  // namespace
}  // namespace docman
