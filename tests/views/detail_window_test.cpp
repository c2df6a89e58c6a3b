// The train detail model over a small stop table: rows, day counts, speeds, summary lines,
// the highlighted section and where the table cursor is left.
#include "views/detail_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/view_rows.h"
#include "views/result_grid.h"

namespace korvel {
namespace {

using test::Stop;

const std::string kXian = test::kXian;
const std::string kXianyang = "\xCF\xCC\xD1\xF4";          // 咸阳
const std::string kYangling = "\xD1\xEE\xC1\xEA\xD5\xF2";  // 杨陵镇
const std::string kBaoji = "\xB1\xA6\xBC\xA6";             // 宝鸡
const std::string kTianshui = "\xCC\xEC\xCB\xAE";          // 天水
const std::string kHami = "\xB9\xFE\xC3\xDC";              // 哈密
const std::string kShanshan = "\xDB\xB7\xC9\xC6";          // 鄯善
const std::string kKuitun = "\xBF\xFC\xCD\xCD";            // 奎屯
const std::string kToday = "\xB5\xB1\xCC\xEC";             // 当天
std::string Day(int n) {
    return "\xB5\xDA" + std::to_string(n) + "\xCC\xEC";
}

std::vector<Stop> Stops1043() {
    return {
        {"1042", "P", 1, "", "08:00", "0", 0},
        {"1042", "Q", 2, "09:00", "", "5:", 60},  // running time ending in ':'
        {"1043", kXian, 1, "", "21:25", "0", 0},
        {"1043", kXianyang, 2, "21:43", "21:45", "18", 23},
        {"1043", kYangling, 3, "22:26", "22:28", "1:1", 85},
        {"1043", kBaoji, 4, "23:34", "23:40", "2:9", 173},
        {"1043", kTianshui, 5, "01:19", "01:25", "3:54", 327},
        {"1043", kHami, 6, "23:41", "23:59", "26:16", 1965},
        {"1043", kShanshan, 7, "02:48", "02:50", "29:23", 2164},
        {"1043", kKuitun, 8, "11:08", "", "37:43", 2810},
        {"1044", "R", 1, "", "07:00", "0", 0},
        {"1044", "S", 2, "08:00", "", "1:0", 50},
    };
}

using test::Section;

TEST(Speeds, AverageAndSectionSpeed) {
    EXPECT_EQ(AverageSpeed("2810", "37:43"), "75");  // 74.503 rounds half up to 75
    EXPECT_EQ(AverageSpeed("23", "18"), "77");
    EXPECT_EQ(AverageSpeed("150", "2:0"), "75");
    EXPECT_EQ(AverageSpeed("90", "1:12"), "75");  // exactly 75.0
    EXPECT_EQ(AverageSpeed("0", "1:00"), "");
    EXPECT_EQ(AverageSpeed("abc", "1:00"), "");
    EXPECT_EQ(AverageSpeed("100", ""), "");
    EXPECT_EQ(AverageSpeed("100", "x:y"), "");
    EXPECT_EQ(SectionSpeed("23", "85", "18", "1:1"), "87");
    EXPECT_EQ(SectionSpeed("23", "85", "1:1", "1:1"), "");  // same running time
    EXPECT_EQ(SectionSpeed("85", "85", "18", "1:1"), "");   // same distance
    EXPECT_EQ(SectionSpeed("2164", "2810", "29:23", "37:43"), "78");
}

TEST(DetailWindow, Train1043) {
    MemTable t;
    test::BuildKMTrain(t, Stops1043());
    const Timetable tt = test::TypedStops(t);
    auto m = DetailWindowModel::Build(tt, Section(tt, "1043", kXianyang, 3, 150, 120));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Caption(), "\xB3\xB5\xB4\xCE:1043");
    EXPECT_EQ(m->StopRowCount(), 8);
    EXPECT_EQ(m->Stops().RowCount(), 20);
    const auto& g = m->Stops();
    const std::vector<std::string> row0 = {"1", kXian, "0", "", "21:25", kToday, "0:00", ""};
    for (int c = 0; c < 8; ++c) EXPECT_EQ(g.Cell(c, 0), row0[c]) << c;
    EXPECT_EQ(g.Cell(7, 1), "77");
    EXPECT_EQ(g.Cell(7, 2), "87");
    const std::vector<std::string> days = {kToday, kToday, kToday, kToday,
                                           Day(2), Day(2), Day(3), Day(3)};
    for (int r = 0; r < 8; ++r) EXPECT_EQ(g.Cell(5, r), days[r]) << r;
    EXPECT_EQ(g.Cell(4, 7), "");
    EXPECT_EQ(g.Cell(6, 7), "37:43");
    EXPECT_TRUE(g.RowIsEmpty(8));
    EXPECT_FALSE(g.Selection());

