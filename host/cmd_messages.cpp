// docman messages [--lang xx-XX]: the table that turns a module error code
// into the message the lists and the error choice show.
#include "host/commands.h"
#include "host/resource_text.h"
#include "resources/resource.h"
#include "ui/error_messages.h"

namespace docman {
namespace {

// Where the texts come from: without a language, as any message of the
// library, in the language the resource loader picks for this thread;
// with one, from exactly that language.
struct TextSource {
    HMODULE module;
    LANGID language;  // 0: the loader's choice

    bool Load(UINT id, std::wstring& text) const {
        if (language != 0) return LoadTextIn(module, id, language, text);
        text = LoadText(module, id);
        return !text.empty();
    }
};

// Reads "--lang TAG" from the arguments; false when they are malformed.
bool ParseLanguage(const std::vector<std::wstring>& args, std::wstring& tag) {
    if (args.empty()) return true;
    if (args.size() != 2 || args[0] != L"--lang") return false;
    tag = args[1];
    return true;
}

std::wstring HexCode(uint32_t code) {
    wchar_t buf[16];
    swprintf(buf, 16, L"0x%X", code);
    return buf;
}

bool PrintEntry(Invocation& inv, const TextSource& source, const std::wstring& code, UINT id) {
    std::wstring text;
    if (!source.Load(id, text)) {
        inv.out.Field("error", L"fileoper.dll has no string " + std::to_wstring(id) + L" in that language");
        return false;
    }
    inv.out.Record();
    inv.out.Field("code", code);
    inv.out.Field("string_id", static_cast<uint64_t>(id));
    inv.out.Field("text", text);
    return true;
}

int Messages(Invocation& inv) {
    std::wstring tag;
    if (!ParseLanguage(inv.args, tag)) return kExitUsage;
    TextSource source{inv.api.module(), 0};
    if (!tag.empty()) {
        source.language = LANGIDFROMLCID(LocaleNameToLCID(tag.c_str(), 0));
        if (source.language == 0) {
            inv.out.Field("error", L"unknown language " + tag);
            return kExitUsage;
        }
    }
    for (const oper::ErrorMessage& entry : oper::ErrorMessageTable) {
        if (!PrintEntry(inv, source, HexCode(entry.code), entry.stringId)) return kExitFailed;
    }
    return PrintEntry(inv, source, L"other", IDS_ERR_UNKNOWN) ? kExitOk : kExitFailed;
}

CommandRegistration reg({L"messages", L"[--lang xx-XX]", Messages});

}  // namespace
}  // namespace docman
