// Column sorting: the header marker, directions, text versus numeric columns, the exact
// partition procedure, and sorting only the displayed rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/view_rows.h"
#include "views/grid_sort.h"
#include "views/result_grid.h"

namespace korvel {
namespace {

using test::Row;

const std::string kLicheng = "\xC0\xEF\xB3\xCC";  // 里程
const std::string kFashi = "\xB7\xA2\xCA\xB1";    // 发时
const std::string kUp(kArrowUp);
const std::string kDown(kArrowDown);

std::vector<std::string> Column(const TextGrid& g, int column, int rows) {
    std::vector<std::string> out;
    for (int r = 0; r < rows; ++r) out.push_back(g.Cell(column, r));
    return out;
}

// A grid of one column for the routine itself.
TextGrid OneColumn(const std::vector<std::string>& values) {
    TextGrid g(2, static_cast<int>(values.size()));
    for (int r = 0; r < static_cast<int>(values.size()); ++r) {
        g.SetCell(0, r, values[r]);
        g.SetCell(1, r, std::to_string(r));  // remembers where a row came from
    }
    return g;
}

struct Fixture : ::testing::Test {
    ResultGrid grid;
    HeaderLabels labels = MainHeaderLabels();
    ResultList list;

    int Fill(const FilterBoxes& boxes = {}) {
        return FillResultGrid(list, boxes, QueryKindValue::Direct, "", "", "", "", grid, labels);
    }
};

TEST_F(Fixture, HeaderClickWithNoRowsChangesNothing) {
    grid.Reset();
    EXPECT_FALSE(HeaderClicked(grid, labels, 10));
    EXPECT_FALSE(labels.SortedColumn().has_value());
    EXPECT_EQ(labels.Caption(9), kLicheng);
    EXPECT_FALSE(labels.Bold(9));
}

TEST_F(Fixture, ClicksMoveMarkerAndReverseDirection) {
    std::vector<test::RowSpec> specs = {Row("K1", "A", "B", "A", "B", 1, 100),
                                        Row("K2", "A", "B", "A", "B", 1, 95),
                                        Row("K3", "A", "B", "A", "B", 1, 1200)};
    specs[0].depart = "08:00";
    specs[1].depart = "23:10";
    specs[2].depart = "07:05";
    list = test::Rows(specs);
    ASSERT_EQ(Fill(), 3);

    EXPECT_TRUE(HeaderClicked(grid, labels, 10));  // 里程
    EXPECT_TRUE(labels.Bold(9));
    EXPECT_EQ(labels.Caption(9), kLicheng + kUp);
    EXPECT_EQ(Column(grid, 9, 3), (std::vector<std::string>{"95", "100", "1200"}));

    HeaderClicked(grid, labels, 10);
    EXPECT_EQ(labels.Caption(9), kLicheng + kDown);
    EXPECT_FALSE(labels.Ascending());
    EXPECT_EQ(Column(grid, 9, 3), (std::vector<std::string>{"1200", "100", "95"}));

    HeaderClicked(grid, labels, 6);  // 发时
    EXPECT_FALSE(labels.Bold(9));
    EXPECT_EQ(labels.Caption(9), kLicheng);
    EXPECT_TRUE(labels.Bold(5));
    EXPECT_EQ(labels.Caption(5), kFashi + kUp);
    EXPECT_EQ(labels.SortedColumn(), 5);
    EXPECT_EQ(Column(grid, 5, 3), (std::vector<std::string>{"07:05", "08:00", "23:10"}));
    // Rows move whole.
    EXPECT_EQ(Column(grid, 0, 3), (std::vector<std::string>{"K3", "K1", "K2"}));
}

TEST_F(Fixture, RideTimesAndFaresCompareAsValues) {
    list = test::Rows({Row("K1", "A", "B", "A", "B", 1, 1, "9:30"),
                       Row("K2", "A", "B", "A", "B", 1, 1, "10:05")});
    list[0].fares[1] = FareValue{1, {230}};
    list[1].fares[1] = FareValue{1, {1050}};
    Fill();
    HeaderClicked(grid, labels, 11);  // 历时
    EXPECT_EQ(Column(grid, 10, 2), (std::vector<std::string>{"9:30", "10:05"}));
    HeaderClicked(grid, labels, 13);  // 软座 by value: 23 before 105
    EXPECT_EQ(Column(grid, 12, 2), (std::vector<std::string>{"23", "105"}));
}

TEST(SortRoutine, GbkBytesUnsignedAndPrefixFirst) {
    // 北京 (B1..) after ASCII, 北京西 after its prefix 北京, user-defined area (F8..) last.
    TextGrid g = OneColumn({test::kUserArea, test::kBeijingXi, "Z", test::kBeijing, ""});
    SortGridByColumn(g, 0, 5, 0, true, false);
    EXPECT_EQ(Column(g, 0, 5), (std::vector<std::string>{"", "Z", test::kBeijing, test::kBeijingXi,
                                                         test::kUserArea}));
}

TEST(SortRoutine, NonNumbersSortAfterNumbersAndSortCompletes) {
    TextGrid g = OneColumn({"-", "30.5", "7", "-", "120", "abc", "8"});
    SortGridByColumn(g, 0, 7, 0, true, true);
    EXPECT_EQ(Column(g, 0, 7),
              (std::vector<std::string>{"7", "8", "30.5", "120", "-", "-", "abc"}));
    SortGridByColumn(g, 0, 7, 0, false, true);
    EXPECT_EQ(Column(g, 0, 7),
              (std::vector<std::string>{"abc", "-", "-", "120", "30.5", "8", "7"}));
    // Texts that a lenient parser would take for numbers stay non-numbers.
    TextGrid h = OneColumn({"nan", "inf", "5", "0x10", "1e2"});
    SortGridByColumn(h, 0, 5, 0, true, true);
    EXPECT_EQ(Column(h, 0, 5), (std::vector<std::string>{"5", "1e2", "0x10", "inf", "nan"}));
}

TEST(SortRoutine, EmptyCellAtStartOfPassBecomesZero) {
    TextGrid g = OneColumn({"", "5", "3"});
    SortGridByColumn(g, 0, 3, 0, true, true);
    EXPECT_EQ(Column(g, 0, 3), (std::vector<std::string>{"0", "3", "5"}));
    // Text mode never writes into the grid.
    TextGrid t = OneColumn({"", "5", "3"});
    SortGridByColumn(t, 0, 3, 0, true, false);
    EXPECT_EQ(Column(t, 0, 3), (std::vector<std::string>{"", "3", "5"}));
}

TEST(SortRoutine, EqualKeysFollowThePartitionProcedure) {
    // Rows equal to the pivot stop both scans and are exchanged: not a stable order.
    TextGrid g = OneColumn({"1", "1", "1"});
    SortGridByColumn(g, 0, 3, 0, true, false);
    EXPECT_EQ(Column(g, 1, 3), (std::vector<std::string>{"2", "1", "0"}));

    TextGrid h = OneColumn({"b", "a", "b", "a"});
    SortGridByColumn(h, 0, 4, 0, true, false);
    EXPECT_EQ(Column(h, 0, 4), (std::vector<std::string>{"a", "a", "b", "b"}));
    EXPECT_EQ(Column(h, 1, 4), (std::vector<std::string>{"3", "1", "0", "2"}));
}

TEST(SortRoutine, LargeInputsMatchAReferenceOrder) {
    std::vector<std::string> values;
    unsigned seed = 12345;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1103515245u + 12345u;
        int v = static_cast<int>((seed >> 16) % 500);
        values.push_back(v % 37 == 0 ? "-" : std::to_string(v));
    }
    TextGrid g = OneColumn(values);
    SortGridByColumn(g, 0, 3000, 0, true, true);
    for (int r = 1; r < 3000; ++r) {
        const std::string& a = g.Cell(0, r - 1);
        const std::string& b = g.Cell(0, r);
        if (a == "-") {
            EXPECT_EQ(b, "-") << r;
        } else if (b != "-") {
            EXPECT_LE(std::stoi(a), std::stoi(b)) << r;
        }
    }
}

TEST_F(Fixture, OnlyDisplayedRowsAreSortedAndRefillComesOutSorted) {
    list =
        test::Rows({Row("D3", "A", "B", "A", "B", 1, 300), Row("K9", "A", "B", "A", "B", 1, 50),
                    Row("D1", "A", "B", "A", "B", 1, 100), Row("G2", "A", "B", "A", "B", 1, 200)});
    HeaderClicked(grid, labels, 10);  // nothing shown yet: no marker
    EXPECT_FALSE(labels.SortedColumn());
    Fill();
    HeaderClicked(grid, labels, 10);
    HeaderClicked(grid, labels, 10);  // descending by 里程
    FilterBoxes emu;
    emu.EmuOnlyFilter = true;
    ASSERT_EQ(Fill(emu), 3);
    EXPECT_EQ(Column(grid, 0, 3), (std::vector<std::string>{"D3", "G2", "D1"}));
    EXPECT_EQ(grid.RowCount(), 16);
    for (int r = 3; r < 16; ++r) EXPECT_TRUE(grid.RowIsEmpty(r)) << r;
}

TEST_F(Fixture, WithoutMarkerRowsKeepListOrder) {
    list = test::Rows({Row("K3", "A", "B", "A", "B", 3), Row("K1", "A", "B", "A", "B", 1)});
    Fill();
    EXPECT_EQ(Column(grid, 0, 2), (std::vector<std::string>{"K3", "K1"}));
    EXPECT_FALSE(ReapplySort(grid, labels));
}

TEST_F(Fixture, FareColumnWithDashSortsCompletely) {
    list = test::Rows({Row("K1", "A", "B", "A", "B", 1, 1, "1", ""),
                       Row("K2", "A", "B", "A", "B", 1, 1, "1", "45.5"),
                       Row("K3", "A", "B", "A", "B", 1, 1, "1", "9"),
                       Row("K4", "A", "B", "A", "B", 1, 1, "1", "-")});
    Fill();
    HeaderClicked(grid, labels, 12);  // 硬座, numeric
    EXPECT_EQ(Column(grid, 11, 4), (std::vector<std::string>{"9", "45.5", "-", "-"}));
    HeaderClicked(grid, labels, 12);
    EXPECT_EQ(Column(grid, 11, 4), (std::vector<std::string>{"-", "-", "45.5", "9"}));
}

}  // namespace
}  // namespace korvel
