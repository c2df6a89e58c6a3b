// The questions both front ends ask: which input is refused with which words, which refusals
// wait silently for a table, and the stretch of a train the stop list opens.
#include "query/requests.h"

#include <gtest/gtest.h>

#include "network.h"
#include "timetable/timetable.h"

namespace korvel {
namespace {

using test::G;

// The refusal's text (UTF-8) and input; "" for a silent one, "asked" when there was none.
template <class Answer>
std::pair<std::string, QueryInput> Said(const std::variant<Answer, Refusal>& asked) {
    if (const Refusal* r = std::get_if<Refusal>(&asked)) return {GbkToUtf8(r->text), r->input};
    return {"asked", QueryInput::From};
}

TEST(QueryRequests, RefusalsComeInTheWindowsOrderAndWaitOnlyForTheTablesTheyNeed) {
    StoredTables t;
    test::BuildNetwork(t);
    QueryTables q{t, TablesReady{}, nullptr};
    using P = std::pair<std::string, QueryInput>;
    EXPECT_EQ(Said(AskDirect(q, "", G("火星"))), P("请输入发站。", QueryInput::From));
    EXPECT_EQ(Said(AskDirect(q, G("火星"), "bj")), P("请输入到站。", QueryInput::To));
    EXPECT_EQ(Said(AskTransfer(q, G("火星"), G("火星"))), P("发站与到站相同。", QueryInput::To));
    EXPECT_EQ(Said(AskDirect(q, G("火星"), G("北京"))), P("发站不存在。", QueryInput::From));
    EXPECT_EQ(Said(AskDirect(q, G("北京"), G("火星"))), P("到站不存在。", QueryInput::To));
    EXPECT_EQ(Said(AskStation(q, "tj")), P("请输入车站。", QueryInput::Station));
    EXPECT_EQ(Said(AskStation(q, G("火星"))), P("车站不存在。", QueryInput::Station));
    EXPECT_EQ(Said(AskTrain(q, " \t")), P("请输入车次。", QueryInput::TrainNumber));
    EXPECT_EQ(Said(AskDirect(q, G("北京"), G("上海"))).first, "asked");

    // Without the station list a name cannot be judged: nothing is said.
    q.ready.pinyin = false;
    EXPECT_EQ(Said(AskDirect(q, G("北京"), G("火星"))).first, "");
    EXPECT_EQ(Said(AskStation(q, G("火星"))).first, "");
    EXPECT_EQ(Said(AskTrain(q, "T1")).first, "asked");  // reads no station name
    // With it, a name is judged before the other tables are waited for.
    q.ready = TablesReady{};
    q.ready.groups = false;
    EXPECT_EQ(Said(AskDirect(q, G("北京"), G("火星"))).first, "到站不存在。");
    EXPECT_EQ(Said(AskDirect(q, G("北京"), G("上海"))).first, "");
    EXPECT_EQ(Said(AskTrain(q, "T1")).first, "");
    EXPECT_EQ(Said(AskTrain(q, "")).first, "请输入车次。");
}

TEST(QueryRequests, SectionsBoardAtTheFirstStopOfTheNameAndRideAtMostToTheTerminus) {
    StoredTables t;
    test::BuildNetwork(t);
    const Timetable tt(t);
    // T1: 北京南, 北京西 (20 km, 30), 天津 (137, 1:40), 上海南, 上海 (1463, 12:40).
    const std::optional<TrainSection> all = SectionOf(tt, "T1", G("北京西"), std::nullopt);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->stopCount, 3);
    EXPECT_EQ(all->km, 1443);
    // Ridden from the departure (08:40) to the arrival (20:40), not from the arrival there.
    EXPECT_EQ(all->rideMinutes, 12 * 60);
    const std::optional<TrainSection> one = SectionOf(tt, "T1", G("北京西"), 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->km, 117);
    EXPECT_EQ(tt.Name(tt.Station(one->alightStop)), G("天津"));
    EXPECT_EQ(SectionOf(tt, "T1", G("北京西"), 99)->alightStop, all->alightStop);
    EXPECT_EQ(SectionOf(tt, "T1", G("北京西"), 0)->alightStop, all->alightStop);
    // The terminus has nothing to ride to; a station off the route and a train not there.
    EXPECT_FALSE(SectionOf(tt, "T1", G("上海"), std::nullopt));
    EXPECT_FALSE(SectionOf(tt, "T1", G("兰州"), std::nullopt));
    EXPECT_FALSE(SectionOf(tt, "T9", G("北京西"), std::nullopt));
}

}  // namespace
}  // namespace korvel
