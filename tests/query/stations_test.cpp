// Station names, same-city groups and side matching.
#include "query/stations.h"

#include <gtest/gtest.h>

#include "network.h"
#include "timetable/timetable.h"

namespace korvel {
namespace {

using test::G;

TEST(CityNameOfTest, FixedNamesAndSuffixRule) {
    const std::pair<const char*, const char*> cases[] = {
        {"汉口", "武汉"},       {"武昌", "武汉"},     {"白河东", "白河县"},
        {"白河县", "白河县"},   {"白银市", "白银"},   {"白银西", "白银"},
        {"洛阳龙门", "洛阳"},   {"上海虹桥", "上海"}, {"苏州新区", "苏州"},
        {"苏州园区", "苏州"},   {"无锡新区", "无锡"}, {"北京西", "北京"},
        {"广州南", "广州"},     {"上海南", "上海"},   {"沈阳北", "沈阳"},
        {"济南", "济南"},       {"丹东", "丹东"},     {"南京", "南京"},
        {"北京西西", "北京西"}, {"北京", "北京"},     {"", ""}};
    for (const auto& [in, out] : cases) EXPECT_EQ(CityNameOf(G(in)), G(out)) << in;
}

TEST(CityNameOfTest, KeepsUserDefinedAreaBytes) {
    const std::string name = "\xF8\xB3" + G("寺西");  // a station with a user-defined character
    EXPECT_EQ(CityNameOf(name), "\xF8\xB3" + G("寺"));
}

class ResolveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::BuildNetwork(t_);
        tt_ = Timetable(t_);
    }
    StoredTables t_;
    Timetable tt_;
    StationSide from_;
    StationSide to_;
};

TEST_F(ResolveTest, GroupMembersInStationOrder) {
    ResolveFromStation(tt_, G("北京"), MatchMode::Grouped, from_);
    EXPECT_EQ(from_.TypedName, G("北京"));
    EXPECT_EQ(from_.CityName, G("北京"));
    EXPECT_EQ(from_.GroupId, 5);
    const std::vector<std::string> want = {G("北京"), G("北京北"), G("北京东"), G("北京南"),
                                           G("北京西")};
    EXPECT_EQ(from_.Members, want);
}

TEST_F(ResolveTest, TrimsButKeepsInnerBlanks) {
    ResolveToStation(tt_, " \t" + G("上海虹桥") + " \r\n", MatchMode::Grouped, to_);
    EXPECT_EQ(to_.TypedName, G("上海虹桥"));
    EXPECT_EQ(to_.CityName, G("上海"));
    EXPECT_EQ(to_.GroupId, 7);
    EXPECT_EQ(to_.Members.size(), 3u);

    ResolveToStation(tt_, G("上海") + " " + G("南"), MatchMode::Grouped, to_);
    EXPECT_EQ(to_.GroupId, 0);
    EXPECT_TRUE(to_.Members.empty());
}

TEST_F(ResolveTest, UngroupedAndExactResolutions) {
    ResolveFromStation(tt_, G("北京"), MatchMode::Grouped, from_);
    ResolveFromStation(tt_, G("天津"), MatchMode::Grouped,
                       from_);  // overwrites the previous side
    EXPECT_EQ(from_.GroupId, 0);
    EXPECT_TRUE(from_.Members.empty());

    ResolveFromStation(tt_, G("北京西"), MatchMode::Exact, from_);
    EXPECT_EQ(from_.GroupId, 0);
    EXPECT_TRUE(from_.Members.empty());
    EXPECT_EQ(from_.CityName, G("北京"));
}

TEST_F(ResolveTest, UnloadedGroupTableGroupsNothing) {
    StoredTables empty;
    const Timetable none(empty);
    ResolveFromStation(none, G("北京"), MatchMode::Grouped, from_);
    EXPECT_EQ(from_.GroupId, 0);
    EXPECT_EQ(from_.TypedName, G("北京"));
    EXPECT_FALSE(StationExists(none, G("北京")));
}

TEST_F(ResolveTest, StationBoxFillsToSideTypedNameOnly) {
    to_.CityName = "keep";
    to_.GroupId = 42;
    ResolveStationBox(tt_, " " + G("赤峰东"), MatchMode::Grouped, from_, to_);
    EXPECT_EQ(from_.GroupId, 9);
    EXPECT_EQ(to_.TypedName, G("赤峰东"));
    EXPECT_EQ(to_.CityName, "keep");
    EXPECT_EQ(to_.GroupId, 42);

    StationSide untouched;
    untouched.TypedName = "before";
    ResolveStationBox(tt_, G("通辽"), MatchMode::Exact, from_, untouched);
    EXPECT_EQ(untouched.TypedName, "before");
    EXPECT_EQ(from_.TypedName, G("通辽"));
}

TEST_F(ResolveTest, StationMatchesBySideAndMode) {
    ResolveFromStation(tt_, G("北京西"), MatchMode::Grouped, from_);
    ResolveToStation(tt_, G("天津"), MatchMode::Grouped, to_);
    EXPECT_TRUE(StationMatches(G("北京东"), MatchMode::Grouped, QuerySide::From, from_, to_));
    EXPECT_FALSE(StationMatches(G("北京东"), MatchMode::Grouped, QuerySide::To, from_, to_));
    EXPECT_TRUE(StationMatches(G("天津"), MatchMode::Grouped, QuerySide::To, from_, to_));
    // exact = 1 ignores filled Members.
    EXPECT_FALSE(StationMatches(G("北京东"), MatchMode::Exact, QuerySide::From, from_, to_));
    EXPECT_TRUE(StationMatches(G("北京西"), MatchMode::Exact, QuerySide::From, from_, to_));
    // Whole-text byte comparison.
    EXPECT_FALSE(
        StationMatches(G("北京西") + " ", MatchMode::Grouped, QuerySide::From, from_, to_));
    EXPECT_FALSE(StationMatches(G("北京"), MatchMode::Grouped, QuerySide::To, from_, to_));
}

TEST_F(ResolveTest, StationExistsIsExactAndUntrimmed) {
    EXPECT_TRUE(StationExists(tt_, G("北京西")));
    EXPECT_FALSE(StationExists(tt_, G("北京西") + " "));
    EXPECT_FALSE(StationExists(tt_, G("北京西西")));
    EXPECT_FALSE(StationExists(tt_, "BJX"));
}

}  // namespace
}  // namespace korvel
