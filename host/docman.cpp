// docman: the Document Manager host stand-in and command-line front of
// fileoper.dll.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/commands.h"
#include "host/resource_text.h"
#include "ui/error_messages.h"

namespace docman {

namespace {

std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

int Usage() {
    Output out(false);
    std::wstring text = L"usage: docman [--json] COMMAND [ARGS]\ncommands:\n";
    for (const Command& c : Commands()) text += std::wstring(L"  ") + c.name + L" " + c.usage + L"\n";
    fputs(Utf8(text).c_str(), stderr);
    return kExitUsage;
}

}  // namespace

CommandRegistration::CommandRegistration(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& Commands() { return Registry(); }

int ReportCall(Invocation& inv, int result) {
    uint32_t code = inv.api.ErrorCode();
    inv.out.Field("result", static_cast<uint64_t>(result));
    inv.out.Hex("error_code", code);
    inv.out.Field("message", LoadText(inv.api.module(), oper::MessageIdForError(static_cast<int32_t>(code))));
    return result ? kExitOk : kExitFailed;
}

}  // namespace docman

int wmain(int argc, wchar_t** argv) {
    using namespace docman;
    bool json = false;
    std::vector<std::wstring> words;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--json")
            json = true;
        else
            words.push_back(a);
    }
    if (words.empty()) return Usage();

    const Command* command = nullptr;
    for (const Command& c : Commands())
        if (words[0] == c.name) command = &c;
    if (!command) return Usage();

    Api api;
    std::wstring error;
    if (!api.Load(error)) {
        fputs((Utf8(error) + "\n").c_str(), stderr);
        return kExitFailed;
    }
    Output out(json);
    Invocation inv{api, out, std::vector<std::wstring>(words.begin() + 1, words.end())};
    int status = command->run(inv);
    out.Flush();
    if (status == kExitUsage) {
        fputs(Utf8(std::wstring(L"usage: docman ") + command->name + L" " + command->usage + L"\n").c_str(), stderr);
    }
    return status;
}
