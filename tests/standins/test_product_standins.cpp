// The event log and record database stand-ins as the operation tests trust
// them: what was passed is kept exactly, survives the process, and a record
// torn by a kill costs nothing but itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/standin_store.h"
#include "tests/support/temp_dir.h"
#include "tzevtlog.h"
#include "tzevtlog_standin.h"
#include "varendb.h"
#include "varendb_standin.h"

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

// "+value path" for an add, "- path" for a delete, a line each.
int WINAPI KeepRecord(void* lines, uint32_t operation, uint32_t value, uint64_t, const wchar_t* path) {
    const std::wstring what = operation == VARENDB_RECORD_ADDED ? L"+" + std::to_wstring(value) : L"-";
    *static_cast<std::wstring*>(lines) += what + L" " + path + L"\n";
    return 1;
}
std::wstring Records(uint32_t history) {
    std::wstring lines;
    VarendbReadW(history, KeepRecord, &lines);
    return lines;
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

TEST_F(ProductStandins, EventsKeepTheirIdAndExactlyTheBytesPassedInBothLayouts) {
    const std::wstring file = dir / L"report.txt", deep = MakeDeepPath(dir.path(), 600);
    // The file's attributes, its path, and bytes beyond the path's NUL that are not the entry's.
    const std::string block = Pattern(36) + Bytes(file) + "\xEE\xEE";
    const std::vector<Event> passed = {{20, block}, {21, block}, {15, Bytes(file)}, {16, Bytes(deep)}};
    for (const Event& e : passed) ASSERT_EQ(Event_Add(e.id, e.data.data()), 1);
    EXPECT_EQ(Event_Add(15, nullptr), 0);

    const std::vector<Event> kept = Events();
    ASSERT_EQ(kept.size(), passed.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].id, passed[i].id) << i;
        EXPECT_EQ(kept[i].data, passed[i].data.substr(0, passed[i].data.size() - (passed[i].id >= 20 ? 2 : 0))) << i;
    }
    EXPECT_EQ(LogPath().rfind(store.path() + L"\\", 0), 0u);
}

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

TEST_F(ProductStandins, RecordsAddAndDeleteByPathWithoutRegardToCase) {
    const std::wstring a = dir / L"Folder", b = dir / L"file.txt";
    {
        CTzVarenDB db;
        EXPECT_EQ(db.AddRecordItem(a.c_str(), 0), 1);
        EXPECT_EQ(db.AddRecordItem(b.c_str(), 1), 1);
        EXPECT_EQ(db.AddRecordItem(b.c_str(), 0), 1);
    }
    CTzVarenDB db;
    std::wstring upper = a;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    EXPECT_EQ(db.DeleteRecordItemExW(upper.c_str()), 1);
    EXPECT_EQ(db.AddRecordItem(nullptr, 1), 0);

    EXPECT_EQ(Records(0), L"+0 " + b + L"\n");
    EXPECT_EQ(Records(1), L"+0 " + a + L"\n+1 " + b + L"\n+0 " + b + L"\n- " + upper + L"\n");
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
