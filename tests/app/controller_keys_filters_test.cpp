// The controller's departure-time and class filters (refilling, combining with the boxes and
// the sort, reset by a new query), the Enter keys of the train-number box and the grid, and
// the scroll handlers.
#include <gtest/gtest.h>

#include "app/main_controller.h"
#include "support/controller_fixture.h"
#include "support/fake_view.h"

namespace korvel::testing {
namespace {

class KeysFiltersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartOptions o;
        o.source = StreamSource(FixtureStreams());
        c.FormCreate(std::move(o));
    }
    std::vector<std::string> Trains() const {
        std::vector<std::string> rows;
        for (int r = 0; r < c.Grid().ShownCount(); ++r) rows.push_back(c.Grid().Cell(0, r));
        return rows;
    }
    std::string Label() const { return GbkToUtf8(view.Text(Control::LabResult)); }

    FakeView view;
    MainController c{view};
};

TEST_F(KeysFiltersTest, TimeAndClassRefillTheSameResultsWithTheBoxes) {
    view.Type(Control::ComboCZ, G("济南"));
    c.BTNCZCXClick();
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
    view.checked[Control::CBDC] = true;
    c.CBSFClick();
    EXPECT_TRUE(Trains().empty());
    EXPECT_EQ(Label(), "结果:0");
    view.checked[Control::CBDC] = false;

    // The marked sort column orders what passes: 发时 descending.
    f.depart.reset();
    c.SetTimeClassFilter(f);
    c.Lab1Click(6);
    c.Lab1Click(6);
    EXPECT_EQ(Trains(), (std::vector<std::string>{"T109", "K51"}));

    // A failed input check leaves the filters; a query that runs resets them and says so.
    f.classes = ClassBit(TrainClass::G);
    c.SetTimeClassFilter(f);
    view.Type(Control::ECC, "");
    c.BTNCCCXClick();
    EXPECT_EQ(c.TimeClass(), f);
    EXPECT_FALSE(view.shownTimeClass);
    view.Type(Control::ComboFZ, G("北京"));
    view.Type(Control::ComboDZ, G("上海"));
    c.BTNZZCXClick(0);
    EXPECT_TRUE(c.TimeClass().PassesAll());
    ASSERT_TRUE(view.shownTimeClass);
    EXPECT_TRUE(view.shownTimeClass->PassesAll());
    EXPECT_EQ(c.ShownCount(), 2);
}

TEST_F(KeysFiltersTest, EnterInTheTrainBoxRunsItsQueryWhenTheButtonIsEnabled) {
    EXPECT_FALSE(c.ECCKeyPress('a'));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);

    view.Type(Control::ECC, "G1");
    view.enabled[Control::BTNCCCX] = false;
    EXPECT_TRUE(c.ECCKeyPress(13));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::None);

    view.enabled[Control::BTNCCCX] = true;
    EXPECT_TRUE(c.ECCKeyPress(13));
    EXPECT_EQ(c.QueryKind(), QueryKindValue::Train);
    EXPECT_EQ(Trains(), (std::vector<std::string>{"G1"}));

    view.Type(Control::ECC, "");
    c.ECCKeyPress(13);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(GbkToUtf8(view.messages[0].text), "请输入车次。");
    EXPECT_EQ(view.focus, Control::ECC);
}

TEST_F(KeysFiltersTest, EnterOnTheGridOpensOnlyASelectedRow) {
    view.Type(Control::ECC, "T109");
    c.BTNCCCXClick();
    EXPECT_TRUE(c.SGridKeyPress(13));
    EXPECT_EQ(view.detailWindows, 0);
    EXPECT_FALSE(c.SGridKeyPress(' '));
    ASSERT_TRUE(c.SGridSelectCell(0, 0));
    EXPECT_TRUE(c.SGridKeyPress(13));
    ASSERT_EQ(view.detailWindows, 1);
    EXPECT_EQ(view.lastDetail->Stops().Cell(1, 0), G("北京"));
}

TEST_F(KeysFiltersTest, ScrollHandlersAndTheTopAfterASort) {
    view.Type(Control::ComboCZ, G("济南"));
    c.BTNCZCXClick();
    c.SGridScrolled(40, 4);  // clamped to the last page
    EXPECT_EQ(c.Grid().TopRow(), ResultGrid::kMinRows - 4);
    c.Lab1Click(10);
    EXPECT_EQ(c.Grid().TopRow(), 0);

    // A row chosen from the keyboard is brought into view, and no further.
    c.SGridKeepRowVisible(2, 4);
    EXPECT_EQ(c.Grid().TopRow(), 0);
    c.SGridKeepRowVisible(9, 4);
    EXPECT_EQ(c.Grid().TopRow(), 6);
    c.SGridKeepRowVisible(3, 4);
    EXPECT_EQ(c.Grid().TopRow(), 3);
}

}  // namespace
}  // namespace korvel::testing
