// The journey window in the program: the 换乘方案 button in the station-to-station group,
// the dialog's first answer, a narrower window and fewer changes, sorting by a header, a
// double-click on a leg opening the train detail window, and its screenshot.
#include "ui/dialogs/journey_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

#include "main_window_test_util.h"

namespace korvel {
namespace {

using test::G;

TEST(JourneyWindowTest, ButtonSitsInTheStationGroupAndFollowsTheStopsTable) {
    auto w = test::LoadedWindow();
    QWidget* button = w->ControlWidget(Control::BTNHCFA);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(button->parentWidget(), w->ControlWidget(Control::BTNZZCX)->parentWidget());
    // Inside its group, right of 中转, not overlapping it.
    const QRect zz = w->ControlWidget(Control::BTNZZZZ)->geometry();
    EXPECT_GE(button->geometry().left(), zz.right());
    EXPECT_LE(button->geometry().right(), button->parentWidget()->width());
}

TEST(JourneyWindowTest, PlansSortsNarrowsAndOpensALeg) {
    auto w = test::LoadedWindow();
    w->SetText(Control::ComboFZ, G("北京"));
    w->SetText(Control::ComboDZ, G("乌鲁木齐"));

    int firstCount = -1, narrowCount = -1, details = 0;
    bool sorted = true, shot = false;
    QTimer driver;
    driver.setInterval(10);
    int step = 0;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* d = qobject_cast<ui::TFrmHcfa*>(modal); d && step == 0) {
            step = 1;
            firstCount = d->Tree()->topLevelItemCount();
            // Sort by arrival through the header.
            d->Tree()->header()->sectionClicked(JourneyWindowModel::kArriveColumn);
            JourneyWindowModel* m = w->Controller().JourneyWindow();
            for (int i = 1; i < m->JourneyCount(); ++i)
                sorted = sorted && m->JourneyAt(i - 1).arrive <= m->JourneyAt(i).arrive;
            d->resize(ui::TFrmHcfa::kClientWidth, ui::TFrmHcfa::kClientHeight);
            shot = d->grab().save(test::ShotDir() + QStringLiteral("/journey_window.png"));
            // 08:00-10:00 with one change at most.
            d->StartTime()->setTime(QTime(8, 0));
            d->EndTime()->setTime(QTime(10, 0));
            d->MaxChanges()->setValue(1);
            QTest::mouseClick(d->BTNCX(), Qt::LeftButton);
            narrowCount = d->Tree()->topLevelItemCount();
            QTreeWidgetItem* leg = d->Tree()->topLevelItem(0)->child(0);
            d->Tree()->setCurrentItem(leg);
            emit d->Tree()->itemActivated(leg, 0);  // what a double-click on it does
            step = 2;
            d->accept();
        }
    });
    // The train detail window opens over the journey window while the driver waits in its
    // double-click (a timer does not fire inside its own slot): a second timer closes it.
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && step == 1 && !qobject_cast<ui::TFrmHcfa*>(modal)) {
            ++details;
            qobject_cast<QDialog*>(modal)->accept();
        }
    });
    closer.start();
    driver.start();
    QTest::mouseClick(w->ControlWidget(Control::BTNHCFA), Qt::LeftButton);
    driver.stop();
    closer.stop();

    EXPECT_GT(firstCount, 3);
    EXPECT_TRUE(sorted);
    EXPECT_TRUE(shot);
    EXPECT_GT(narrowCount, 0);
    EXPECT_LT(narrowCount, firstCount);
    EXPECT_EQ(details, 1);
    EXPECT_EQ(w->Controller().JourneyWindow(), nullptr);
}

// The window's choices reach the planner: arrive by, a window past midnight, the limits.
TEST(JourneyWindowTest, ArrivalWindowPastMidnightReachesThePlanner) {
    test::App();
    std::vector<JourneyOptions> asked;
    JourneyWindowModel model(G("北京"), G("上海"), [&](const JourneyOptions& o) {
        asked.push_back(o);
        return std::vector<Journey>{};
    });
    ui::TFrmHcfa d(model);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].windowOf, JourneyWindowOf::Departure);
    d.WindowOf()->setCurrentIndex(1);
    d.StartTime()->setTime(QTime(22, 0));
    d.EndTime()->setTime(QTime(6, 0));
    d.MaxChanges()->setValue(1);
    QTest::mouseClick(d.BTNCX(), Qt::LeftButton);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].windowOf, JourneyWindowOf::Arrival);
    EXPECT_EQ(asked[1].windowStart, 22 * 60);
    EXPECT_EQ(asked[1].windowEnd, 6 * 60);
    EXPECT_EQ(asked[1].maxTransfers, 1);
    EXPECT_FALSE(d.LabStatus()->text().isEmpty());
    EXPECT_FALSE(d.BTNExport()->isEnabled());  // nothing found, nothing to export
}

}  // namespace
}  // namespace korvel
