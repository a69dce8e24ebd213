#include "host/commands.h"

namespace docman {
namespace {

int TestCreate(Invocation& inv) {
    if (inv.args.size() != 1) return kExitUsage;
    auto testCreateFileW = Require<BOOL(WINAPI*)(const wchar_t*)>(inv, 200);
    if (!testCreateFileW) return kExitFailed;
    inv.out.Field("path", inv.args[0]);
    return ReportCall(inv, testCreateFileW(inv.args[0].c_str()));
}

CommandRegistration reg({L"test-create", L"PATH", TestCreate});

}  // namespace
}  // namespace docman
