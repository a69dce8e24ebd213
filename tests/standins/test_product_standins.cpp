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

struct Event {
    uint32_t id;
    std::string data;
};

int WINAPI KeepEvent(void* events, uint32_t id, uint64_t, const void* data, uint32_t size) {
    static_cast<std::vector<Event>*>(events)->push_back({id, std::string(static_cast<const char*>(data), size)});
    return 1;
}
std::vector<Event> Events() {
    std::vector<Event> events;
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

        const std::vector<Event> kept = Events();
        ASSERT_EQ(kept.size(), 2u) << cut;
        EXPECT_EQ(kept[0].data, Bytes(a)) << cut;
        EXPECT_EQ(kept[1].data, Bytes(c)) << cut;
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
    EXPECT_EQ(records.exitCode, 0u) << records.output;
    EXPECT_NE(records.output.find("path: " + Utf8(file)), std::string::npos) << records.output;
    EXPECT_NE(records.output.find("value: 1"), std::string::npos) << records.output;
}

}  // namespace
