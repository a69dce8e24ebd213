#pragma once
// docman's subcommands: one per export, plus the demo. Each command file
// registers its commands with a static CommandRegistration.
#include <string>
#include <vector>

#include "host/api.h"
#include "host/output.h"

namespace docman {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

struct Invocation {
    Api& api;
    Output& out;
    std::vector<std::wstring> args;  // after the command name, options removed
};

using CommandFn = int (*)(Invocation&);

struct Command {
    const wchar_t* name;
    const wchar_t* usage;  // arguments, for the help text
    CommandFn run;
};

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& Commands();

// Prints the flag and the module error code a file call left; returns the
// exit status for it.
int ReportCall(Invocation& inv, int result);

// Binds the export at ordinal, or reports that the library lacks it.
template <typename Fn>
Fn Require(Invocation& inv, WORD ordinal) {
    Fn fn = inv.api.Ordinal<Fn>(ordinal);
    if (!fn) {
        inv.out.Field("error", L"fileoper.dll has no export at ordinal " + std::to_wstring(ordinal));
    }
    return fn;
}

}  // namespace docman
