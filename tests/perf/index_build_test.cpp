// The index build's shortcuts (skipping a sort that load order already satisfies, ranking the
// distinct values of a single text key) give exactly the order of a stable sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "data/memtable.h"

namespace korvel {
namespace {

struct Row {
    std::string name;
    std::int32_t no;
};

// A table of (Name, No) with indexes on Name, on Name descending and on Name;No.
MemTable MakeTable(const std::vector<Row>& rows) {
    std::vector<FieldDef> fields(2);
    fields[0].name = fields[0].label = "Name";
    fields[0].size = 20;
    fields[1].name = fields[1].label = "No";
    fields[1].type = FieldType::Integer;
    std::vector<IndexDef> indexes(3);
    indexes[0].name = indexes[0].indexName = "ByName";
    indexes[0].fields = {"Name"};
    indexes[1].name = indexes[1].indexName = "ByNameDesc";
    indexes[1].fields = {"Name"};
    indexes[1].descending = true;
    indexes[2].name = indexes[2].indexName = "ByNameNo";
    indexes[2].fields = {"Name", "No"};
    MemTable t;
    t.Define(fields, indexes);
    for (const Row& r : rows) {
        t.Append();
        t.SetText(0, r.name);
        t.SetInteger(1, r.no);
        t.Post();
    }
    t.BuildIndexes();
    return t;
}

std::vector<std::uint32_t> Reference(const std::vector<Row>& rows, bool descending, bool withNo) {
    std::vector<std::uint32_t> perm(rows.size());
    std::iota(perm.begin(), perm.end(), 0u);
    std::stable_sort(perm.begin(), perm.end(), [&](std::uint32_t a, std::uint32_t b) {
        // Unsigned byte order, as the table compares texts.
        const int c = rows[a].name.compare(rows[b].name);
        if (c != 0) return descending ? c > 0 : c < 0;
        return withNo && rows[a].no < rows[b].no;
    });
    return perm;
}

TEST(IndexBuild, RandomTablesSortLikeAStableSort) {
    std::mt19937 rng(12345);
    // GBK-like bytes above 0x7F must sort after ASCII (unsigned comparison).
    const std::vector<std::string> names = {
        "", "A", "AB", "B", "\xB1\xB1", "\xB1", "\xF8\xB3", "\xCB\xBC\xF8\xB3", "a", "Z"};
    for (int round = 0; round < 30; ++round) {
        std::vector<Row> rows(static_cast<std::size_t>(rng() % 300));
        for (Row& r : rows) {
            r.name = names[rng() % names.size()];
            r.no = static_cast<std::int32_t>(rng() % 7);
        }
        if (round % 3 == 0) {
            // Already in order: the build may skip the sort.
            std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
                return a.name != b.name ? a.name < b.name : a.no < b.no;
            });
        }
        MemTable t = MakeTable(rows);
        ASSERT_EQ(*t.IndexOrder("ByName"), Reference(rows, false, false)) << round;
        ASSERT_EQ(*t.IndexOrder("ByNameDesc"), Reference(rows, true, false)) << round;
        ASSERT_EQ(*t.IndexOrder("ByNameNo"), Reference(rows, false, true)) << round;
    }
}

TEST(IndexBuild, EmptyAndSingleRecordTables) {
    EXPECT_TRUE(MakeTable({}).IndexOrder("ByName")->empty());
    EXPECT_EQ(*MakeTable({{"x", 1}}).IndexOrder("ByNameDesc"), std::vector<std::uint32_t>{0});
}

}  // namespace
}  // namespace korvel
