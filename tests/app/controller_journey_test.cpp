// The "换乘方案" button through the controller: the station boxes are checked exactly as
// for the direct query, the journey window plans between them, and a double-click on a leg
// opens the train detail window for that section.
#include <gtest/gtest.h>

#include "app/main_controller.h"
#include "support/controller_fixture.h"
#include "support/fake_view.h"

namespace korvel::testing {
namespace {

class JourneyButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartOptions o;
        o.source = StreamSource(FixtureStreams());
        c.Start(std::move(o));
    }
    FakeView view;
    MainController c{view};
};

TEST_F(JourneyButtonTest, TheButtonFollowsTheStopsTable) {
    EXPECT_TRUE(view.IsEnabled(Control::JourneyButton));
}

TEST_F(JourneyButtonTest, BoxesAreCheckedWithTheDirectQuerysMessages) {
    struct Case {
        const char* from;
        const char* to;
        const char* caption;
        const char* text;
        Control focus;
    } cases[] = {
        {"", "上海", "信息不完整", "请输入发站。", Control::DepartureBox},
        {"天津", "sh", "信息不完整", "请输入到站。", Control::ArrivalBox},
        {"天津", "天津", "输入错误", "发站与到站相同。", Control::ArrivalBox},
        {"火星", "上海", "输入错误", "发站不存在。", Control::DepartureBox},
        {"天津", "火星", "输入错误", "到站不存在。", Control::ArrivalBox},
    };
    for (const Case& k : cases) {
        view.ClearRecords();
        view.Type(Control::DepartureBox, G(k.from));
        view.Type(Control::ArrivalBox, G(k.to));
        c.JourneyClicked();
        ASSERT_EQ(view.messages.size(), 1u) << k.text;
        EXPECT_EQ(GbkToUtf8(view.messages[0].caption), k.caption);
        EXPECT_EQ(GbkToUtf8(view.messages[0].text), k.text);
        EXPECT_EQ(view.focus, k.focus);
    }
    EXPECT_EQ(view.journeyWindows, 0);
    // The main grid's query state is not the journey window's business.
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);
}

TEST_F(JourneyButtonTest, WindowPlansSortsAndOpensALegsDetail) {
    view.Type(Control::DepartureBox, G("天津"));
    view.Type(Control::ArrivalBox, G("上海"));
    std::vector<std::string> legs;
    view.onJourneyWindow = [&](JourneyWindowModel& m) {
        EXPECT_EQ(c.JourneyWindow(), &m);
        EXPECT_EQ(GbkToUtf8(m.Caption()), "换乘方案:天津→上海");
        EXPECT_FALSE(m.Searched());
        m.Options().maxTransfers = 1;
        ASSERT_EQ(m.Search(), JourneyOptionError::None);
        ASSERT_EQ(m.JourneyCount(), 1);
        EXPECT_EQ(GbkToUtf8(m.StatusText()), "共1个换乘方案");
        for (int l = 0; l < 2; ++l) legs.push_back(GbkToUtf8(m.LegCells(0, l)[0]));
        m.OpenLeg(0, 1);
        m.OpenLeg(0, -1);  // the summary row opens nothing
        EXPECT_TRUE(m.CanExport());
        // A window past midnight is a night: K51 leaves at 06:10.
        m.Options().windowStart = 22 * 60;
        m.Options().windowEnd = 6 * 60 + 10;
        ASSERT_EQ(m.Search(), JourneyOptionError::None);
        EXPECT_EQ(m.JourneyCount(), 1);
        // A refused option clears the last answer and the export with it.
        m.Options().maxTransfers = 7;
        EXPECT_EQ(m.Search(), JourneyOptionError::MaxTransfers);
        EXPECT_EQ(m.JourneyCount(), 0);
        EXPECT_FALSE(m.CanExport());
    };
    c.JourneyClicked();
    EXPECT_EQ(view.journeyWindows, 1);
    EXPECT_EQ(legs, (std::vector<std::string>{"K51", "T109"}));
    ASSERT_EQ(view.detailWindows, 1);
    // T109 boarded at 济南 (stop 2) and ridden to 上海 (stop 3).
    EXPECT_EQ(GbkToUtf8(view.lastDetail->Caption()), "车次:T109");
    EXPECT_EQ(view.lastDetail->SectionFirst(), 2);
    EXPECT_EQ(view.lastDetail->SectionLast(), 3);
    EXPECT_TRUE(view.messages.empty());
}

// The window stays open beside the main window: the button brings the same one forward
// (its own boxes untouched), the main window queries meanwhile, and closing it lets it go.
TEST_F(JourneyButtonTest, OneWindowStaysOpenUntilTheViewClosesIt) {
    view.Type(Control::DepartureBox, G("天津"));
    view.Type(Control::ArrivalBox, G("上海"));
    c.JourneyClicked();
    JourneyWindowModel* open = c.JourneyWindow();
    ASSERT_NE(open, nullptr);
    open->SetStations(G("上海"), G("天津"));
    view.Type(Control::DepartureBox, G("济南"));
    c.StationPairClicked(PairQuery::Direct);  // the main window answers while the planner is open
    EXPECT_GT(c.ShownCount(), 0);
    c.JourneyClicked();
    EXPECT_EQ(view.journeyWindows, 2);
    EXPECT_EQ(c.JourneyWindow(), open);
    EXPECT_EQ(GbkToUtf8(open->From()), "上海");
    // Its own pair is checked with the main window's messages, quietly.
    open->SetStations(G("上海"), G("火星"));
    ASSERT_TRUE(open->CheckStations().has_value());
    EXPECT_EQ(GbkToUtf8(open->CheckStations()->text), "到站不存在。");
    EXPECT_TRUE(open->CheckStations()->toBox);
    EXPECT_TRUE(view.messages.empty());
    c.JourneyWindowClosed();
    EXPECT_EQ(c.JourneyWindow(), nullptr);
    // Two blank boxes: refused where the planner has no boxes of its own (the command line),
    // else it opens without a word (and takes its own last stations).
    view.Type(Control::DepartureBox, "");
    view.Type(Control::ArrivalBox, "");
    c.JourneyClicked();
    EXPECT_EQ(c.JourneyWindow(), nullptr);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "请输入发站。");
    view.ClearRecords();
    view.ownJourneyBoxes = true;
    c.JourneyClicked();
    ASSERT_NE(c.JourneyWindow(), nullptr);
    EXPECT_TRUE(c.JourneyWindow()->From().empty());
    EXPECT_TRUE(view.messages.empty());
    c.JourneyWindowClosed();
    // With boxes of its own it also opens on one station or on letters not yet taken: they
    // are the window's to finish.
    view.Type(Control::DepartureBox, "bj");
    c.JourneyClicked();
    ASSERT_NE(c.JourneyWindow(), nullptr);
    EXPECT_EQ(c.JourneyWindow()->From(), "bj");
    EXPECT_TRUE(c.JourneyWindow()->To().empty());
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace korvel::testing
