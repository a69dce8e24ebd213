// The store behind the result lists, against a plain sequence that appends and
// takes rows the way the list control did.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "ui/row_store.h"

namespace {

using oper::RowStore;

struct ModelRow {
    std::wstring text;
    uint32_t itemData;
};

bool IsFolder(const ModelRow& row) { return (row.itemData & 0xFFFF) != 0; }

// The row the undo takes: the first folder row (direction 1), the last file
// row (direction 0), otherwise the last row.
size_t ModelPick(const std::deque<ModelRow>& rows, uint32_t direction) {
    for (size_t i = 0; direction == 1 && i < rows.size(); ++i)
        if (IsFolder(rows[i])) return i;
    for (size_t i = rows.size(); direction == 0 && i-- > 0;)
        if (!IsFolder(rows[i])) return i;
    return rows.size() - 1;
}

std::vector<std::wstring> Shown(const RowStore& store, const RowStore::View& view) {
    std::vector<std::wstring> texts;
    RowStore::Row row;
    for (int i = 0; i < view.Size(); ++i) texts.push_back(store.RowAt(view, i, &row) ? row.text : L"(stale)");
    return texts;
}

std::vector<std::wstring> Texts(const std::deque<ModelRow>& rows) {
    std::vector<std::wstring> texts;
    for (const ModelRow& row : rows) texts.push_back(row.text);
    return texts;
}

// A fixed mix of appends (one folder row in three) and takes in every
// direction, past the first block of entries, checked at every step while
// the list is short and now and then later: the rows in order, the newest
// row's place, what each take returns.
TEST(RowStore, ReadsAsTheListItStandsFor) {
    constexpr int kAppendSteps = 90000;
    RowStore store;
    std::deque<ModelRow> model;
    std::wstring newest;
    RowStore::View checked;
    std::vector<std::wstring> checkedTexts;
    uint32_t seed = 12345;
    for (int step = 0; step < kAppendSteps || !model.empty(); ++step) {
        seed = seed * 1103515245 + 12345;
        const uint32_t dice = (seed >> 16) % 8;
        if (step < kAppendSteps && (dice < 6 || model.empty())) {
            newest = std::to_wstring(step);
            const ModelRow row{newest, dice % 3 == 0 ? 0x10000u | dice : dice};
            store.Append(row.text.c_str(), row.itemData, 100 + dice);
            model.push_back(row);
        } else {
            const uint32_t direction = dice % 3;
            const size_t picked = ModelPick(model, direction);
            std::wstring text;
            uint64_t itemData = 0;
            ASSERT_EQ(store.Take(direction, &text, &itemData), int(model.size() - 1));
            ASSERT_EQ(std::make_pair(text, itemData), std::make_pair(model[picked].text, uint64_t(model[picked].itemData)))
                << "step " << step;
            model.erase(model.begin() + picked);
        }
        if (model.size() > 300 && step % 4999 != 0) continue;
        RowStore::View view;
        ASSERT_TRUE(store.Snapshot(&view));
        const std::vector<std::wstring> texts = Texts(model);
        ASSERT_EQ(Shown(store, view), texts) << "step " << step;
        if (store.KeepsLeadingRows(checked, view)) {  // the shorter list leads the longer
            const size_t shared = std::min(texts.size(), checkedTexts.size());
            ASSERT_TRUE(std::equal(texts.begin(), texts.begin() + shared, checkedTexts.begin())) << "step " << step;
        }
        checked = view;
        checkedTexts = texts;
        int newestIndex = -1;
        for (size_t i = 0; i < model.size(); ++i)
            if (model[i].text == newest) newestIndex = int(i);
        ASSERT_EQ(store.NewestIndex(view), newestIndex) << "step " << step;
    }
    std::wstring text;
    uint64_t itemData = 7;
    EXPECT_EQ(store.Take(1, &text, &itemData), -1);
    EXPECT_EQ(itemData, 7u);
}

// A view taken before a take and an append that reuses the taken row's slot
// still reads its other rows; the reused one reads as stale, never as the
// new row.
TEST(RowStore, AnOlderViewNeverReadsAReusedSlot) {
    RowStore store;
    for (const wchar_t* text : {L"a", L"b", L"c"}) store.Append(text, 0, 1);
    RowStore::View before;
    ASSERT_TRUE(store.Snapshot(&before));
    std::wstring taken;
    uint64_t itemData = 0;
    store.Take(0, &taken, &itemData);
    store.Append(L"d", 0, 1);
    EXPECT_EQ(Shown(store, before), (std::vector<std::wstring>{L"a", L"b", L"(stale)"}));
    RowStore::View after;
    ASSERT_TRUE(store.Snapshot(&after));
    EXPECT_EQ(Shown(store, after), (std::vector<std::wstring>{L"a", L"b", L"d"}));
    EXPECT_EQ(store.NewestIndex(after), 2);
    RowStore::Row row;
    EXPECT_FALSE(store.RowAt(after, after.Size(), &row) || store.RowAt(after, -1, &row)) << "past either end";
}

}  // namespace
