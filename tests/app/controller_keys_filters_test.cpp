// The controller's departure-time and class filters (refilling, combining with the boxes and
// the sort, reset by a new query), the Enter keys of the train-number box and the grid, and
// the scroll handlers.
#include <gtest/gtest.h>

#include "app/main_controller.h"
#include "controller_fixture.h"
#include "fake_view.h"

namespace korvel::testing {
namespace {

class KeysFiltersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartOptions o;
        o.source = StreamSource(FixtureStreams());
        c.Start(std::move(o));
    }
    std::vector<std::string> Trains() const {
        std::vector<std::string> rows;
        for (int r = 0; r < c.Grid().ShownCount(); ++r) rows.push_back(c.Grid().Cell(0, r));
        return rows;
    }
    std::string Label() const { return GbkToUtf8(view.Text(Control::ResultLabel)); }

    FakeView view;
    MainController c{view};
};

TEST_F(KeysFiltersTest, TimeAndClassRefillTheSameResultsWithTheBoxes) {
    view.Type(Control::StationBox, G("济南"));
    c.StationClicked();
    ASSERT_EQ(Trains(), (std::vector<std::string>{"G1", "K51", "T109"}));

    TimeClassFilter f;
    f.depart = kDepartPresets[1];  // 6-12 点: G1 09:34, K51 10:10
    c.SetTimeClassFilter(f);
    EXPECT_EQ(Trains(), (std::vector<std::string>{"G1", "K51"}));
    EXPECT_EQ(Label(), "结果:2");
    EXPECT_EQ(c.Grid().RowCount(), ResultGrid::kMinRows);

    f.classes = ClassBit(TrainClass::K) | ClassBit(TrainClass::T);
    c.SetTimeClassFilter(f);
    EXPECT_EQ(Trains(), (std::vector<std::string>{"K51"}));

    // 仅动车 and the K class exclude each other.
    view.checked[Control::EmuOnlyFilter] = true;
    c.FilterClicked();
    EXPECT_TRUE(Trains().empty());
    EXPECT_EQ(Label(), "结果:0");
    view.checked[Control::EmuOnlyFilter] = false;

    // The marked sort column orders what passes: 发时 descending.
    f.depart.reset();
    c.SetTimeClassFilter(f);
    c.HeaderClicked(6);
    c.HeaderClicked(6);
    EXPECT_EQ(Trains(), (std::vector<std::string>{"T109", "K51"}));

    // A failed input check leaves the filters; a query that runs resets them and says so.
    f.classes = ClassBit(TrainClass::G);
    c.SetTimeClassFilter(f);
    view.Type(Control::TrainNumberBox, "");
    c.TrainClicked();
    EXPECT_EQ(c.TimeClass(), f);
    EXPECT_FALSE(view.shownTimeClass);
    view.Type(Control::DepartureBox, G("北京"));
    view.Type(Control::ArrivalBox, G("上海"));
    c.StationPairClicked(PairQuery::Direct);
    EXPECT_TRUE(c.TimeClass().PassesAll());
    ASSERT_TRUE(view.shownTimeClass);
    EXPECT_TRUE(view.shownTimeClass->PassesAll());
    EXPECT_EQ(c.ShownCount(), 2);
}

TEST_F(KeysFiltersTest, EnterInTheTrainBoxRunsItsQueryWhenTheButtonIsEnabled) {
    EXPECT_FALSE(c.TrainNumberKeyPressed('a'));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);

    view.Type(Control::TrainNumberBox, "G1");
    view.enabled[Control::TrainButton] = false;
    EXPECT_TRUE(c.TrainNumberKeyPressed(13));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);

    view.enabled[Control::TrainButton] = true;
    EXPECT_TRUE(c.TrainNumberKeyPressed(13));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Train);
    EXPECT_EQ(Trains(), (std::vector<std::string>{"G1"}));

    view.Type(Control::TrainNumberBox, "");
    c.TrainNumberKeyPressed(13);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "请输入车次。");
    EXPECT_EQ(view.focus, Control::TrainNumberBox);
}

TEST_F(KeysFiltersTest, EnterOnTheGridOpensOnlyASelectedRow) {
    view.Type(Control::TrainNumberBox, "T109");
    c.TrainClicked();
    EXPECT_TRUE(c.GridKeyPressed(13));
    EXPECT_EQ(view.detailWindows, 0);
    EXPECT_FALSE(c.GridKeyPressed(' '));
    ASSERT_TRUE(c.SelectGridRow(0, 0));
    EXPECT_TRUE(c.GridKeyPressed(13));
    ASSERT_EQ(view.detailWindows, 1);
    EXPECT_EQ(view.lastDetail->Stops().Cell(1, 0), G("北京"));
}

TEST_F(KeysFiltersTest, ScrollHandlersAndTheTopAfterASort) {
    view.Type(Control::StationBox, G("济南"));
    c.StationClicked();
    c.GridScrolled(40, 4);  // clamped to the last page
    EXPECT_EQ(c.Grid().TopRow(), ResultGrid::kMinRows - 4);
    c.HeaderClicked(10);
    EXPECT_EQ(c.Grid().TopRow(), 0);

    // A row chosen from the keyboard is brought into view, and no further.
    c.KeepGridRowVisible(2, 4);
    EXPECT_EQ(c.Grid().TopRow(), 0);
    c.KeepGridRowVisible(9, 4);
    EXPECT_EQ(c.Grid().TopRow(), 6);
    c.KeepGridRowVisible(3, 4);
    EXPECT_EQ(c.Grid().TopRow(), 3);
}

}  // namespace
}  // namespace korvel::testing
