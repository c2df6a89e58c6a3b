// The transfer window model: which candidates are listed, the initial sort, header clicks,
// picking rows by click and wheel.
#include "views/transfer_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/view_rows.h"

namespace korvel {
namespace {

using Candidate = TransferCandidate;

// A timetable of every station the tests name (one train calling at each).
std::shared_ptr<const Timetable> Places() {
    static const std::shared_ptr<const Timetable> places = [] {
        std::vector<std::string> names = {
            "A", "B", "C", "Q", "X", "Z", test::kBeijing, test::kNanjing, test::kXian};
        for (int i = 0; i < 25; ++i) names.push_back("S" + std::to_string(100 + i));
        std::vector<test::Stop> stops;
        for (std::size_t i = 0; i < names.size(); ++i)
            stops.push_back({"T1", names[i], static_cast<int>(i) + 1, "", "", "", 0});
        MemTable KMTrain;
        test::BuildKMTrain(KMTrain, stops);
        return std::make_shared<const Timetable>(test::TypedStops(KMTrain));
    }();
    return places;
}

// The candidates as a transfer query's answer over those stations.
TransferData Data(std::vector<Candidate> list) {
    TransferData data;
    data.TransferList = std::move(list);
    data.timetable = Places();
    return data;
}

// Riding times in minutes.
Candidate C(const std::string& station, int d1, int d2, int c1, int c2, int t1 = 60, int t2 = 120) {
    Candidate z;
    z.station = Places()->FindStation(station);
    z.Dist1 = d1;
    z.Dist2 = d2;
    z.DistAll = d1 + d2;
    z.Time1 = t1;
    z.Time2 = t2;
    z.Count1 = c1;
    z.Count2 = c2;
    return z;
}

std::vector<std::string> Col(const TransferWindowModel& m, int column) {
    std::vector<std::string> out;
    for (int r = 0; r < m.StationCount(); ++r) out.push_back(m.Grid().Cell(column, r));
    return out;
}

const std::string kZong = "\xD7\xDC\xC0\xEF\xB3\xCC";            // 总里程
const std::string kStationCaption = "\xD6\xD0\xD7\xAA\xD5\xBE";  // 中转站

TEST(TransferWindow, EmptyListDoesNothing) {
    TransferWindowModel m;
    m.Fill(Data({C("X", 1, 2, 1, 0)}), "A", "B");  // Count2 0: not listed
    EXPECT_EQ(m.StationCount(), 0);
    EXPECT_EQ(m.Grid().RowCount(), 20);
    EXPECT_FALSE(m.Labels().SortedColumn());
    EXPECT_EQ(m.Labels().Caption(0), kStationCaption);
    EXPECT_FALSE(m.HeaderClick(4));
    EXPECT_FALSE(m.Labels().SortedColumn());
    EXPECT_FALSE(m.ClickRow(0));
    EXPECT_EQ(m.Caption(),
              "\xC1\xBD\xB5\xD8\xB9\xB2\xD3\xD0<0>\xB8\xF6\xD6\xD0\xD7\xAA\xD5\xBE\xB9\xA9\xD1\xA1"
              "\xD4\xF1:");
}

TEST(TransferWindow, FillTakesReachableStationsAndSortsByStation) {
    using test::kBeijing;
    using test::kNanjing;
    using test::kXian;
    std::vector<Candidate> list = {
        C(kXian, 1446, 2588, 13, 1, 20 * 60 + 10, 30 * 60 + 5),
        C(kBeijing, 5, 5, 1, 1),  // the departure's typed name: left out
        C("Z", 1, 1, 1, 0),       // no second leg: left out
        C(kNanjing, 100, 200, 2, 4),
        C("A", 50, 60, 1, 1),
    };
    TransferWindowModel m;
    m.Fill(Data(list), kBeijing, "Q");
    ASSERT_EQ(m.StationCount(), 3);
    EXPECT_EQ(Col(m, 0), (std::vector<std::string>{"A", kNanjing, kXian}));  // GBK order
    EXPECT_TRUE(m.Labels().Bold(0));
    EXPECT_EQ(m.Labels().Caption(0), kStationCaption + std::string(kArrowUp));
    const std::vector<std::string> xian = {kXian,   "1446",  "2588", "4034", "20:10",
                                           "30:05", "50:15", "13",   "1"};
    for (int c = 0; c < 9; ++c) EXPECT_EQ(m.Grid().Cell(c, 2), xian[c]) << c;
    EXPECT_EQ(m.Caption().substr(8, 3), "<3>");
    EXPECT_EQ(TransferWindowModel::InfoText().size(), 52u);
}

TEST(TransferWindow, HeaderClicksAndGrowth) {
    std::vector<Candidate> list;
    for (int i = 0; i < 25; ++i) {
        list.push_back(C("S" + std::to_string(100 + i), (i * 37) % 50 + 1, 10, 1, 1));
    }
    TransferWindowModel m;
    m.Fill(Data(list), "", "X");
    ASSERT_EQ(m.StationCount(), 25);
    EXPECT_EQ(m.Grid().RowCount(), 25);

    EXPECT_TRUE(m.HeaderClick(4));  // 总里程 ascending, by value
    EXPECT_EQ(m.Labels().Caption(3), kZong + std::string(kArrowUp));
    EXPECT_FALSE(m.Labels().Bold(0));
    EXPECT_EQ(m.Labels().Caption(0), kStationCaption);
    auto totals = Col(m, 3);
    for (int r = 1; r < 25; ++r) EXPECT_LE(std::stoi(totals[r - 1]), std::stoi(totals[r]));
    m.HeaderClick(4);
    EXPECT_EQ(m.Labels().Caption(3), kZong + std::string(kArrowDown));
    totals = Col(m, 3);
    for (int r = 1; r < 25; ++r) EXPECT_GE(std::stoi(totals[r - 1]), std::stoi(totals[r]));
    m.HeaderClick(1);
    EXPECT_EQ(m.Labels().Caption(3), kZong);
    EXPECT_EQ(Col(m, 0).front(), "S100");
    EXPECT_EQ(Col(m, 0).back(), "S124");
}

TEST(TransferWindow, TimeColumnsSortAsMinutes) {
    TransferWindowModel m;
    m.Fill(
        Data({C("A", 1, 1, 1, 1, 60, 570), C("B", 1, 1, 1, 1, 60, 5), C("C", 1, 1, 1, 1, 60, 480)}),
        "", "");
    m.HeaderClick(7);
    EXPECT_EQ(Col(m, 6), (std::vector<std::string>{"1:05", "9:00", "10:30"}));
}

TEST(TransferWindow, PickingRows) {
    TransferWindowModel m;
    m.Fill(Data({C("A", 1, 1, 2, 4), C("B", 1, 1, 3, 2), C("C", 1, 1, 1, 1)}), "", "");
    std::vector<TransferPick> picks;
    m.onPick = [&](const TransferPick& p) { picks.push_back(p); };

    // Before any pick the wheel scrolls and loads nothing.
    EXPECT_FALSE(m.WheelDown(10));
    EXPECT_EQ(m.Grid().TopRow(), 1);
    EXPECT_TRUE(picks.empty());
    // A blank row cannot be picked, and with no row picked yet nothing happens.
    EXPECT_FALSE(m.ClickRow(5));
    EXPECT_TRUE(picks.empty());

    auto p = m.ClickRow(0);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->station, "A");
    EXPECT_EQ(p->count1, 2);
    EXPECT_EQ(p->count2, 4);
    // A click on a blank row runs the pick again for the current row.
    p = m.ClickRow(7);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->station, "A");
    // After a pick the wheel moves the selection and picks the next station.
    p = m.WheelDown(10);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->station, "B");
    EXPECT_EQ(p->count1, 3);
    m.WheelDown(10);
    EXPECT_FALSE(m.WheelDown(10));  // last filled row: stays
    ASSERT_EQ(picks.size(), 4u);
    EXPECT_EQ(picks.back().station, "C");
    EXPECT_FALSE(m.Pick(3));
}

}  // namespace
}  // namespace korvel
