// The transfer flow through the controller: the no-direct-train question answered Yes, the
// transfer button, the candidate window, and picks in the open window refilling the main
// grid with both legs.
#include <gtest/gtest.h>

#include "app/main_controller.h"
#include "controller_fixture.h"
#include "fake_view.h"

namespace korvel::testing {
namespace {

class TransferFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartOptions o;
        o.source = StreamSource(FixtureStreams());
        c.Start(std::move(o));
        view.Type(Control::DepartureBox, G("天津"));
        view.Type(Control::ArrivalBox, G("南京"));
    }
    std::vector<std::string> Shown() const {
        std::vector<std::string> rows;
        const ResultGrid& g = c.Grid();
        for (int r = 0; r < g.ShownCount(); ++r)
            rows.push_back(GbkToUtf8(g.Cell(0, r) + "|" + g.Cell(4, r) + "|" + g.Cell(6, r)));
        return rows;
    }
    int RowOf(const TransferWindowModel& m, const char* station) const {
        for (int r = 0; r < m.StationCount(); ++r)
            if (m.Grid().Cell(0, r) == G(station)) return r;
        return -1;
    }

    FakeView view;
    MainController c{view};
};

TEST_F(TransferFlowTest, YesToTheQuestionRunsTheTransferQueryWithAllChecksAgain) {
    view.answers = {MsgAnswer::Yes};
    std::vector<std::string> candidates;
    view.onTransferWindow = [&](TransferWindowModel& m) {
        for (int r = 0; r < m.StationCount(); ++r)
            candidates.push_back(GbkToUtf8(m.Grid().Cell(0, r)));
        // While the window is open the controller knows it.
        EXPECT_EQ(c.TransferWindow(), &m);
    };
    c.StationPairClicked(PairQuery::Direct);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.transferWindows, 1);
    EXPECT_EQ(GbkToUtf8(view.lastTransferCaption), "两地共有<2>个中转站供选择:");
    // Sorted by station as a click on "中转站" sorts: GBK order puts 济南 before 徐州.
    EXPECT_EQ(candidates, (std::vector<std::string>{"济南", "徐州"}));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Direct);
    EXPECT_EQ(c.TransferWindow(), nullptr);
    // No pick: the main grid stays empty; the route advert takes the box texts.
    EXPECT_EQ(c.ShownCount(), 0);
    ASSERT_EQ(view.routeAdverts.size(), 1u);
    EXPECT_EQ(view.routeAdverts[0].first, G("天津"));
    EXPECT_EQ(view.routeAdverts[0].second, G("南京"));
}

TEST_F(TransferFlowTest, PicksRefillTheMainGridWhileTheWindowStaysOpen) {
    std::vector<std::vector<std::string>> seen;
    view.onTransferWindow = [&](TransferWindowModel& m) {
        // Nothing is picked before a row is selected.
        m.ClickRow(5);
        EXPECT_EQ(c.ShownCount(), 0);

        m.ClickRow(RowOf(m, "济南"));
        seen.push_back(Shown());
        EXPECT_EQ(c.TransferStation(), G("济南"));
        // First legs before second legs; the second leg boards at the transfer station.
        EXPECT_EQ(c.Grid().RowColourOf(0, c.TransferStation()), RowColour::Red);
        EXPECT_EQ(c.Grid().RowColourOf(1, c.TransferStation()), RowColour::Blue);
        EXPECT_EQ(GbkToUtf8(view.Text(Control::ResultLabel)), "结果:2");

        // The end filter judges only the second legs; the first leg ends at the transfer.
        view.checked[Control::TerminatesFilter] = true;
        c.FilterClicked();
        EXPECT_EQ(Shown(), (std::vector<std::string>{"K51|天津|济南"}));
        view.checked[Control::TerminatesFilter] = false;

        m.ClickRow(RowOf(m, "徐州"));
        seen.push_back(Shown());
        // A click on a blank row rebuilds the grid for the row still current.
        m.ClickRow(15);
        seen.push_back(Shown());
    };
    c.StationPairClicked(PairQuery::Transfer);
    EXPECT_TRUE(view.messages.empty());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (std::vector<std::string>{"K51|天津|济南", "G1|济南|南京"}));
    EXPECT_EQ(seen[1], (std::vector<std::string>{"K51|天津|徐州", "G1|徐州|南京"}));
    EXPECT_EQ(seen[2], seen[1]);
    // The last pick stays after the window closes, and the filters keep using it.
    EXPECT_EQ(c.TransferStation(), G("徐州"));
    view.checked[Control::OriginatesFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(Shown(), (std::vector<std::string>{"K51|天津|徐州", "G1|徐州|南京"}));
    view.checked[Control::ExactNamesFilter] = true;
    c.FilterClicked();
    EXPECT_EQ(Shown().size(), 2u);

    // The next query empties the transfer station: no row is blue any more.
    view.Type(Control::StationBox, G("徐州"));
    c.StationClicked();
    EXPECT_TRUE(c.TransferStation().empty());
    for (int r = 0; r < c.ShownCount(); ++r)
        EXPECT_NE(c.Grid().RowColourOf(r, c.TransferStation()), RowColour::Blue);
}

TEST_F(TransferFlowTest, TransferButtonRunsTheChecksFirst) {
    view.Type(Control::ArrivalBox, "nj");
    c.StationPairClicked(PairQuery::Transfer);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "请输入到站。");
    EXPECT_EQ(view.transferWindows, 0);
}

TEST_F(TransferFlowTest, StationsOfOneCityGiveOnlyExactLegs) {
    // 北京 -> 北京西: legs leave exactly 北京 (K7 towards 天津, T109 towards 上海) and reach
    // exactly 北京西 (D5 from 上海 and 南京); K7 and Z98/Z95 only leave 北京西. 上海 is the one
    // station on both sides.
    view.Type(Control::DepartureBox, G("北京"));
    view.Type(Control::ArrivalBox, G("北京西"));
    std::vector<std::string> candidates;
    view.onTransferWindow = [&](TransferWindowModel& m) {
        for (int r = 0; r < m.StationCount(); ++r)
            candidates.push_back(GbkToUtf8(m.Grid().Cell(0, r)));
        m.ClickRow(0);
    };
    c.StationPairClicked(PairQuery::Transfer);
    EXPECT_EQ(candidates, (std::vector<std::string>{"上海"}));
    EXPECT_EQ(GbkToUtf8(view.lastTransferCaption), "两地共有<1>个中转站供选择:");
    EXPECT_EQ(Shown(), (std::vector<std::string>{"T109|北京|上海", "D5|上海|北京西"}));
    // A second leg that starts at the transfer station is red, not blue.
    EXPECT_EQ(c.Grid().RowColourOf(1, c.TransferStation()), RowColour::Red);
}

}  // namespace
}  // namespace korvel::testing
