// The queries over the sample timetable streams, when the build has produced them.
#include <gtest/gtest.h>

#include "query/queries.h"
#include "support/row_texts.h"
#include "support/sample_streams.h"
#include "support/test_timetable.h"
#include "timetable/timetable.h"

namespace korvel {
namespace {

using test::G;

bool LoadSample(StoredTables& t) {
    return test::LoadSampleStreams(t, KORVEL_SAMPLE_STREAMS);
}

class SampleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!LoadSample(t_)) GTEST_SKIP() << "sample timetable streams not built";
    }
    StoredTables t_;
    StationSide from_;
    StationSide to_;
    ResultList rows_;
};

TEST_F(SampleTest, Z98RunsTaiyuanToShanghai) {
    QueryByTrainNumber(t_, "z98", rows_);
    ASSERT_EQ(rows_.size(), 1u);
    const test::RowTexts r = test::Texts(rows_, 0);
    EXPECT_EQ(r.trainNumber, "Z98/Z95");
    EXPECT_EQ(r.boardStation, G("太原"));
    EXPECT_EQ(r.alightStation, G("上海"));
    EXPECT_EQ(r.boardDeparture, "19:59");
    EXPECT_EQ(r.alightArrival, "09:35");
    EXPECT_EQ(r.rideTime, "13:36");
    EXPECT_EQ(r.spanKm, 1497);
    EXPECT_EQ(r.alightStopNo, 4);
    EXPECT_EQ(r.fares[0], "179");
    EXPECT_EQ(r.fares[2], "306/317/327");
    EXPECT_EQ(r.fares[3], "478/499");
    QueryByTrainNumber(t_, "Z95", rows_);
    EXPECT_TRUE(rows_.empty());
    QueryByTrainNumber(t_, "K142", rows_);
    ASSERT_EQ(rows_.size(), 1u);
    EXPECT_EQ(test::Texts(rows_, 0).trainNumber, "K142/K143/K140");
}

TEST_F(SampleTest, FareWorkedExamples) {
    SearchDirectTrains(t_, G("咸阳"), G("宝鸡"), from_, to_, rows_);
    bool seen1043 = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const test::RowTexts r = test::Texts(rows_, i);
        if (r.trainNumber != "1043") continue;
        seen1043 = true;
        EXPECT_EQ(r.spanKm, 150);
        EXPECT_EQ(r.fares[0], "12");
        EXPECT_EQ(r.fares[1], "");
        EXPECT_EQ(r.fares[2], "46/48/50");
        EXPECT_EQ(r.fares[3], "68/72");
    }
    EXPECT_TRUE(seen1043);

    SearchDirectTrains(t_, G("唐山北"), G("沈阳北"), from_, to_, rows_);
    bool seenD1 = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const test::RowTexts r = test::Texts(rows_, i);
        if (r.trainNumber != "D1") continue;
        seenD1 = true;
        EXPECT_EQ(r.spanKm, 552);
        EXPECT_EQ(r.fares[0], "171");
        EXPECT_EQ(r.fares[1], "205");
        EXPECT_EQ(r.fares[3], "");
    }
    EXPECT_TRUE(seenD1);
}

TEST_F(SampleTest, BeijingGroupAndChifengTwice) {
    ResolveFromStation(Timetable(t_), G("北京"), MatchMode::Grouped, from_);
    const std::vector<std::string> beijing = {G("北京"), G("北京北"), G("北京东"), G("北京南"),
                                              G("北京西")};
    EXPECT_EQ(from_.Members, beijing);

    for (const char* station : {"赤峰东", "赤峰"}) {
        QueryStationTimetable(t_, G(station), from_, to_, rows_);
        int found = 0;
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            const test::RowTexts r = test::Texts(rows_, i);
            if (r.trainNumber != "6327/6329") continue;
            ++found;
            EXPECT_EQ(r.boardStopNo, 14) << station;
            EXPECT_EQ(r.boardStation, G("赤峰东"));
            EXPECT_EQ(r.alightStation, G("通辽"));
        }
        EXPECT_EQ(found, 1) << station;
    }
}

}  // namespace
}  // namespace korvel
