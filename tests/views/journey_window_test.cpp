// The journey window model over a planner that returns fixed journeys: its rows, sorting by
// every sortable column (journeys without a fare last either way), and the export file.
#include "views/journey_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "data/gbk.h"
#include "support/view_rows.h"

namespace korvel {
namespace {

// The trains and the two stations the fixed journeys name.
std::shared_ptr<const Timetable> Places() {
    std::vector<test::Stop> stops;
    for (const char* id : {"K480_0", "K480_1", "K600_0", "K700_0", "K700_1", "K700_2"}) {
        stops.push_back({id, Utf8ToGbk("甲"), 1, "", "08:00", "0", 0});
        stops.push_back({id, Utf8ToGbk("乙"), 2, "08:50", "", "0:50", 100});
    }
    MemTable KMTrain;
    test::BuildKMTrain(KMTrain, stops);
    return std::make_shared<const Timetable>(test::TypedStops(KMTrain));
}

// A journey of `transfers` + 1 legs from 甲 to 乙; a hard seat of 10 a leg unless the sum
// is "-".
Journey Make(const Timetable& tt, int depart, int arrive, int transfers, FareValue hardSeat) {
    Journey j;
    j.depart = depart;
    j.arrive = arrive;
    j.minutes = arrive - depart;
    j.transfers = transfers;
    j.fares[0] = hardSeat;
    for (int i = 0; i <= transfers; ++i) {
        JourneyLeg l;
        l.train = tt.FindTrain("K" + std::to_string(depart) + "_" + std::to_string(i));
        l.fromStation = tt.FindStation(Utf8ToGbk("甲"));
        l.toStation = tt.FindStation(Utf8ToGbk("乙"));
        l.depart = depart + i * 100;
        l.arrive = l.depart + 50;
        l.wait = i < transfers ? 50 : 0;
        l.row.train = l.train;
        l.row.fromStopNo = 2;
        l.row.toStopNo = 5;
        l.row.toKm = 100;
        if (hardSeat.HasFare()) l.row.fares[0] = FareValue{1, {100}};
        j.legs.push_back(l);
    }
    return j;
}

class JourneyModel : public ::testing::Test {
  protected:
    JourneyModel()
        : tt(Places()),
          m(Utf8ToGbk("北京"), Utf8ToGbk("上海"),
            [this](const std::string& from, const std::string& to, const JourneyOptions& o) {
                seenFrom = GbkToUtf8(from);
                seenTo = GbkToUtf8(to);
                seen = o;
                JourneyAnswer answer;
                answer.journeys = {Make(*tt, 480, 1500, 1, FareValue{1, {300}}),
                                   Make(*tt, 600, 900, 0, FareValue{}),
                                   Make(*tt, 700, 1200, 2, FareValue{1, {125}})};
                answer.sameCity = sameCity && sameCity(from, to);
                answer.timetable = tt;
                return answer;
            }) {}
    std::vector<int> Departures() const {
        std::vector<int> v;
        for (const Journey& j : m.Journeys()) v.push_back(j.depart);
        return v;
    }
    std::shared_ptr<const Timetable> tt;
    JourneyOptions seen;
    std::string seenFrom, seenTo;
    // Whether the planner finds the two stations of one city.
    std::function<bool(const std::string&, const std::string&)> sameCity;
    JourneyWindowModel m;
};

TEST_F(JourneyModel, RowsShowTheSummaryAndEachLeg) {
    ASSERT_EQ(m.Search(), JourneyOptionError::None);
    const auto s = m.SummaryCells(0);
    ASSERT_EQ(s.size(), static_cast<std::size_t>(JourneyWindowModel::kColumns));
    EXPECT_EQ(s[0], "1");
    EXPECT_EQ(s[2], "08:00");
    EXPECT_EQ(s[4], "01:00+1");
    EXPECT_EQ(s[5], "17:00");
    EXPECT_EQ(s[6], "1");
    EXPECT_EQ(s[9], "30");
    const auto leg = m.LegCells(0, 0);
    EXPECT_EQ(leg[0], "K480_0");
    EXPECT_EQ(leg[5], "0:50");
    EXPECT_EQ(leg[7], "0:50");
    EXPECT_EQ(m.LegCells(0, 1)[7], "");  // no wait after the last leg
    EXPECT_EQ(m.LegCells(1, 0)[9], "-");
    EXPECT_EQ(m.LegSection(0, 1).stopCount, 3);
    EXPECT_EQ(m.LegSection(0, 1).rideMinutes, 50);
    EXPECT_EQ(m.LegSection(0, 1).train, tt->FindTrain("K480_1"));
}

TEST_F(JourneyModel, SortableColumnsAndTheirDirections) {
    m.Search();
    EXPECT_EQ(Departures(), (std::vector<int>{480, 600, 700}));
    EXPECT_TRUE(m.SortByColumn(JourneyWindowModel::kArriveColumn));
    EXPECT_EQ(Departures(), (std::vector<int>{600, 700, 480}));
    EXPECT_TRUE(m.SortByColumn(JourneyWindowModel::kArriveColumn));
    EXPECT_FALSE(m.Ascending());
    EXPECT_EQ(Departures(), (std::vector<int>{480, 700, 600}));
    EXPECT_TRUE(m.SortByColumn(JourneyWindowModel::kTimeColumn));
    EXPECT_EQ(Departures(), (std::vector<int>{600, 700, 480}));
    EXPECT_TRUE(m.SortByColumn(JourneyWindowModel::kChangesColumn));
    EXPECT_EQ(Departures(), (std::vector<int>{600, 480, 700}));
    // Hard seat: the journey without one stays last in both directions.
    EXPECT_TRUE(m.SortByColumn(JourneyWindowModel::kFirstFareColumn));
    EXPECT_EQ(Departures(), (std::vector<int>{700, 480, 600}));
    EXPECT_TRUE(m.SortByColumn(JourneyWindowModel::kFirstFareColumn));
    EXPECT_EQ(Departures(), (std::vector<int>{480, 700, 600}));
    EXPECT_FALSE(m.SortByColumn(1));
    // A new search keeps the chosen order.
    m.Search();
    EXPECT_EQ(Departures(), (std::vector<int>{480, 700, 600}));
}

TEST_F(JourneyModel, RefusedOptionsNeverReachThePlanner) {
    m.Options().maxTransfers = 5;
    EXPECT_EQ(m.Search(), JourneyOptionError::MaxTransfers);
    EXPECT_FALSE(m.Searched());
    EXPECT_EQ(GbkToUtf8(m.StatusText()), "换乘次数应为0至3次。");
    m.Options().maxTransfers = 3;
    m.Options().minTransfer = 45;
    EXPECT_EQ(m.Search(), JourneyOptionError::None);
    EXPECT_EQ(seen.minTransfer, 45);
    EXPECT_EQ(GbkToUtf8(m.StatusText()), "共3个换乘方案");
}

TEST(JourneyDefaults, AKeptChangeTimeWinsOnlyWhenTheUserMovedIt) {
    // Nothing kept: the timetable's default.
    EXPECT_EQ(OfferedChangeMinutes(std::nullopt, std::nullopt, 30, 45), 45);
    // Kept at the default offered then: the timetable in use decides.
    EXPECT_EQ(OfferedChangeMinutes(45, 45, 30, 60), 60);
    // Settings from before timetables had defaults kept the program's 30 with no default.
    EXPECT_EQ(OfferedChangeMinutes(30, std::nullopt, 30, 45), 45);
    // A choice away from its default wins on any timetable, even one whose default it is not.
    EXPECT_EQ(OfferedChangeMinutes(20, std::nullopt, 30, 45), 20);
    EXPECT_EQ(OfferedChangeMinutes(30, 45, 30, 45), 30);
}

TEST_F(JourneyModel, DefaultsAreTheOptionsUntilChanged) {
    JourneyOptions d;
    d.minTransfer = 45;
    d.cityTransfer = 90;
    m.SetDefaults(d);
    m.Search();
    EXPECT_EQ(seen.minTransfer, 45);
    EXPECT_EQ(seen.cityTransfer, 90);
    m.Options().minTransfer = 10;
    m.Search();
    EXPECT_EQ(seen.minTransfer, 10);
    EXPECT_EQ(m.Defaults().minTransfer, 45);
}

// The window's own boxes: what reaches the planner and the caption, after a swap too, and
// the same-city note decided anew for the new pair.
TEST_F(JourneyModel, OwnStationsSwapAndReachThePlanner) {
    sameCity = [](const std::string& a, const std::string& b) {
        return GbkToUtf8(a).substr(0, 6) == GbkToUtf8(b).substr(0, 6);
    };
    m.Search();
    EXPECT_EQ(seenFrom + ">" + seenTo, "北京>上海");
    m.SetStations(Utf8ToGbk("北京南"), Utf8ToGbk("北京"));
    m.Swap();
    EXPECT_EQ(GbkToUtf8(m.Caption()), "换乘方案:北京→北京南");
    m.Search();
    EXPECT_EQ(seenFrom + ">" + seenTo, "北京>北京南");
    EXPECT_EQ(GbkToUtf8(m.StatusText()), "北京和北京南在同一城市，只列出直达的列车。共3个换乘方案");
    m.SetStations(Utf8ToGbk("天津"), "");
    EXPECT_EQ(GbkToUtf8(m.Caption()), "换乘方案");
    m.SetStations(Utf8ToGbk("天津"), Utf8ToGbk("上海"));
    m.Search();
    EXPECT_EQ(GbkToUtf8(m.StatusText()), "共3个换乘方案");
}

// The boxes' checks come from the controller; the pinyin list before the station table has
// loaded opens empty rather than not at all.
TEST_F(JourneyModel, StationChecksAndPinyinWithoutATable) {
    EXPECT_FALSE(m.CheckStations().has_value());  // no check given: every pair passes
    m.checkStations = [](const std::string& a, const std::string&) {
        return a.empty() ? std::optional<JourneyInputProblem>({"c", "t", false}) : std::nullopt;
    };
    m.SetStations("", Utf8ToGbk("上海"));
    ASSERT_TRUE(m.CheckStations().has_value());
    EXPECT_EQ(m.CheckStations()->text, "t");
    const ComboChangeResult typed = m.BoxChanged(" bj ");
    EXPECT_EQ(typed.text, "bj");
    EXPECT_EQ(typed.action, ComboListAction::FillAndOpen);
    EXPECT_EQ(typed.items, EmptyDropDownItems());
    EXPECT_EQ(m.BoxChanged(Utf8ToGbk("北京")).action, ComboListAction::Leave);
}

TEST_F(JourneyModel, ExportWritesOneGbkLinePerLeg) {
    m.Search();
    const std::string path = ::testing::TempDir() + "korvel_journey_export.csv";
    ASSERT_FALSE(m.Export(path).has_value());
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    const std::string text = GbkToUtf8(bytes);
    EXPECT_NE(
        text.find("\r\n\r\n方案,车次,发站,发时,到站,到时,历时,等候,里程,硬座,软座,硬卧,软卧\r\n"
                  "1,K480_0,甲,08:00,乙,08:50,0:50,0:50,100,10,-,-,-\r\n"),
        std::string::npos)
        << text;
    // Six legs after the head of seven lines; the fifth names what the legs answer.
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 7 + 6);
    const std::size_t heading = text.find("\r\n" + GbkToUtf8(m.AnswerHeading()) + "\r\n");
    EXPECT_NE(heading, std::string::npos) << text;
    EXPECT_LT(heading, text.find("方案,车次"));
    EXPECT_EQ(GbkToUtf8(m.AnswerHeading()).rfind("换乘方案：" + GbkToUtf8(m.From()) + "—", 0), 0u);
    EXPECT_NE(GbkToUtf8(m.AnswerHeading()).find("，最多换乘2次，同站换乘至少30分"),
              std::string::npos);
}

}  // namespace
}  // namespace korvel
