// A worker process (crash_worker.cpp) works over the filter model and is
// killed at random moments, hundreds of times. After every kill the recovery
// (docman recover --apply) runs, and then each file's exact data must lie on
// disk whole at its path or at its destination: none may be left only in a
// leftover of the library (".tmp" beside the file, in the temporary folder
// or in the rescue folder), and none lost.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <random>

#include "host/recovery.h"
#include "tests/support/product.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

// A worker, started with its arguments and the handle of an inherited event
// it sets once its work has begun; killed when the object goes.
class Worker {
public:
    explicit Worker(const std::wstring& arguments) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        started_ = CreateEventW(&inherit, TRUE, FALSE, nullptr);
        std::wstring command = L"\"" + BinDir() + L"crash_worker.exe\" " + arguments + L" " +
                               std::to_wstring(reinterpret_cast<uintptr_t>(started_));
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &process_))
            ADD_FAILURE() << "start error " << GetLastError();
    }
    ~Worker() {
        TerminateProcess(process_.hProcess, 9);
        WaitForSingleObject(process_.hProcess, INFINITE);
        for (HANDLE h : {process_.hThread, process_.hProcess, started_}) CloseHandle(h);
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Whether its work began; a loaded machine starts a worker slowly, so
    // only its early end is a failure.
    bool Began() const {
        HANDLE waits[2] = {started_, process_.hProcess};
        return process_.hProcess && WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
    }
    DWORD id() const { return process_.dwProcessId; }

private:
    HANDLE started_ = nullptr;
    PROCESS_INFORMATION process_ = {};
};

// Lets a worker run for up to `longest` ms once its work has begun, and
// kills it.
void RunAndKill(const std::wstring& arguments, DWORD longest, std::mt19937& random) {
    const Worker worker(arguments);
    ASSERT_TRUE(worker.Began()) << "worker ended before it began";
    Sleep(random() % longest);
}

// The library's leftovers (".tmp") in the folders, with their plain data.
std::vector<std::pair<std::wstring, std::string>> Leftovers(const std::vector<std::wstring>& folders) {
    std::vector<std::pair<std::wstring, std::string>> found;
    for (const std::wstring& folder : folders)
        for (const std::wstring& name : TempFilesIn(folder))
            found.emplace_back(folder + L"\\" + name, PlainView(folder + L"\\" + name));
    return found;
}

bool Holds(const std::wstring& path, const std::string& bytes) { return FileExists(path) && PlainView(path) == bytes; }

const wchar_t* const kTree[] = {L"", L"\\A", L"\\A\\B"};

// Marks and a temporary folder of the test's own, which the workers inherit,
// and a rescue folder that starts and ends empty. Every loss fails the test.
class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryW(temp.c_str(), nullptr);
        SetTempFolder(temp);
        RemoveTree(rescue);
    }
    void TearDown() override {
        RemoveTree(rescue);
        // Back to the system's, where the next test makes its folders.
        SetTempFolder(dir.path().substr(0, dir.path().find_last_of(L'\\')));
        std::cout << kills << " kills, " << restored << " documents put back from a leftover by the recovery, "
                  << keptInLeftover << " kept only in a leftover after recovery, " << losses.size() - keptInLeftover
                  << " lost\n";
        for (const std::string& loss : losses) ADD_FAILURE() << "not whole under its name: " << loss;
    }

    // `count` random documents in each of the tree's first `levels` folders,
    // mostly small, every `bigEvery`-th spanning several chunks; the
    // destination empty.
    void Build(size_t levels, int count, int bigEvery, size_t small) {
        for (const std::wstring& root : {src, dst}) RemoveTree(root);
        files.clear();
        for (const wchar_t* folder : std::vector<const wchar_t*>(kTree, kTree + levels)) {
            CreateDirectoryW((src + folder).c_str(), nullptr);
            for (int i = 0; i < count; ++i) {
                std::string bytes(i % bigEvery == 0 ? 100000 + random() % 300000 : random() % small, '\0');
                for (char& c : bytes) c = static_cast<char>(random());
                files.push_back({std::wstring(folder) + L"\\f" + std::to_wstring(i) + L".dat", bytes});
                ASSERT_TRUE(WriteFileBytes(src + files.back().first, bytes));
            }
        }
        CreateDirectoryW(dst.c_str(), nullptr);
    }

    // Kills the worker at a random moment, recovers, then looks for every
    // file whole at its path or its destination, and clears what leftovers
    // the recovery had no use for.
    void KillAndCheck(const wchar_t* mode, DWORD longest) {
        RunAndKill(std::wstring(mode) + L" \"" + src + L"\" \"" + dst + L"\"", longest, random);
        ++kills;
        std::vector<docman::Recovery> found;
        ASSERT_TRUE(docman::Recover(oper::JournalPath(), dir.path(), true, found));
        for (const docman::Recovery& recovery : found)
            restored += recovery.finding == docman::Finding::kLeftover && recovery.changed;
        std::vector<std::wstring> places = {temp, rescue};
        for (const wchar_t* folder : kTree) places.insert(places.end(), {src + folder, dst + folder});
        const auto leftovers = Leftovers(places);
        for (const auto& [name, bytes] : files) {
            if (Holds(src + name, bytes) || Holds(dst + name, bytes)) continue;
            bool kept = false;
            for (const auto& leftover : leftovers) kept = kept || leftover.second == bytes;
            if (kept) ++keptInLeftover;
            losses.push_back(Narrow(mode + (L" " + name)) + (kept ? ": kept only in a leftover" : ": lost"));
        }
        for (const auto& leftover : leftovers) DeleteFileW(leftover.first.c_str());
    }

    StandinStore store;
    TempDir dir;
    std::wstring src = dir / L"src", dst = dir / L"dst", temp = dir / L"temp";
    std::wstring rescue = dir.path().substr(0, 3) + kRescueName;
    std::mt19937 random{GetTickCount()};
    std::vector<std::pair<std::wstring, std::string>> files;
    int kills = 0, restored = 0, keptInLeftover = 0;
    std::vector<std::string> losses;
};

