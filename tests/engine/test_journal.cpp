// The recovery journal and docman's recovery over it: what the recovery finds
// and does for each state a kill, a power loss or the user leaves behind; a
// journal cut at any byte; a journal that cannot be written.
#include <gtest/gtest.h>

#include <algorithm>

#include "devio/devio.h"
#include "engine/journal.h"
#include "fileoper.h"
#include "framework/handles.h"
#include "host/recovery.h"
#include "tests/support/iat_patch.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;
using docman::Finding;
using oper::JournalMark;
using oper::JournalOp;

namespace {

HMODULE Self() { return GetModuleHandleW(nullptr); }

uint64_t ProcessStarted() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool WrittenByThisProcess(const oper::JournalIntent& intent) {
    return intent.writer.process == GetCurrentProcessId() && intent.writer.started == ProcessStarted();
}

// What lies under a name: `size` bytes of `fill` and whether it is marked;
// a fill of 0 for no file at all.
struct Shape {
    char fill;
    size_t size;
    bool marked;
    bool operator==(const Shape& other) const {
        return fill == other.fill && (!fill || (size == other.size && marked == other.marked));
    }
};
constexpr Shape kAbsent = {0, 0, false};
constexpr size_t kSize = 6000;

class Journal : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(BuildEncryptInfoW(nullptr, &info), TRUE); }

    void Put(const std::wstring& path, const Shape& shape) {
        ASSERT_TRUE(!shape.fill || WriteFileBytes(path, std::string(shape.size, shape.fill)));
        ASSERT_TRUE(!shape.marked || DevIoSetEncryptInfoW(path.c_str(), &info));
    }
    // A file of one repeated byte, or what a case never makes.
    Shape Look(const std::wstring& path) {
        if (!FileExists(path)) return kAbsent;
        const std::string bytes = ReadFileBytes(path);
        const char fill = bytes.empty() ? 'e' : bytes[0];
        if (bytes.find_first_not_of(fill) != std::string::npos) return {'?', 0, false};
        return {fill, bytes.size(), IsMarked(path)};
    }
    void Append(JournalMark mark, const oper::JournalIntent& intent) {
        fw::FileHandle file(fw::OpenRecordFile(journal));
        const oper::JournalIntent* written = mark == JournalMark::kIntent ? &intent : nullptr;
        ASSERT_TRUE(file && fw::AppendRecord(file.get(), oper::JournalRecord(mark, intent.writer, written)));
    }
    oper::JournalIntent Intent(JournalOp op, uint64_t size, const std::wstring& document, const std::wstring& leftover,
                               bool live = false) {
        oper::JournalIntent intent;
        intent.writer = {live ? GetCurrentProcessId() : 0, live ? ProcessStarted() : 0, ++sequence};
        intent.op = op;
        intent.encryptedLeftover = intent.hasInfo = op != JournalOp::kDecrypt;
        intent.size = size, intent.document = document, intent.leftover = leftover, intent.info = info;
        return intent;
    }
    std::vector<docman::Recovery> Recover(bool apply) {
        std::vector<docman::Recovery> found;
        EXPECT_TRUE(docman::Recover(journal, dir.path(), apply, found));
        return found;
    }

    StandinStore store;
    TempDir dir;
    // In a folder that does not exist yet: the first record makes it.
    std::wstring journal = dir / L"user\\journal\\Recovery.jnl";
    std::wstring doc = dir / L"doc.txt", left = dir / L"TzT12.tmp";
    ENCRYPT_INFO info = {};
    uint32_t sequence = 0;
};

// The document's bytes, the leftover's (whole and short), an empty file.
constexpr Shape kPlainDoc = {'d', kSize, false}, kMarkedDoc = {'d', kSize, true};
constexpr Shape kEncrypted = {'l', kSize, true}, kPlain = {'l', kSize, false}, kShort = {'l', 3, true};

