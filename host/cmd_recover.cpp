// recover: after a crash or a power loss, every document a transform left in
// a leftover goes back under its own name (see host/recovery.h).
#include <windows.h>

#include "host/commands.h"
#include "host/recovery.h"

namespace docman {
namespace {

const wchar_t* OperationText(oper::JournalOp op) {
    switch (op) {
        case oper::JournalOp::kEncrypt: return L"encrypt";
        case oper::JournalOp::kDecrypt: return L"decrypt";
        case oper::JournalOp::kWipe: return L"encrypt and wipe";
    }
    return L"";
}

const wchar_t* ActionText(const Recovery& recovery, bool apply) {
    switch (recovery.finding) {
        case Finding::kDocument:
        case Finding::kBoth:
            if (!apply) return L"--apply removes the leftover";
            return recovery.changed ? L"removed the leftover" : L"could not remove the leftover";
        case Finding::kLeftover:
            if (!apply) return L"--apply puts the leftover back under the document's name";
            return recovery.changed ? L"put the leftover back under the document's name"
                                    : L"could not put the leftover back";
        case Finding::kNeither: return L"none: look for the document's data yourself";
        case Finding::kInProgress: return L"none: the process that wrote it still runs";
        case Finding::kAwaitingRestart: return L"none: the restart replaces the document";
    }
    return L"";
}

// [--apply] [--under FOLDER]; false on anything else.
bool ParseArgs(const std::vector<std::wstring>& args, bool& apply, std::wstring& under) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--apply" && !apply)
            apply = true;
        else if (args[i] == L"--under" && i + 1 < args.size() && under.empty())
            under = args[++i];
        else
            return false;
    }
    return true;
}

int Recover(Invocation& inv) {
    bool apply = false;
    std::wstring under;
    if (!ParseArgs(inv.args, apply, under)) return kExitUsage;
    const std::wstring journal = oper::JournalPath();
    std::vector<Recovery> found;
    if (journal.empty() || !Recover(journal, under, apply, found)) {
        inv.out.Field("error", L"cannot read the recovery journal " + journal);
        return kExitFailed;
    }
    size_t needy = 0;
    for (const Recovery& recovery : found) {
        const oper::JournalIntent& intent = recovery.intent;
        inv.out.Record();
        inv.out.Field("document", intent.document);
        inv.out.Field("leftover", intent.leftover);
        inv.out.Field("operation", OperationText(intent.op));
        inv.out.Field("leftover_form", intent.encryptedLeftover ? "encrypted" : "plain");
        inv.out.Field("found", FindingText(recovery.finding));
        inv.out.Field("action", ActionText(recovery, apply));
        if (recovery.error) inv.out.Field("system_error", static_cast<uint64_t>(recovery.error));
        needy += NeedsUser(recovery, apply) ? 1 : 0;
    }
    inv.out.Record();
    inv.out.Field("journal", journal);
    inv.out.Field("unfinished", static_cast<uint64_t>(found.size()));
    inv.out.Field("needing_the_user", static_cast<uint64_t>(needy));
    return needy ? kExitFailed : kExitOk;
}

CommandRegistration recoverReg({L"recover", L"[--apply] [--under FOLDER]", Recover});

}  // namespace
}  // namespace docman