// Two hundred files encrypted and decrypted in place one after another, with
// room on the volume for a second copy and ("full") without.
TEST_F(CrashSafety, NoKillAtAnyMomentLosesAFile) {
    for (const wchar_t* mode : {L"files", L"full"}) {
        Build(1, 200, 10, 20000);
        for (int i = 0; i < 150 && !HasFatalFailure(); ++i) KillAndCheck(mode, 100);
    }
    EXPECT_GE(restored, 1) << "no kill landed between delete and rename: the test proves little";
}

// Whole runs over a tree: in-place encryptions with and without wipe,
// decryptions, and moves to a destination and back.
TEST_F(CrashSafety, NoKillOfAWholeRunLosesAFile) {
    for (const wchar_t* mode : {L"encrypt", L"wipe", L"decrypt", L"move"}) {
        for (int i = 0; i < 25 && !HasFatalFailure(); ++i) {
            Build(3, 12, 6, 9000);
            KillAndCheck(mode, 700);
        }
    }
    EXPECT_EQ(kills, 4 * 25);
}

}  // namespace

namespace {

// Two processes encrypting and decrypting in place at once append to the
// one journal: each one's intents are all there, numbered without a gap
// (from the first still kept, should another process have compacted the
// journal), and all but the last settled; none was written over.
TEST_F(CrashSafety, TwoProcessesAppendToTheJournalAtOnce) {
    Build(1, 20, 100, 3000);
    for (const auto& [name, bytes] : files) ASSERT_TRUE(WriteFileBytes(dst + name, bytes));
    std::vector<oper::JournalIntent> intents;
    std::map<DWORD, std::vector<const oper::JournalIntent*>> seen;
    {
        const Worker first(L"files \"" + src + L"\" x"), second(L"files \"" + dst + L"\" x");
        ASSERT_TRUE(first.Began() && second.Began());
        while (seen[first.id()].size() < 100 || seen[second.id()].size() < 100) {
            ASSERT_TRUE(oper::ReadJournal(oper::JournalPath(), intents));
            seen.clear();
            for (const oper::JournalIntent& intent : intents) seen[intent.writer.process].push_back(&intent);
        }
        seen = {{first.id(), {}}, {second.id(), {}}};
    }
    ASSERT_TRUE(oper::ReadJournal(oper::JournalPath(), intents));
    for (const oper::JournalIntent& intent : intents)
        if (seen.count(intent.writer.process)) seen[intent.writer.process].push_back(&intent);
    for (const auto& [process, own] : seen) {
        for (size_t i = 0; i < own.size(); ++i) {
            EXPECT_EQ(own[i]->writer.sequence, own[0]->writer.sequence + i) << "process " << process;
            EXPECT_TRUE(own[i]->done || i + 1 == own.size()) << "process " << process << ", intent " << i + 1;
        }
    }
    std::vector<docman::Recovery> found;
    ASSERT_TRUE(docman::Recover(oper::JournalPath(), dir.path(), true, found));
}

}  // namespace
