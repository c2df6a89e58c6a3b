// The main result grid: filling through the four filters per query kind, the row colours,
// selection and wheel rules, and the double-click row.
#include "views/result_grid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/view_rows.h"

namespace korvel {
namespace {

using test::kBeijing;
using test::kBeijingXi;
using test::kNanjing;
using test::kShanghai;
using test::kShanghaiHq;
using test::Row;
using test::Rows;
using test::RowSpec;

std::vector<std::string> Trains(const ResultGrid& g) {
    std::vector<std::string> out;
    for (int r = 0; r < g.ShownCount(); ++r) out.push_back(g.Cell(0, r));
    return out;
}

struct Grid : ::testing::Test {
    ResultGrid grid;
    HeaderLabels labels = MainHeaderLabels();

    std::vector<std::string> Shown(const ResultList& list, FilterBoxes boxes, QueryKindValue kind,
                                   const std::string& transfer = "", const std::string& from = "",
                                   const std::string& to = "", const std::string& cz = "") {
        FillResultGrid(list, boxes, kind, transfer, from, to, cz, grid, labels);
        return Trains(grid);
    }
};

TEST_F(Grid, ResetAndFillWriteTheColumnsAndRowCount) {
    grid.Reset();
    EXPECT_EQ(grid.RowCount(), 16);
    EXPECT_EQ(grid.ShownCount(), 0);
    EXPECT_FALSE(grid.Selection());
    EXPECT_EQ(ResultLabelText(0), "\xBD\xE1\xB9\xFB:0");
    EXPECT_EQ(ResultLabelText(23), "\xBD\xE1\xB9\xFB:23");

    RowSpec r = Row("Z98/Z95", kBeijing, kShanghai, kBeijingXi, kShanghai, 7, 1463, "14:05", "");
    r.depart = "08:01";
    r.arrive = "22:06";
    ResultList list = Rows({r, r, r});
    for (ResultRow& row : list.rows) {
        row.fares[1].count = 1;  // 260 yuan soft seat, no hard sleeper, no soft sleeper
        row.fares[1].tenths[0] = 2600;
    }
    EXPECT_EQ(FillResultGrid(list, {}, QueryKindValue::Direct, "", "", "", "", grid, labels), 3);
    EXPECT_EQ(grid.RowCount(), 16);
    const std::vector<std::string> expected = {"Z98/Z95",  kBeijing, kShanghai, TrainTypeName(4),
                                               kBeijingXi, "08:01",  kShanghai, "22:06",
                                               "7",        "1463",   "14:05",   "-",
                                               "260",      "-",      "-"};
    for (int c = 0; c < 15; ++c) EXPECT_EQ(grid.Cell(c, 2), expected[c]) << c;
    EXPECT_TRUE(grid.RowIsEmpty(3));

    ResultList many = Rows(std::vector<RowSpec>(23, r));
    EXPECT_EQ(FillResultGrid(many, {}, QueryKindValue::Direct, "", "", "", "", grid, labels), 23);
    EXPECT_EQ(grid.RowCount(), 23);
    // A later, smaller fill empties the rows of the earlier one and goes back to 16 rows.
    EXPECT_EQ(FillResultGrid(list, {}, QueryKindValue::Direct, "", "", "", "", grid, labels), 3);
    EXPECT_EQ(grid.RowCount(), 16);
    EXPECT_TRUE(grid.RowIsEmpty(3));
}

TEST_F(Grid, TrainNumberQueryOnlyFiltersEmu) {
    ResultList list = Rows({Row("K1", "A", "B", "C", "D"), Row("D5", "A", "B", "C", "D"),
                            Row("G7", "A", "B", "A", "B"), Row("C2", "X", "Y", "C", "D"),
                            Row("T8", "A", "B", "A", "B"), Row("Z1", "A", "B", "A", "B"),
                            Row("123", "A", "B", "A", "B"), Row("d9", "A", "B", "A", "B"),
                            Row("Y1", "A", "B", "A", "B")});
    FilterBoxes stationBoxes{true, true, true, false};
    EXPECT_EQ(Shown(list, stationBoxes, QueryKindValue::Train).size(), list.size());
    FilterBoxes emu;
    emu.EmuOnlyFilter = true;
    EXPECT_EQ(Shown(list, emu, QueryKindValue::Train),
              (std::vector<std::string>{"D5", "G7", "C2"}));
    EXPECT_EQ(grid.RowCount(), 16);
}

TEST_F(Grid, StationToStationFilters) {
    ResultList list = Rows({
        Row("1", kBeijing, kShanghai, kBeijing, kShanghai),    // starts and ends here
        Row("2", kNanjing, kShanghai, kBeijingXi, kShanghai),  // passes 北京西
        Row("3", kBeijing, kNanjing, kBeijing, kShanghaiHq),   // to 上海虹桥
        Row("4", kBeijingXi, kShanghaiHq, kBeijingXi, kShanghaiHq),
    });
    FilterBoxes sf;
    sf.OriginatesFilter = true;
    EXPECT_EQ(Shown(list, sf, QueryKindValue::Direct), (std::vector<std::string>{"1", "3", "4"}));
    FilterBoxes zd;
    zd.TerminatesFilter = true;
    EXPECT_EQ(Shown(list, zd, QueryKindValue::Direct), (std::vector<std::string>{"1", "2", "4"}));
    FilterBoxes jq;
    jq.ExactNamesFilter = true;
    EXPECT_EQ(Shown(list, jq, QueryKindValue::Direct, "", kBeijing, kShanghai),
              (std::vector<std::string>{"1"}));
    EXPECT_EQ(grid.Cell(0, 1), "");
    EXPECT_EQ(ResultLabelText(grid.ShownCount()), "\xBD\xE1\xB9\xFB:1");
}

TEST_F(Grid, TransferResultFilters) {
    // First legs 北京 -> 南京, second legs 南京 -> 上海.
    ResultList list = Rows({
        Row("A1", kBeijing, kNanjing, kBeijing, kNanjing),
        Row("A2", kBeijingXi, kShanghai, kBeijing, kNanjing),
        Row("B1", kBeijing, kShanghai, kNanjing, kShanghai),    // second leg, starts elsewhere
        Row("B2", kNanjing, kShanghaiHq, kNanjing, kShanghai),  // second leg, ends elsewhere
    });
    FilterBoxes sf;
    sf.OriginatesFilter = true;
    EXPECT_EQ(Shown(list, sf, QueryKindValue::Direct, kNanjing),
              (std::vector<std::string>{"A1", "B1", "B2"}));
    FilterBoxes zd;
    zd.TerminatesFilter = true;
    EXPECT_EQ(Shown(list, zd, QueryKindValue::Direct, kNanjing),
              (std::vector<std::string>{"A1", "A2", "B1"}));
    FilterBoxes jq;
    jq.ExactNamesFilter = true;
    list = Rows({Row("A1", kBeijing, kNanjing, kBeijing, kNanjing),
                 Row("A2", kBeijingXi, kShanghai, kBeijing, kNanjing),
                 Row("B1", kBeijing, kShanghai, kNanjing, kShanghai),
                 Row("B2", kNanjing, kShanghaiHq, kNanjing, kShanghai),
                 Row("X", kBeijingXi, kShanghai, kBeijingXi, kNanjing)});
    EXPECT_EQ(Shown(list, jq, QueryKindValue::Direct, kNanjing, kBeijing, kShanghai),
              (std::vector<std::string>{"A1", "A2", "B1", "B2"}));
}

TEST_F(Grid, StationTimetableFiltersUseTheBoxTextAtFillTime) {
    ResultList list = Rows({
        Row("1", kBeijing, kShanghai, kBeijing, kShanghai),
        Row("2", kNanjing, kBeijing, kNanjing, kBeijing),
        Row("3", kNanjing, kShanghai, kBeijingXi, kShanghai),
    });
    FilterBoxes sf;
    sf.OriginatesFilter = true;
    EXPECT_EQ(Shown(list, sf, QueryKindValue::Station, "", "", "", kBeijing),
              (std::vector<std::string>{"1"}));
    EXPECT_EQ(Shown(list, sf, QueryKindValue::Station, "", "", "", kNanjing),
              (std::vector<std::string>{"2", "3"}));
    FilterBoxes zd;
    zd.TerminatesFilter = true;
    EXPECT_EQ(Shown(list, zd, QueryKindValue::Station, "", "", "", kBeijing),
              (std::vector<std::string>{"2"}));
    FilterBoxes jq;
    jq.ExactNamesFilter = true;
    EXPECT_EQ(Shown(list, jq, QueryKindValue::Station, "", "", "", kBeijing),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(Shown(list, jq, QueryKindValue::Station, "", "", "", ""),
              (std::vector<std::string>{}));
}

TEST_F(Grid, RowColours) {
    ResultList list = Rows({
        Row("1", kBeijing, kShanghai, kBeijing, kShanghai),    // starts at boarding: red
        Row("2", kBeijing, kShanghai, kNanjing, kShanghai),    // boards at transfer: blue
        Row("3", kNanjing, kShanghai, kNanjing, kShanghai),    // both: red wins
        Row("4", kBeijing, kShanghai, kBeijingXi, kShanghai),  // neither
    });
    FillResultGrid(list, {}, QueryKindValue::Direct, kNanjing, "", "", "", grid, labels);
    EXPECT_EQ(grid.RowColourOf(0, kNanjing), RowColour::Red);
    EXPECT_EQ(grid.RowColourOf(1, kNanjing), RowColour::Blue);
    EXPECT_EQ(grid.RowColourOf(2, kNanjing), RowColour::Red);
    EXPECT_EQ(grid.RowColourOf(3, kNanjing), RowColour::Normal);
    // After another query the transfer station is empty: no row is blue.
    EXPECT_EQ(grid.RowColourOf(1, ""), RowColour::Normal);
    // Byte-exact: a longer name with the same start is a different station.
    EXPECT_EQ(grid.RowColourOf(3, kBeijing), RowColour::Normal);
}

TEST_F(Grid, SelectionAndWheel) {
    ResultList list = Rows(
        {Row("1", "A", "B", "C", "D"), Row("2", "A", "B", "C", "D"), Row("3", "A", "B", "C", "D")});
    FillResultGrid(list, {}, QueryKindValue::Direct, "", "", "", "", grid, labels);
    EXPECT_FALSE(grid.Selection());
    EXPECT_FALSE(grid.Select(3));  // empty row
    EXPECT_FALSE(grid.Selection());

    // No selection: the wheel scrolls the view and selects nothing.
    EXPECT_EQ(grid.WheelDown(10), WheelResult::Scrolled);
    EXPECT_EQ(grid.TopRow(), 1);
    EXPECT_FALSE(grid.Selection());
    for (int i = 0; i < 20; ++i) grid.WheelDown(10);
    EXPECT_EQ(grid.TopRow(), 6);  // not beyond the last page of 16 rows
    EXPECT_EQ(grid.WheelDown(10), WheelResult::Unchanged);
    grid.WheelUp(10);
    EXPECT_EQ(grid.TopRow(), 5);

    ASSERT_TRUE(grid.Select(1));
    EXPECT_EQ(grid.WheelDown(10), WheelResult::SelectionMoved);
    EXPECT_EQ(grid.Selection(), 2);
    EXPECT_EQ(grid.TopRow(), 2);                            // the view follows the selection
    EXPECT_EQ(grid.WheelDown(10), WheelResult::Unchanged);  // row 3 is empty
    EXPECT_EQ(grid.Selection(), 2);
    EXPECT_FALSE(grid.Select(7));
    EXPECT_EQ(grid.Selection(), 2);
    grid.WheelUp(10);
    grid.WheelUp(10);
    EXPECT_EQ(grid.Selection(), 0);
    EXPECT_EQ(grid.WheelUp(10), WheelResult::Unchanged);

    // A refill leaves no row selected, whatever the number of results.
    ResultList many = Rows(std::vector<RowSpec>(24, Row("9", "A", "B", "C", "D")));
    FillResultGrid(many, {}, QueryKindValue::Direct, "", "", "", "", grid, labels);
    EXPECT_FALSE(grid.Selection());
    EXPECT_EQ(grid.TopRow(), 0);
}

TEST_F(Grid, DoubleClickNeedsASelectedResultRow) {
    ResultList list = Rows(std::vector<RowSpec>(30, Row("1", "A", "B", "C", "D")));
    FillResultGrid(list, {}, QueryKindValue::Direct, "", "", "", "", grid, labels);
    EXPECT_FALSE(grid.DoubleClickRow(list.size()));  // nothing selected: nothing opens
    ASSERT_TRUE(grid.Select(24));
    EXPECT_EQ(grid.DoubleClickRow(list.size()), 24);
    EXPECT_FALSE(grid.DoubleClickRow(20));  // row beyond the result list
}

}  // namespace
}  // namespace korvel
