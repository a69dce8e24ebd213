// The built-in example: what a Document Manager user does with a folder of
// documents. It builds a sample tree, then runs three operations through
// ShowOperationStatus with the progress dialog on screen: an in-place
// encryption, a decryption, and an encryption into a vault with wipe that
// fails on a file in use and is undone. After each run it prints what the
// host learns (results, rows, error log lines) and checks that every
// document still holds its exact bytes.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileoper.h"
#include "framework/handles.h"
#include "host/commands.h"
#include "host/request_block.h"
#include "host/run_report.h"

namespace docman {
namespace {

using BuildInfoFn = BOOL(WINAPI*)(const wchar_t*, ENCRYPT_INFO*);

constexpr size_t kLargeFileBytes = 48u << 20;
constexpr int kLetters = 120;

// FNV-1a over a file's bytes; a missing file has no digest.
bool Digest(const std::wstring& path, uint64_t* digest) {
    fw::FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    uint64_t hash = 14695981039346656037ull;
    std::vector<uint8_t> buffer(1 << 20);
    DWORD got = 0;
    while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got) {
        for (DWORD i = 0; i < got; ++i) hash = (hash ^ buffer[i]) * 1099511628211ull;
    }
    *digest = hash;
    return true;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    fw::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && (bytes.empty() || (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                                &written, nullptr) &&
                                      written == bytes.size()));
}

std::string Letter(int n) {
    std::string text = "Letter " + std::to_string(n) + "\r\n";
    for (int line = 0; line < n % 40; ++line) text += "Dear customer, line " + std::to_string(line) + ".\r\n";
    return text;
}

// The documents of the example and the bytes each must keep.
class SampleTree {
public:
    explicit SampleTree(std::wstring root) : root_(std::move(root)) {}

