// The departure-time and train-class filters: parsing, the window edges (inclusive, past
// midnight), rows without a boarding time, the class letters, and how they combine with the
// four filter boxes and the sort when the grid is filled.
#include "views/time_class_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"
#include "views/result_grid.h"

namespace korvel {
namespace {

using test::kBeijing;
using test::kShanghai;
using test::Row;

TEST(TimeClassFilterTest, ParsesWindowsAndRejectsMalformedOnes) {
    EXPECT_EQ(ParseDepartWindow("06:30-09:00"), (DepartWindow{390, 540}));
    EXPECT_EQ(ParseDepartWindow(" 18:00 - 24:00 "), (DepartWindow{1080, 1439}));
    EXPECT_EQ(ParseDepartWindow("22:00-02:00"), (DepartWindow{1320, 120}));
    for (const char* bad : {"", "06:30", "6:30-09:00", "06:30-9", "24:00-01:00", "06:60-07:00",
                            "ab:cd-01:00", "06:30-09:00x", "06:30_09:00"}) {
        EXPECT_FALSE(ParseDepartWindow(bad)) << bad;
    }
    EXPECT_EQ(DepartWindowText({390, 540}), "06:30-09:00");
    EXPECT_EQ(DepartWindowText({0, 1439}), "00:00-23:59");
}

TEST(TimeClassFilterTest, WindowsAreInclusiveAndMayRunPastMidnight) {
    const DepartWindow morning{6 * 60, 12 * 60};
    EXPECT_TRUE(DepartTimeInWindow("06:00", morning));
    EXPECT_TRUE(DepartTimeInWindow("12:00", morning));
    EXPECT_FALSE(DepartTimeInWindow("05:59", morning));
    EXPECT_FALSE(DepartTimeInWindow("12:01", morning));

    const DepartWindow night{22 * 60, 2 * 60};
    EXPECT_TRUE(DepartTimeInWindow("23:30", night));
    EXPECT_TRUE(DepartTimeInWindow("00:00", night));
    EXPECT_TRUE(DepartTimeInWindow("02:00", night));
    EXPECT_FALSE(DepartTimeInWindow("12:00", night));

    // A row without a boarding time (the train ends at the queried station) is in no window.
    for (const char* none : {"", "----", "--:--", "9:05"}) {
        EXPECT_FALSE(DepartTimeInWindow(none, {0, 1439})) << none;
        EXPECT_TRUE(TimeClassFilter{}.Passes("K1", none)) << none;
    }
}

TEST(TimeClassFilterTest, PresetsCoverEachMinuteOfTheDayOnce) {
    for (int t = 0; t < 24 * 60; ++t) {
        const std::string hhmm = DepartWindowText({t, t}).substr(0, 5);
        int hits = 0;
        for (const DepartWindow& w : kDepartPresets) hits += DepartTimeInWindow(hhmm, w) ? 1 : 0;
        ASSERT_EQ(hits, 1) << hhmm;
    }
}

TEST(TimeClassFilterTest, ClassIsTheFirstLetterOfTheTrainNumber) {
    EXPECT_EQ(TrainClassOf("G1"), TrainClass::G);
    EXPECT_EQ(TrainClassOf("C2001"), TrainClass::C);
    EXPECT_EQ(TrainClassOf("D301"), TrainClass::D);
    EXPECT_EQ(TrainClassOf("Z98/Z95"), TrainClass::Z);
    EXPECT_EQ(TrainClassOf("T109"), TrainClass::T);
    EXPECT_EQ(TrainClassOf("K511"), TrainClass::K);
    for (const char* other : {"1461", "L123", "Y1", "d9", "", "\xB3\xB5"}) {
        EXPECT_EQ(TrainClassOf(other), TrainClass::O) << other;
    }

    EXPECT_EQ(ParseTrainClasses("G,C"), ClassBit(TrainClass::G) | ClassBit(TrainClass::C));
    EXPECT_EQ(ParseTrainClasses(" k , o "), ClassBit(TrainClass::K) | ClassBit(TrainClass::O));
    EXPECT_EQ(ParseTrainClasses("G,C,D,Z,T,K,O"), kAllTrainClasses);
    for (const char* bad : {"", "G,", "GC", "X", "G,,C", "G;C"}) {
        EXPECT_FALSE(ParseTrainClasses(bad)) << bad;
    }
}

struct FilledGrid : ::testing::Test {
    ResultGrid grid;
    HeaderLabels labels = MainHeaderLabels();
    ResultList list;

    void SetUp() override {
        const struct {
            const char* no;
            const char* time;
        } rows[] = {{"G1", "09:00"},   {"D5", "06:00"}, {"T109", "19:33"}, {"K511", "23:40"},
                    {"1461", "05:59"}, {"Z1", ""},      {"C2", "12:00"}};
        for (const auto& r : rows) {
            TPub_GridResult row = Row(r.no, kBeijing, kShanghai, kBeijing, kShanghai);
            row.FromDTime = r.time;
            list.push_back(row);
        }
    }

    std::vector<std::string> Shown(const FilterBoxes& boxes) {
        FillResultGrid(list, boxes, kQueryDirect, "", kBeijing, kShanghai, "", grid, labels);
        std::vector<std::string> out;
        for (int r = 0; r < grid.ShownCount(); ++r) out.push_back(grid.Cell(0, r));
        return out;
    }
};

TEST_F(FilledGrid, TimeAndClassCombineWithTheBoxesAndTheSort) {
    FilterBoxes boxes;
    EXPECT_EQ(Shown(boxes).size(), list.size());

    boxes.timeClass.depart = kDepartPresets[1];  // 6-12 点
    EXPECT_EQ(Shown(boxes), (std::vector<std::string>{"G1", "D5"}));
    boxes.timeClass.depart = DepartWindow{6 * 60, 12 * 60};  // a custom, inclusive range
    EXPECT_EQ(Shown(boxes), (std::vector<std::string>{"G1", "D5", "C2"}));

    boxes.timeClass.classes = ClassBit(TrainClass::G) | ClassBit(TrainClass::C);
    EXPECT_EQ(Shown(boxes), (std::vector<std::string>{"G1", "C2"}));
    boxes.timeClass.depart.reset();
    boxes.timeClass.classes = ClassBit(TrainClass::O) | ClassBit(TrainClass::Z);
    EXPECT_EQ(Shown(boxes), (std::vector<std::string>{"1461", "Z1"}));

    // With 仅动车 as well, a row must pass both.
    boxes.CBDC = true;
    boxes.timeClass.classes = ClassBit(TrainClass::D) | ClassBit(TrainClass::K);
    EXPECT_EQ(Shown(boxes), (std::vector<std::string>{"D5"}));
    EXPECT_EQ(grid.ShownCount(), 1);
    EXPECT_EQ(grid.RowCount(), ResultGrid::kMinRows);

    // Nothing chosen shows nothing.
    boxes = FilterBoxes{};
    boxes.timeClass.classes = 0;
    EXPECT_TRUE(Shown(boxes).empty());

    // The marked column sorts only what the filters let through.
    boxes = FilterBoxes{};
    Shown(boxes);
    ASSERT_TRUE(Lab1Click(grid, labels, 6));                 // 发时 ascending
    boxes.timeClass.depart = DepartWindow{18 * 60, 6 * 60};  // the night, past midnight
    EXPECT_EQ(Shown(boxes), (std::vector<std::string>{"1461", "D5", "T109", "K511"}));
}

}  // namespace
}  // namespace korvel