// Each state against what the recovery finds, and what the document holds
// after --apply. A second --apply finds nothing to do, or the same that
// needs the user; without --apply nothing changes.
TEST_F(Journal, RecoveryPutsBackOnlyWhatIsWholeAndNeverReplacesAWholeDocument) {
    constexpr JournalOp kEnc = JournalOp::kEncrypt, kDec = JournalOp::kDecrypt, kWipe = JournalOp::kWipe;
    enum { kWhole = 1, kDeferred = 2, kLive = 4, kOtherVolume = 8 };
    constexpr Shape kEmptyMarked = {'e', 0, true}, kChanged = {'d', kSize + 7, true};
    const struct { const char* name; JournalOp op; Shape document, leftover; int how; Finding finding; Shape after; }
    cases[] = {
        {"killed between delete and move", kEnc, kAbsent, kEncrypted, 0, Finding::kLeftover, kEncrypted},
        {"... its leftover on another volume", kEnc, kAbsent, kEncrypted, kOtherVolume, Finding::kLeftover, kEncrypted},
        {"killed while the leftover was written", kEnc, kPlainDoc, kShort, 0, Finding::kDocument, kPlainDoc},
        {"killed before the delete", kEnc, kPlainDoc, kEncrypted, 0, Finding::kBoth, kPlainDoc},
        {"killed in the copy back", kEnc, kShort, kEncrypted, 0, Finding::kLeftover, kEncrypted},
        {"killed before the copy back cleared the mark", kDec, kEmptyMarked, kPlain, 0, Finding::kLeftover, kPlain},
        {"document changed by the user since", kDec, kChanged, kPlain, 0, Finding::kBoth, kChanged},
        {"killed in the wipe", kWipe, kPlainDoc, kEncrypted, kWhole, Finding::kLeftover, kEncrypted},
        {"killed before the wipe's copy was whole", kWipe, kPlainDoc, kShort, 0, Finding::kDocument, kPlainDoc},
        {"waiting for the restart", kDec, kMarkedDoc, kPlain, kDeferred, Finding::kAwaitingRestart, kMarkedDoc},
        {"writer still running", kEnc, kAbsent, kEncrypted, kLive, Finding::kInProgress, kAbsent},
        {"leftover deleted by the user", kEnc, kPlainDoc, kAbsent, 0, Finding::kDocument, kPlainDoc},
        {"document renamed by the user, leftover short", kEnc, kAbsent, kShort, 0, Finding::kNeither, kAbsent},
    };
    fault::Hook<decltype(&MoveFileExW)> move(Self(), "KERNEL32.dll", "MoveFileExW", FALSE, ERROR_NOT_SAME_DEVICE);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::wstring& path : {doc, left, journal}) RemoveTree(path);
        Put(doc, c.document);
        Put(left, c.leftover);
        const oper::JournalIntent intent = Intent(c.op, c.op == kWipe ? oper::kUnknownSize : kSize, doc, left,
                                                  c.how & kLive);
        Append(JournalMark::kIntent, intent);
        if (c.how & (kWhole | kDeferred)) Append(c.how & kWhole ? JournalMark::kWhole : JournalMark::kDeferred, intent);

        auto found = Recover(false);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].finding, c.finding);
        EXPECT_TRUE(Look(doc) == c.document && Look(left) == c.leftover) << "changed without --apply";

        if (c.how & kOtherVolume) move.trigger.Arm(1, true);
        found = Recover(true);
        move.trigger.Disarm();
        ASSERT_EQ(found.size(), 1u);
        const bool acts = c.finding == Finding::kDocument || c.finding == Finding::kBoth ||
                          c.finding == Finding::kLeftover;
        EXPECT_EQ(found[0].changed, acts);
        EXPECT_EQ(docman::NeedsUser(found[0], true), c.finding == Finding::kNeither);
        EXPECT_TRUE(Look(doc) == (acts ? c.after : c.document));
        EXPECT_TRUE(Look(left) == (acts ? kAbsent : c.leftover));
        EXPECT_EQ(Recover(true).size(), acts ? 0u : 1u);
    }
}

// Temporary names come round again: a leftover name that a later intent
// made anew is the later one's, which an older intent never removes.
TEST_F(Journal, ALeftoverNameMadeAgainBelongsToTheLaterIntent) {
    const std::wstring later = dir / L"later.txt";
    Put(doc, kPlainDoc);
    Put(left, kEncrypted);
    Append(JournalMark::kIntent, Intent(JournalOp::kEncrypt, kSize, doc, left));
    Append(JournalMark::kIntent, Intent(JournalOp::kEncrypt, kSize, later, left));
    const auto found = Recover(true);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].finding == Finding::kDocument && found[1].finding == Finding::kLeftover);
    EXPECT_TRUE(Look(doc) == kPlainDoc && Look(later) == kEncrypted && Look(left) == kAbsent);
}