    EXPECT_EQ(m->RouteLine(),
              "\xC8\xAB\xB3\xCC\xA3\xBA"
              "2810km/\xC0\xFA\xCA\xB1"
              "37:43/\xCB\xD9\xB6\xC8"
              "75km/h");
    EXPECT_EQ(m->SectionLine(),
              "\xC7\xF8\xBC\xE4\xA3\xBA"
              "150km/\xC0\xFA\xCA\xB1"
              "2:00/\xCB\xD9\xB6\xC8"
              "75km/h");

    // Boarding at stop 2 with 3 stops: stops 2 to 5 are blue.
    EXPECT_EQ(m->SectionFirst(), 2);
    EXPECT_EQ(m->SectionLast(), 5);
    std::vector<bool> blue;
    for (int r = 0; r < 20; ++r) blue.push_back(m->RowInSection(r));
    EXPECT_EQ(blue, (std::vector<bool>{false, true,  true,  true,  true,  false, false,
                                       false, false, false, false, false, false, false,
                                       false, false, false, false, false, false}));
}

TEST(DetailWindow, WholeRouteSectionAndUnreadableSpeed) {
    MemTable t;
    test::BuildKMTrain(t, Stops1043());
    const Timetable tt = test::TypedStops(t);
    auto m = DetailWindowModel::Build(tt, Section(tt, "1043", kXian, 7));
    ASSERT_TRUE(m);
    for (int r = 0; r < 8; ++r) EXPECT_TRUE(m->RowInSection(r)) << r;
    // No section distance or time: the speed is empty.
    EXPECT_EQ(m->SectionLine(),
              "\xC7\xF8\xBC\xE4\xA3\xBA"
              "0km/\xC0\xFA\xCA\xB1"
              "0:00/\xCB\xD9\xB6\xC8"
              "km/h");
}

TEST(DetailWindow, BoardingStationNotAStopHighlightsNothing) {
    MemTable t;
    test::BuildKMTrain(t, Stops1043());
    const Timetable tt = test::TypedStops(t);
    auto m = DetailWindowModel::Build(tt, Section(tt, "1043", "nowhere", 2));
    ASSERT_TRUE(m);
    for (int r = 0; r < 20; ++r) EXPECT_FALSE(m->RowInSection(r)) << r;
}

TEST(DetailWindow, RunTimeEndingInColonAndLastTrainOfTable) {
    MemTable t;
    test::BuildKMTrain(t, Stops1043());
    const Timetable tt = test::TypedStops(t);
    auto m = DetailWindowModel::Build(tt, Section(tt, "1042", "P", 1));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Stops().Cell(6, 1), "5:00");
    EXPECT_EQ(m->Stops().Cell(7, 1), "12");  // 60 km in 300 minutes

    auto last = DetailWindowModel::Build(tt, Section(tt, "1044", "R", 1));
    ASSERT_TRUE(last);
    EXPECT_EQ(last->StopRowCount(), 2);

    EXPECT_FALSE(DetailWindowModel::Build(tt, Section(tt, "9999", "R", 1)));
    EXPECT_FALSE(DetailWindowModel::Build(tt, Section(tt, "", "R", 1)));
}

TEST(DetailWindow, LongTrainGrowsAndOpensWithoutSelection) {
    std::vector<Stop> stops;
    for (int i = 1; i <= 50; ++i) {
        stops.push_back({"T1", "S" + std::to_string(i), i, i == 1 ? "" : "10:00",
                         i == 1 ? "09:00" : "10:05", std::to_string(i * 10), i * 20});
    }
    MemTable t;
    test::BuildKMTrain(t, stops);
    const Timetable tt = test::TypedStops(t);
    auto m = DetailWindowModel::Build(tt, Section(tt, "T1", "S1", 49));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Stops().RowCount(), 50);
    EXPECT_EQ(m->StopRowCount(), 50);
    EXPECT_FALSE(m->Stops().Selection());
    EXPECT_EQ(m->Stops().Cell(5, 49), "\xB5\xB1\xCC\xEC");  // equal times: same day
    EXPECT_EQ(m->Stops().Cell(7, 49), "120");
}

TEST(DetailWindow, OpenFromTheResultGrid) {
    MemTable t;
    test::BuildKMTrain(t, Stops1043());
    ResultGrid grid;
    HeaderLabels labels = MainHeaderLabels();
    ResultList list =
        test::Rows({test::Row("1043", kXian, kKuitun, kXianyang, kTianshui, 3, 304, "3:36")});
    FillResultGrid(list, {}, QueryKindValue::Direct, "", "", "", "", grid, labels);
    EXPECT_FALSE(OpenDetailForSelection(grid, list.size()));  // no row selected
    ASSERT_TRUE(grid.Select(0));
    auto m = OpenDetailForSelection(grid, list.size());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->SectionFirst(), 2);
    EXPECT_EQ(m->SectionLast(), 5);
    EXPECT_EQ(m->SectionLine(),
              "\xC7\xF8\xBC\xE4\xA3\xBA"
              "304km/\xC0\xFA\xCA\xB1"
              "3:36/"
              "\xCB\xD9\xB6\xC8"
              "84km/h");
}

}  // namespace
}  // namespace korvel
