// The departure-time and train-class filters: parsing, the window edges (inclusive, past
// midnight), rows without a boarding time, the class letters, and how they combine with the
// four filter boxes and the sort when the grid is filled.
#include "views/time_class_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/view_rows.h"
#include "views/result_grid.h"

namespace korvel {
namespace {

TEST(TimeClassFilterTest, ParsingAndWindowEdges) {
    EXPECT_EQ(ParseDepartWindow(" 18:00 - 24:00 "), (DepartWindow{1080, 1439}));
    for (const char* bad : {"06:30", "6:30-09:00", "24:00-01:00", "06:60-07:00", "06:30-09:00x"}) {
        EXPECT_FALSE(ParseDepartWindow(bad)) << bad;
    }
    EXPECT_EQ(DepartWindowText({390, 540}), "06:30-09:00");

    const DepartWindow morning{6 * 60, 12 * 60}, night{22 * 60, 2 * 60};
    EXPECT_TRUE(DepartTimeInWindow("06:00", morning) && DepartTimeInWindow("12:00", morning));
    EXPECT_FALSE(DepartTimeInWindow("05:59", morning) || DepartTimeInWindow("12:01", morning));
    EXPECT_TRUE(DepartTimeInWindow("23:30", night) && DepartTimeInWindow("02:00", night));
    EXPECT_FALSE(DepartTimeInWindow("12:00", night));
    // A row without a boarding time is in no window, and passes only the whole day.
    for (const char* none : {"", "----", "9:05"}) {
        EXPECT_FALSE(DepartTimeInWindow(none, {0, 1439})) << none;
        EXPECT_TRUE(TimeClassFilter{}.Passes("K1", none)) << none;
    }
    // The four presets share no minute and leave none out.
    for (int t = 0; t < 24 * 60; ++t) {
        const std::string hhmm = DepartWindowText({t, t}).substr(0, 5);
        int hits = 0;
        for (const DepartWindow& w : kDepartPresets) hits += DepartTimeInWindow(hhmm, w) ? 1 : 0;
        ASSERT_EQ(hits, 1) << hhmm;
    }
}

TEST(TimeClassFilterTest, ClassIsTheFirstLetterOfTheTrainNumber) {
    EXPECT_EQ(TrainClassOf("C2001"), TrainClass::C);
    EXPECT_EQ(TrainClassOf("Z98/Z95"), TrainClass::Z);
    for (const char* other : {"1461", "L123", "d9", ""}) {
        EXPECT_EQ(TrainClassOf(other), TrainClass::O) << other;
    }
    EXPECT_EQ(ParseTrainClasses(" k , o "), ClassBit(TrainClass::K) | ClassBit(TrainClass::O));
    EXPECT_EQ(ParseTrainClasses("G,C,D,Z,T,K,O"), kAllTrainClasses);
    for (const char* bad : {"", "G,", "GC", "X"}) EXPECT_FALSE(ParseTrainClasses(bad)) << bad;
}

TEST(TimeClassFilterTest, CombinesWithTheBoxesAndTheSortWhenFilling) {
    std::vector<test::RowSpec> specs;
    for (auto [no, time] : {std::pair{"G1", "09:00"},
                            {"D5", "06:00"},
                            {"T109", "19:33"},
                            {"K511", "23:40"},
                            {"1461", "05:59"},
                            {"C2", "12:00"}}) {
        specs.push_back(
            test::Row(no, test::kBeijing, test::kShanghai, test::kBeijing, test::kShanghai));
        specs.back().depart = time;
    }
    const ResultList list = test::Rows(specs);
    ResultGrid grid;
    HeaderLabels labels = MainHeaderLabels();
    auto shown = [&](const FilterBoxes& boxes) {
        FillResultGrid(list, boxes, QueryKindValue::Direct, "", "", "", "", grid, labels);
        std::vector<std::string> out;
        for (int r = 0; r < grid.ShownCount(); ++r) out.push_back(grid.Cell(0, r));
        return out;
    };
    FilterBoxes boxes;
    boxes.timeClass.depart = DepartWindow{6 * 60, 12 * 60};
    EXPECT_EQ(shown(boxes), (std::vector<std::string>{"G1", "D5", "C2"}));
    boxes.timeClass.classes = ClassBit(TrainClass::D) | ClassBit(TrainClass::K);
    EXPECT_EQ(shown(boxes), (std::vector<std::string>{"D5"}));
    boxes.EmuOnlyFilter = true;  // 仅动车 as well: a row must pass both
    boxes.timeClass.depart.reset();
    EXPECT_EQ(shown(boxes), (std::vector<std::string>{"D5"}));
    EXPECT_EQ(grid.RowCount(), ResultGrid::kMinRows);

    // The marked column sorts only what the filters let through.
    shown(FilterBoxes{});
    ASSERT_TRUE(HeaderClicked(grid, labels, 6));  // 发时 ascending
    boxes = FilterBoxes{};
    boxes.timeClass.depart = DepartWindow{18 * 60, 6 * 60};  // the night, past midnight
    EXPECT_EQ(shown(boxes), (std::vector<std::string>{"1461", "D5", "T109", "K511"}));
}

}  // namespace
}  // namespace korvel