    bool Build() {
        const std::wstring docs = root_ + L"\\docs";
        std::wstring deep = docs + L"\\projects";
        for (const wchar_t* part : {L"\\2026 product line renewal and the partners' review",
                                    L"\\engineering drafts shared with the suppliers of the casing",
                                    L"\\second round of comments after the November workshop",
                                    L"\\minutes, sketches and the signed quotes from every supplier"})
            deep += part;
        bool ok = MakeFolders({root_, docs, docs + L"\\archive", docs + L"\\archive\\2025", docs + L"\\projects"}) &&
                  MakeFolderChain(docs + L"\\projects", deep) &&
                  Add(docs + L"\\report.txt", "Quarterly figures\r\nRevenue up 4%\r\n") &&
                  Add(docs + L"\\notes.txt", "Call the auditors on Monday.\r\n") && Add(docs + L"\\empty.txt", "") &&
                  Add(docs + L"\\large.bin", LargeContent()) &&
                  Add(deep + L"\\plan for the next quarter.txt", "A document behind a path of over 260 characters.\r\n") &&
                  Add(docs + L"\\readonly.txt", "Signed contract, kept read-only.\r\n") &&
                  Add(ledger(), "Ledger 2026, open in another program.\r\n") && Add(root_ + L"\\todo.txt", "1. Encrypt\r\n");
        for (int i = 1; ok && i <= kLetters; ++i)
            ok = Add(docs + L"\\archive\\2025\\letter " + std::to_wstring(i) + L".txt", Letter(i));
        return ok && SetFileAttributesW((docs + L"\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    }

    const std::wstring& root() const { return root_; }
    std::wstring docs() const { return root_ + L"\\docs"; }
    std::wstring ledger() const { return root_ + L"\\ledger.xlsx"; }
    std::wstring vault() const { return root_ + L"\\vault"; }

    // The documents whose bytes differ from what they were made with, or
    // that are gone.
    std::vector<std::wstring> Damaged() const {
        std::vector<std::wstring> damaged;
        for (const Document& d : documents_) {
            uint64_t now = 0;
            if (!Digest(LongForm(d.path), &now) || now != d.digest) damaged.push_back(d.path);
        }
        return damaged;
    }
    size_t count() const { return documents_.size(); }

private:
    struct Document {
        std::wstring path;
        uint64_t digest;
    };

    // Folders refuse plain paths from 248 characters on, files from 260.
    static std::wstring LongForm(const std::wstring& path) {
        return path.size() < 248 ? path : L"\\\\?\\" + path;
    }
    static std::string LargeContent() {
        std::string bytes(kLargeFileBytes, '\0');
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        return bytes;
    }
    static bool MakeFolders(std::initializer_list<std::wstring> folders) {
        for (const std::wstring& f : folders)
            if (!CreateDirectoryW(f.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        return true;
    }
    static bool MakeFolderChain(const std::wstring& base, const std::wstring& deepest) {
        for (size_t at = deepest.find(L'\\', base.size() + 1);; at = deepest.find(L'\\', at + 1)) {
            const std::wstring folder = LongForm(deepest.substr(0, at));
            if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
            if (at == std::wstring::npos) return true;
        }
    }
    bool Add(const std::wstring& path, const std::string& bytes) {
        uint64_t digest = 0;
        if (!WriteFileBytes(LongForm(path), bytes) || !Digest(LongForm(path), &digest)) return false;
        documents_.push_back({path, digest});
        return true;
    }

    std::wstring root_;
    std::vector<Document> documents_;
};

struct DemoRun {
    const wchar_t* name;  // also names the screenshots
    const wchar_t* what;
    uint32_t kind;
    uint32_t flags;
    bool ledgerInUse;
    bool toVault;
};

const DemoRun kRuns[] = {
    {L"run-1-encrypt", L"encrypt the documents in place; the ledger is in use", 0, FILEOPER_CHOICE_CONTINUE, true, false},
    {L"run-2-decrypt", L"decrypt them again", 1, FILEOPER_CHOICE_CONTINUE, false, false},
    {L"run-3-vault", L"encrypt into a vault with wipe; the ledger is in use, the answer is Undo", 0,
     FILEOPER_FLAG_TO_DESTINATION | FILEOPER_FLAG_WIPE | FILEOPER_CHOICE_UNDO, true, true},
};

bool DemoOne(Invocation& inv, const SampleTree& tree, const DemoRun& run, const ENCRYPT_INFO& info,
             const UserScript* script) {
    RunRequest request;
    request.kind = run.kind;
    request.flags = run.flags;
    request.info = info;
    request.items = {tree.docs(), tree.ledger(), tree.root() + L"\\todo.txt"};
    if (run.toVault) {
        // A destination is a folder the user picked: it exists.
        CreateDirectoryW(tree.vault().c_str(), nullptr);
        request.destination = tree.vault();
        request.items.pop_back();
    }
    inv.out.Record();
    inv.out.Field("run", run.name);
    inv.out.Field("what", run.what);
    inv.out.Hex("flags", run.flags);
    RunOutcome outcome;
    bool ran = false;
    {
        // Another program holds the ledger open without sharing it.
        fw::FileHandle inUse;
        if (run.ledgerInUse)
            inUse = fw::FileHandle(
                CreateFileW(tree.ledger().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        UserScript named;
        if (script) named.screenshotBase = script->screenshotBase.empty() ? L"" : script->screenshotBase + run.name;
        ran = RunOperation(inv.api, request, script ? &named : nullptr, &outcome);
    }
    if (!ran) {
        inv.out.Field("error", L"fileoper.dll has no export ShowOperationStatus");
        return false;
    }
    PrintOutcome(inv.out, outcome);
    const std::vector<std::wstring> damaged = tree.Damaged();
    inv.out.Record();
    inv.out.Field("documents", static_cast<uint64_t>(tree.count()));
    inv.out.Field("documents_whole", static_cast<uint64_t>(tree.count() - damaged.size()));
    for (const std::wstring& path : damaged) inv.out.Field("damaged", path);
    return damaged.empty();
}

// FOLDER [--scripted [--screenshots DIR]]: without --scripted a person at
// the screen answers.
int RunDemo(Invocation& inv) {
    bool scripted = false;
    UserScript script;
    std::vector<std::wstring> positional;
    for (size_t i = 0; i < inv.args.size(); ++i) {
        if (inv.args[i] == L"--scripted")
            scripted = true;
        else if (inv.args[i] == L"--screenshots" && i + 1 < inv.args.size())
            script.screenshotBase = inv.args[++i] + L"\\";
        else
            positional.push_back(inv.args[i]);
    }
    if (!script.screenshotBase.empty() && !scripted) return kExitUsage;
    if (positional.size() != 1) return kExitUsage;
    SampleTree tree(positional[0]);
    if (!tree.Build()) {
        inv.out.Field("error", L"cannot write the sample tree under " + positional[0]);
        return kExitFailed;
    }
    auto buildInfo = Require<BuildInfoFn>(inv, 220);
    ENCRYPT_INFO info = {};
    if (!buildInfo || !buildInfo(nullptr, &info)) {
        if (buildInfo) inv.out.Field("error", L"no encryption descriptor: the driver's library offers no cipher");
        return kExitFailed;
    }
    bool whole = true;
    for (const DemoRun& run : kRuns) whole = DemoOne(inv, tree, run, info, scripted ? &script : nullptr) && whole;
    inv.out.Record();
    inv.out.Flag("every_document_whole", whole);
    return whole ? kExitOk : kExitFailed;
}

CommandRegistration reg({L"demo", L"FOLDER [--scripted [--screenshots DIR]]", RunDemo});

}  // namespace
}  // namespace docman