// Cut at every byte, a journal says less, never something else: each intent
// shows only as what it is (the finished one while its "done" is cut off).
TEST_F(Journal, AJournalCutAtAnyByteNeverTurnsAWholeDocumentIntoALeftover) {
    const std::wstring lost = dir / L"lost.txt", lostLeft = dir / L"TzT13.tmp";
    Put(lostLeft, kEncrypted);
    Put(doc, kPlainDoc);
    Put(left, kShort);
    const auto settled = Intent(JournalOp::kEncrypt, kSize, lost, lostLeft);
    const auto whole = Intent(JournalOp::kEncrypt, kSize, lost, lostLeft);
    const auto partial = Intent(JournalOp::kEncrypt, kSize, doc, left);
    Append(JournalMark::kIntent, settled);
    Append(JournalMark::kDone, settled);
    Append(JournalMark::kIntent, whole);
    Append(JournalMark::kIntent, partial);
    const std::string full = ReadFileBytes(journal);
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        ASSERT_TRUE(WriteFileBytes(journal, full.substr(0, cut)));
        for (const docman::Recovery& r : Recover(false)) {
            const bool isPartial = r.intent.writer == partial.writer;
            EXPECT_EQ(r.finding, isPartial ? Finding::kDocument : Finding::kLeftover) << "cut at " << cut;
        }
    }
    EXPECT_EQ(Recover(false).size(), 2u);
}

// A host that stays open compacts the journal as it goes: of thousands of
// its settled transforms (some 4 MB of records), at most a compaction's worth
// is left.
TEST_F(Journal, ALongLivedProcessKeepsTheJournalSmall) {
    const std::wstring name = dir / (std::wstring(200, L'n') + L".txt");
    constexpr int kTransforms = 4000;
    for (int i = 0; i < kTransforms; ++i)
        oper::JournalEntry(JournalOp::kEncrypt, name.c_str(), name.c_str(), kSize, &info).Mark(JournalMark::kDone);
    std::vector<oper::JournalIntent> intents;
    ASSERT_TRUE(oper::ReadJournal(oper::JournalPath(), intents));
    const auto mine = std::count_if(intents.begin(), intents.end(), WrittenByThisProcess);
    EXPECT_GE(mine, 1) << "the last intent waits for its \"done\"";
    EXPECT_LE(mine, kTransforms / 3);
}

// A journal that cannot be written leaves the transforms' results, codes and
// files exactly as they are with it.
TEST_F(Journal, AJournalThatCannotBeWrittenChangesNoResult) {
    const std::string plain = Pattern(70000);
    for (bool writable : {true, false}) {
        SCOPED_TRACE(writable ? "journal written" : "journal refused");
        fault::Hook<decltype(&LockFileEx)> lock(Self(), "KERNEL32.dll", "LockFileEx", FALSE, ERROR_WRITE_PROTECT);
        if (!writable) lock.trigger.Arm(1, true);
        const std::wstring doc = dir / (writable ? L"written.txt" : L"refused.txt");
        ASSERT_TRUE(WriteFileBytes(doc, plain));
        uint32_t state = FILEOPER_STATE_RUNNING;
        EXPECT_TRUE(EncryptFileInPlaceW(doc.c_str(), &info, &state, nullptr) && !GetOperErrorCode() && IsMarked(doc));
        EXPECT_TRUE(DecryptFileInPlaceW(doc.c_str(), &state, nullptr) && !GetOperErrorCode());
        EXPECT_TRUE(ReadFileBytes(doc) == plain && !IsMarked(doc));
        EXPECT_TRUE(TempFilesIn(dir.path()).empty());
        std::vector<oper::JournalIntent> written;
        ASSERT_TRUE(oper::ReadJournal(oper::JournalPath(), written));
        size_t intents = 0;
        for (const oper::JournalIntent& intent : written)
            intents += WrittenByThisProcess(intent) && intent.document == doc;
        EXPECT_EQ(intents, writable ? 2u : 0u);
    }
}

}  // namespace
