// Where the request's item list ends, and how the results array is packed.
// (Every whole run reads the request's header and strings.)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/request_block.h"
#include "operation/operation_state.h"

namespace {

// A request block as a host lays it out, claiming `count` items.
std::vector<uint32_t> BuildRequest(const std::wstring& destination, const std::vector<std::wstring>& items,
                                   int32_t count) {
    docman::RunRequest request;
    request.destination = destination;
    request.items = items;
    std::vector<uint32_t> block = docman::BuildRequestBlock(request);
    reinterpret_cast<OperationRequest*>(block.data())->itemCount = count;
    return block;
}

std::vector<std::wstring> Items(const oper::RequestView& view) {
    std::vector<std::wstring> out;
    view.ForEachItem([&out](const wchar_t* item) { out.push_back(item); });
    return out;
}

TEST(RequestView, ItemListEndsAtTheCountOrTheFirstEmptyString) {
    const std::vector<std::wstring> three = {L"C:\\1", L"C:\\2", L"C:\\3"};
    auto itemsFor = [&three](int32_t count) {
        return Items(oper::RequestView(docman::AsRequest(BuildRequest(L"D:\\", three, count))));
    };
    const std::pair<int32_t, size_t> cases[] = {{2, 2}, {3, 3}, {10, 3}, {0, 0}, {-1, 0}};
    for (const auto& [count, items] : cases) EXPECT_EQ(itemsFor(count).size(), items) << count;
}

TEST(Results, PackPairsLowThenHighAndHandBackTheRequestAddress) {
    oper::OperationState state = {};
    OperationRequest request = {};
    state.totalBytes = 0x1122334455667788ull;
    state.completedBytes = 16384;
    state.fileTotal = 3;
    state.filesDone = 3;
    state.reverseProgress = 1;
    state.currentItemPercent = 100;
    state.currentItemSize = 8192;
    state.request = &request;
    state.runState = oper::kFinished;
    state.errorCount = 2;
    state.rememberedChoice = 512;
    state.applyToAll = 1;

    uint64_t results[oper::kResultSlots];
    std::memset(results, 0xAB, sizeof results);
    oper::CopyResults(state, results);
    EXPECT_EQ(results[0], 0x1122334455667788ull);
    EXPECT_EQ(results[1], 16384u);
    EXPECT_EQ(results[2], (3ull << 32) | 3u);
    EXPECT_EQ(results[3], (100ull << 32) | 1u);
    EXPECT_EQ(results[4], 8192u);
    EXPECT_EQ(results[5], reinterpret_cast<uintptr_t>(&request));
    EXPECT_EQ(results[6], (2ull << 32) | 768u);
    EXPECT_EQ(results[7], (1ull << 32) | 512u);
    EXPECT_EQ(results[8], 0u);
}

}  // namespace
