// The planner on a small hand-made network whose answers are known: changes at one station
// and across a city, trains that cross midnight or run for days, late windows, the Pareto
// rule, fares summed over legs, and refused input.
#include <gtest/gtest.h>

#include "journey/journey_text.h"
#include "journey/planner.h"
#include "journey_reference.h"
#include "query/stop_index.h"
#include "support/test_timetable.h"
#include "views/row_text.h"

namespace korvel {
namespace {

using test::G;

void BuildJourneyNetwork(StoredTables& t) {
    test::TimetableBuilder b;
    b.Group(5, {"北京", "北京西", "北京南"}).Group(7, {"上海", "上海虹桥"});
    for (const char* s : {"北京", "北京西", "北京南", "上海", "上海虹桥", "天津", "济南西", "郑州",
                          "武汉", "长沙", "乌鲁木齐", "兰州"}) {
        b.Py(s, "X");
    }
    b.Train("G1", 2,
            {{"北京南", "", "09:00", "0", 0},
             {"济南西", "10:30", "10:32", "1:30", 406, "184.5", "299.5", "-", "-"},
             {"上海虹桥", "13:28", "", "4:28", 1318, "553", "933", "-", "-"}});
    b.Train("G3", 2,
            {{"北京南", "", "11:00", "0", 0},
             {"上海虹桥", "15:30", "", "4:30", 1318, "553", "933", "-", "-"}});
    b.Train("G5", 2,
            {{"北京南", "", "10:59", "0", 0},
             {"上海虹桥", "15:00", "", "4:1", 1318, "553", "933", "-", "-"}});
    b.Train(
        "K7", 6,
        {{"天津", "", "08:00", "0", 0}, {"北京", "09:00", "", "1:0", 137, "20", "-", "-", "-"}});
    // Leaves late in the evening and arrives the next morning.
    b.Train("T9", 5,
            {{"北京西", "", "22:00", "0", 0},
             {"郑州", "03:30", "03:40", "5:30", 689, "60", "-", "110/115/120", "-"},
             {"武汉", "08:00", "", "10:0", 1229, "100", "-", "200/210/220", "-"}});
    // At 武汉 the next morning: 29, 30 and 60 minutes after T9.
    b.Train(
        "D3", 1,
        {{"武汉", "", "08:29", "0", 0}, {"长沙", "09:50", "", "1:21", 362, "50", "80", "-", "-"}});
    b.Train(
        "D7", 1,
        {{"武汉", "", "08:30", "0", 0}, {"长沙", "10:00", "", "1:30", 362, "50", "80", "-", "-"}});
    b.Train(
        "D5", 1,
        {{"武汉", "", "09:00", "0", 0}, {"长沙", "10:30", "", "1:30", 362, "50", "80", "-", "-"}});
    // Runs two days and two hours.
    b.Train("K50", 6,
            {{"乌鲁木齐", "", "10:00", "0", 0},
             {"兰州", "08:00", "08:20", "22:0", 1892, "150", "-", "-", "-"},
             {"郑州", "20:00", "20:10", "34:0", 2968, "220", "-", "-", "-"},
             {"上海", "12:00", "", "50:0", 3966, "280", "-", "-", "-"}});
    b.BuildInto(t);
}

class JourneyNetwork : public ::testing::Test {
  protected:
    void SetUp() override {
        BuildJourneyNetwork(t_);
        index_ = std::make_unique<JourneyIndex>(t_);
    }
    std::vector<Journey> Find(const char* from, const char* to, JourneyOptions o = {}) {
        return FindJourneys(*index_, t_, G(from), G(to), o);
    }
    // Every journey passes the reference checker.
    void ExpectSound(const char* from, const char* to, const std::vector<Journey>& js,
                     JourneyOptions o = {}) {
        test::RefTimetable tt(t_);
        test::RefSides sides(t_, tt, G(from), G(to));
        for (const Journey& j : js)
            EXPECT_EQ(test::CheckJourney(tt, index_->Typed(), sides, o, j), "");
    }
    // A leg's train and stations as the planner's timetable names them; a journey's fares
    // as shown.
    std::string Train(const JourneyLeg& l) const { return index_->Typed().Number(l.train); }
    std::string Name(StationId s) const { return index_->Typed().Name(s); }
    static std::array<std::string, 4> Fares(const Journey& j) {
        std::array<std::string, 4> out;
        for (int c = 0; c < 4; ++c) out[c] = FareText(j.fares[c]);
        return out;
    }
    StoredTables t_;
    std::unique_ptr<JourneyIndex> index_;
};

TEST_F(JourneyNetwork, DirectTrainsBetweenCitiesAreTheirOwnLegs) {
    const auto js = Find("北京", "上海");
    ExpectSound("北京", "上海", js);
    // G1 09:00, G5 10:59, G3 11:00 from 北京南 (G3 arrives later than G5 but leaves later),
    // and the night train to 郑州 with K50 on from there, which leaves later still.
    ASSERT_EQ(js.size(), 4u);
    EXPECT_EQ(js[0].depart, 540);
    EXPECT_EQ(js[0].arrive, 808);
    EXPECT_EQ(js[0].minutes, 268);
    EXPECT_EQ(js[0].transfers, 0);
    EXPECT_EQ(js[0].distance, 1318);
    EXPECT_EQ(Train(js[0].legs[0]), "G1");
    EXPECT_EQ(Name(js[0].legs[0].fromStation), G("北京南"));
    EXPECT_EQ(Name(js[0].legs[0].toStation), G("上海虹桥"));
    EXPECT_EQ(js[0].legs[0].wait, 0);
    EXPECT_EQ(Fares(js[0]), (std::array<std::string, 4>{"553", "933", "-", "-"}));
    EXPECT_EQ(Train(js[1].legs[0]), "G5");
    EXPECT_EQ(Train(js[2].legs[0]), "G3");
    ASSERT_EQ(js[3].legs.size(), 2u);
    EXPECT_EQ(Train(js[3].legs[0]), "T9");
    EXPECT_EQ(Train(js[3].legs[1]), "K50");
    EXPECT_EQ(js[3].depart, 22 * 60);
    EXPECT_EQ(js[3].arrive, 2 * 1440 + 12 * 60);
}

TEST_F(JourneyNetwork, ChangeAcrossTheCityNeedsTheCityMinimum) {
    // K7 reaches 北京 at 09:00; 北京南 is another station of the city: G5 at 10:59 is one
    // minute short of 120, G3 at 11:00 is caught.
    auto js = Find("天津", "上海");
    ExpectSound("天津", "上海", js);
    ASSERT_EQ(js.size(), 1u);
    ASSERT_EQ(js[0].legs.size(), 2u);
    EXPECT_EQ(Train(js[0].legs[0]), "K7");
    EXPECT_EQ(Train(js[0].legs[1]), "G3");
    EXPECT_EQ(js[0].legs[0].wait, 120);
    EXPECT_EQ(js[0].transfers, 1);
    EXPECT_EQ(js[0].arrive, 930);
    EXPECT_EQ(js[0].distance, 137 + 1318);

    JourneyOptions shorter;
    shorter.cityTransfer = 119;
    js = Find("天津", "上海", shorter);
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(Train(js[0].legs[1]), "G5");

    JourneyOptions direct;
    direct.maxTransfers = 0;
    EXPECT_TRUE(Find("天津", "上海", direct).empty());
}

TEST_F(JourneyNetwork, OvernightTrainAndTheChangeMinimumAtOneStation) {
    // T9 leaves 北京西 at 22:00 and reaches 武汉 at 08:00 the next day; D3 at 08:29 is too
    // close, D7 at 08:30 is exactly 30 minutes later.
    auto js = Find("北京", "长沙");
    ExpectSound("北京", "长沙", js);
    ASSERT_EQ(js.size(), 1u);
    const Journey& j = js[0];
    EXPECT_EQ(j.depart, 22 * 60);
    EXPECT_EQ(j.legs[0].arrive, 1440 + 8 * 60);
    EXPECT_EQ(Train(j.legs[1]), "D7");
    EXPECT_EQ(j.legs[1].depart, 1440 + 8 * 60 + 30);
    EXPECT_EQ(j.arrive, 1440 + 10 * 60);
    EXPECT_EQ(j.minutes, 12 * 60);
    EXPECT_EQ(JourneyClockText(j.arrive), "10:00+1");
    // Hard seat on both trains; soft seat and the sleepers not on both.
    EXPECT_EQ(Fares(j), (std::array<std::string, 4>{"150", "-", "-", "-"}));

    JourneyOptions relaxed;
    relaxed.minTransfer = 29;
    js = Find("北京", "长沙", relaxed);
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(Train(js[0].legs[1]), "D3");
    EXPECT_EQ(js[0].arrive, 1440 + 9 * 60 + 50);

    JourneyOptions strict;
    strict.minTransfer = 61;
    js = Find("北京", "长沙", strict);
    ASSERT_EQ(js.size(), 1u);
    // Nothing left that morning: the next day's D3.
    EXPECT_EQ(Train(js[0].legs[1]), "D3");
    EXPECT_EQ(js[0].legs[1].depart, 2 * 1440 + 8 * 60 + 29);
    EXPECT_EQ(js[0].legs[0].wait, 1440 + 29);
}

TEST_F(JourneyNetwork, LegAlternativesKeepTheOtherConnections) {
    // T9 then D7: in D7's place only D5 keeps the 30 minutes after T9 (D3 leaves 29 minutes
    // after it); T9 has nothing beside it. Swapping in D5 moves the arrival and the wait.
    const auto js = Find("北京", "长沙");
    ASSERT_EQ(js.size(), 1u);
    JourneyOptions o;
    EXPECT_TRUE(LegAlternatives(*index_, js[0], 0, o).empty());
    const std::vector<JourneyLeg> alts = LegAlternatives(*index_, js[0], 1, o);
    ASSERT_EQ(alts.size(), 1u);
    EXPECT_EQ(Train(alts[0]), "D5");
    EXPECT_EQ(alts[0].depart, 1440 + 9 * 60);
    const Journey swapped = WithLeg(js[0], 1, alts[0]);
    ExpectSound("北京", "长沙", {swapped});
    EXPECT_EQ(swapped.arrive, 1440 + 10 * 60 + 30);
    EXPECT_EQ(swapped.legs[0].wait, 60);

    // With 29 minutes D3 fits too, and a fare class prices each alternative as its grid row.
    o.minTransfer = 29;
    o.fareClass = FareClass::SoftSeat;
    const std::vector<JourneyLeg> priced = LegAlternatives(*index_, js[0], 1, o);
    ASSERT_EQ(priced.size(), 2u);
    EXPECT_EQ(Train(priced[0]), "D3");
    for (const JourneyLeg& l : priced)
        EXPECT_EQ(l.fare, LowestTenths(FareCellText(index_->Typed(), l.row, 1)));
}

TEST_F(JourneyNetwork, MultiDayTrainBoardedOnItsSecondDay) {
    // K50 left 乌鲁木齐 the day before it passes 郑州 at 20:10; it is boarded at that clock
    // time on day 0 and reaches 上海 at 12:00 the next day.
    auto js = Find("郑州", "上海");
    ExpectSound("郑州", "上海", js);
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(js[0].depart, 20 * 60 + 10);
    EXPECT_EQ(js[0].arrive, 1440 + 12 * 60);
    EXPECT_EQ(js[0].distance, 3966 - 2968);

    js = Find("乌鲁木齐", "上海");
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(js[0].arrive, 2 * 1440 + 12 * 60);
    EXPECT_EQ(JourneyClockText(js[0].arrive), "12:00+2");
    EXPECT_EQ(JourneyDurationText(js[0].minutes), "50:00");
}

TEST_F(JourneyNetwork, WindowLimitsTheFirstDepartureOnly) {
    JourneyOptions late;
    late.windowStart = 21 * 60;
    late.windowEnd = 23 * 60 + 59;
    auto js = Find("北京", "武汉", late);
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(js[0].depart, 22 * 60);
    EXPECT_EQ(js[0].arrive, 1440 + 8 * 60);

    JourneyOptions morning;
    morning.windowStart = 8 * 60;
    morning.windowEnd = 10 * 60 + 58;
    js = Find("北京", "上海", morning);
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(Train(js[0].legs[0]), "G1");
    morning.windowEnd = 10 * 60 + 59;
    EXPECT_EQ(Find("北京", "上海", morning).size(), 2u);
}

TEST_F(JourneyNetwork, WindowsPastMidnightAndArrivalWindows) {
    // 21:00-09:00 runs into the next morning: T9 at 22:00 (with K50, two days on) is beaten
    // by the next morning's G1.
    JourneyOptions night;
    night.windowStart = 21 * 60;
    night.windowEnd = 9 * 60;
    auto js = Find("北京", "上海", night);
    ExpectSound("北京", "上海", js, night);
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(Train(js[0].legs[0]), "G1");
    EXPECT_EQ(JourneyClockText(js[0].depart), "09:00+1");

    // Arriving 12:00-18:00: the three G trains, and T9 with K50 that left two days before.
    JourneyOptions noon;
    noon.windowStart = 12 * 60;
    noon.windowEnd = 18 * 60;
    noon.windowOf = JourneyWindowOf::Arrival;
    js = Find("北京", "上海", noon);
    ExpectSound("北京", "上海", js, noon);
    ASSERT_EQ(js.size(), 4u);
    EXPECT_EQ(Train(js[0].legs[1]), "K50");
    EXPECT_EQ(js[0].legs[1].boardStop, 2u);
    EXPECT_EQ(js[0].legs[1].alightStop, 3u);
    EXPECT_EQ(js[0].legs[0].wait, 16 * 60 + 40);
    EXPECT_EQ(JourneyClockText(js[0].depart), "22:00-2");
    EXPECT_EQ(js[0].arrive, 12 * 60);
    EXPECT_EQ(Train(js[1].legs[0]), "G1");
    EXPECT_EQ(js[1].depart, 9 * 60);
    EXPECT_EQ(Train(js[3].legs[0]), "G3");

    // An arrival window past midnight: T9 reaches 武汉 at 08:00 the next day.
    noon.windowStart = 23 * 60;
    noon.windowEnd = 8 * 60 + 30;
    js = Find("北京", "武汉", noon);
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(js[0].depart, 22 * 60);
    EXPECT_EQ(js[0].arrive, 1440 + 8 * 60);
}

TEST_F(JourneyNetwork, SameCityStationsAreMatchedExactly) {
    // 北京 and 北京西 share a group: only the two typed stations count, and no train runs
    // between them.
    EXPECT_TRUE(Find("北京西", "北京南").empty());
    EXPECT_TRUE(ResolveJourneySides(*index_, t_.KMSM, G("北京西"), G("北京南")).sameCity);
    EXPECT_FALSE(ResolveJourneySides(*index_, t_.KMSM, G("天津"), G("北京")).sameCity);
    EXPECT_TRUE(Find("天津", "天津").empty());
    auto js = Find("天津", "北京");
    ASSERT_EQ(js.size(), 1u);
    EXPECT_EQ(Name(js[0].legs[0].toStation), G("北京"));
}

// A reload brings the same counts; the indexes must notice it all the same, as they point
// into the tables they were built from.
TEST_F(JourneyNetwork, AReloadWithTheSameCountsMakesTheIndexesStale) {
    const StopIndex stops(t_);
    ASSERT_TRUE(index_->Covers(t_));
    ASSERT_TRUE(stops.Covers(t_));
    const std::uint32_t records = t_.KMTrain.RecordCount();
    BuildJourneyNetwork(t_);
    ASSERT_EQ(t_.KMTrain.RecordCount(), records);
    EXPECT_FALSE(index_->Covers(t_));
    EXPECT_FALSE(stops.Covers(t_));
    EXPECT_TRUE(JourneyIndex(t_).Covers(t_));
    EXPECT_TRUE(StopIndex(t_).Covers(t_));
}

// A line that only three changes cross quickest: 太原 -> 石家庄 -> 德州 -> 徐州 -> 南京 on four
// trains (17:30), beside two changes by a slower middle train (19:00) and a direct train
// (20:00); 德州 and 德州东 are one city.
void BuildChain(StoredTables& t) {
    test::TimetableBuilder b;
    b.Group(8, {"德州", "德州东"});
    for (const char* s : {"太原", "石家庄", "德州", "德州东", "徐州", "南京"}) b.Py(s, "X");
    auto leg = [&b](const char* id, const char* from, const char* dep, const char* to,
                    const char* arr, const char* ride, int km) {
        b.Train(id, 4, {{from, "", dep, "0", 0}, {to, arr, "", ride, km, "10", "-", "-", "-"}});
    };
    leg("A1", "太原", "08:00", "石家庄", "10:00", "2:0", 231);
    leg("B1", "石家庄", "10:30", "德州", "12:00", "1:30", 200);
    leg("C1", "德州", "12:40", "徐州", "15:00", "2:20", 400);
    leg("D1", "徐州", "15:30", "南京", "17:30", "2:0", 330);
    leg("E1", "石家庄", "11:00", "徐州", "16:00", "5:0", 600);
    leg("F1", "徐州", "16:40", "南京", "19:00", "2:20", 330);
    leg("G1", "太原", "06:00", "南京", "20:00", "14:0", 1200);
    leg("H1", "德州东", "14:00", "徐州", "16:05", "2:5", 380);
    b.BuildInto(t);
}

TEST(JourneyChain, EveryChangeCountUpToThreeEqualsTheReference) {
    StoredTables t;
    BuildChain(t);
    test::ReferenceCheck check(t);
    const std::string from = G("太原"), to = G("南京");
    // Known answers first, so that the reference itself is held to them.
    const auto triples = [&](int changes) {
        return test::Triples(
            FindJourneys(check.Index(), t, from, to, test::Window(0, 1439, changes)));
    };
    EXPECT_EQ(triples(3), (std::set<test::Triple>{{360, 1200, 0}, {480, 1050, 3}, {480, 1140, 2}}));
    EXPECT_EQ(triples(2), (std::set<test::Triple>{{360, 1200, 0}, {480, 1140, 2}}));
    EXPECT_EQ(triples(1), (std::set<test::Triple>{{360, 1200, 0}}));
    for (const std::string& a : check.Ref().names) {
        for (const std::string& z : check.Ref().names) {
            if (a == z) continue;
            for (int changes = 0; changes <= kMaxJourneyTransfers; ++changes) {
                check.Compare(a, z, test::Window(0, 1439, changes));
                check.Compare(a, z, test::Window(9 * 60, 7 * 60, changes));
                check.Compare(a, z, test::Arrive(0, 1439, changes));
            }
        }
    }
}

TEST(JourneyOptionsCheck, RefusesWhatCannotBeMeant) {
    JourneyOptions o;
    EXPECT_EQ(CheckJourneyOptions(o), JourneyOptionError::None);
    o.windowStart = 600;
    o.windowEnd = 599;  // a window past midnight
    EXPECT_EQ(CheckJourneyOptions(o), JourneyOptionError::None);
    o.windowStart = -1;
    EXPECT_EQ(CheckJourneyOptions(o), JourneyOptionError::Window);
    o = {};
    o.windowEnd = 1440;
    EXPECT_EQ(CheckJourneyOptions(o), JourneyOptionError::Window);
    o = {};
    o.maxTransfers = 4;
    EXPECT_EQ(CheckJourneyOptions(o), JourneyOptionError::MaxTransfers);
    o = {};
    o.minTransfer = -1;
    EXPECT_EQ(CheckJourneyOptions(o), JourneyOptionError::MinTransfer);
    o = {};
    o.cityTransfer = 1441;
    EXPECT_EQ(CheckJourneyOptions(o), JourneyOptionError::CityTransfer);
}

// A journey's fares are its legs' summed berth by berth; a leg without the class, or with
// another number of berths, leaves the journey without it.
TEST(JourneyFares, SumsBerthByBerth) {
    auto leg = [](std::initializer_list<std::int64_t> tenths) {
        JourneyLeg l;
        l.row.fares[2].count = static_cast<std::uint8_t>(tenths.size());
        std::copy(tenths.begin(), tenths.end(), l.row.fares[2].tenths.begin());
        return l;
    };
    auto sum = [](std::vector<JourneyLeg> legs) { return FareText(LegFareSums(legs)[2]); };
    EXPECT_EQ(sum({leg({125}), leg({300})}), "42.5");
    EXPECT_EQ(sum({leg({460, 480, 500}), leg({1000, 1100, 1200})}), "146/158/170");
    EXPECT_EQ(sum({leg({680, 720}), leg({})}), "-");
    EXPECT_EQ(sum({leg({680, 720}), leg({50})}), "-");
    EXPECT_EQ(sum({}), "-");
}

TEST(JourneyText, ClockAndDuration) {
    EXPECT_EQ(JourneyClockText(0), "00:00");
    EXPECT_EQ(JourneyClockText(1500), "01:00+1");
    EXPECT_EQ(JourneyClockText(-170), "21:10-1");
    EXPECT_EQ(JourneyClockText(-1440), "00:00-1");
    EXPECT_EQ(JourneyClockText(-1441), "23:59-2");
    EXPECT_EQ(JourneyDurationText(268), "4:28");
    EXPECT_EQ(JourneyDurationText(1625), "27:05");
}

}  // namespace
}  // namespace korvel
