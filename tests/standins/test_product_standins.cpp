// The event log and record database stand-ins: what they keep survives the
// process, and a record torn by a kill costs nothing but itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tzevtlog.h"
#include "tzevtlog_standin.h"
#include "varendb.h"

using namespace testing_support;

namespace {

// The data of every event kept.
int WINAPI KeepEvent(void* events, uint32_t, uint64_t, const void* data, uint32_t size) {
    static_cast<std::vector<std::string>*>(events)->emplace_back(static_cast<const char*>(data), size);
    return 1;
}
std::vector<std::string> Events() {
    std::vector<std::string> events;
    TzEvtLogReadW(KeepEvent, &events);
    return events;
}

std::string Bytes(const std::wstring& path) {
    return std::string(reinterpret_cast<const char*>(path.c_str()), (path.size() + 1) * sizeof(wchar_t));
}

std::wstring LogPath() {
    wchar_t path[MAX_PATH];
    TzEvtLogPathW(path, MAX_PATH);
    return path;
}

class ProductStandins : public ::testing::Test {
protected:
    StandinStore store;
    TempDir dir;
};

TEST_F(ProductStandins, ATornRecordCostsOnlyItselfWhereverTheKillCutIt) {
    const std::wstring a = dir / L"a", b = dir / L"b", c = dir / L"c";
    for (size_t cut : {1, 8, 20, 31}) {
        ASSERT_TRUE(DeleteFileW(LogPath().c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
        ASSERT_EQ(Event_Add(15, a.c_str()), 1);
        const std::string whole = ReadFileBytes(LogPath());
        ASSERT_EQ(Event_Add(16, b.c_str()), 1);
        // What a kill during the write of b leaves: part of its record.
        const std::string torn = ReadFileBytes(LogPath()).substr(0, whole.size() + cut);
        ASSERT_TRUE(WriteFileBytes(LogPath(), torn));
        ASSERT_EQ(Event_Add(16, c.c_str()), 1);

        EXPECT_EQ(Events(), (std::vector<std::string>{Bytes(a), Bytes(c)})) << cut;
    }
}

TEST_F(ProductStandins, DocmanShowsWhatAnotherProcessKept) {
    const std::wstring file = dir / L"doc.txt";
    ASSERT_EQ(Event_Add(16, file.c_str()), 1);
    CTzVarenDB db;
    ASSERT_EQ(db.AddRecordItem(file.c_str(), 1), 1);

    const ProgramRun events = RunBinProgram(L"docman.exe", L"--json events");
    EXPECT_TRUE(events.exitCode == 0 && events.output.find("\"id\": 16") != std::string::npos) << events.output;
    const ProgramRun records = RunBinProgram(L"docman.exe", L"records");
    for (const std::string& shown : {"path: " + Utf8(file), std::string("value: 1")})
        EXPECT_TRUE(records.exitCode == 0 && records.output.find(shown) != std::string::npos) << records.output;
}

}  // namespace
