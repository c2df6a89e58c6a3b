// The journey window with a fare class: the 票价 choice reaches the planner, the answer comes
// cheapest first with the cheapest and the fastest journey marked, and 换一趟车 puts the
// train picked from the list into the leg; screenshots of both.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>

#include "support/main_window_test_util.h"
#include "ui/dialogs/journey_dialog.h"

namespace korvel {
namespace {

using test::G;

TEST(JourneyFareWindowTest, ChoosesAClassMarksAndSwapsALeg) {
    auto w = test::LoadedWindow();
    w->SetText(Control::DepartureBox, G("北京"));
    w->SetText(Control::ArrivalBox, G("乌鲁木齐"));
    QTest::mouseClick(w->ControlWidget(Control::JourneyButton), Qt::LeftButton);
    QApplication::processEvents();
    auto* d = w->findChild<ui::JourneyDialog*>();
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->FareChoice()->count(), 5);
    d->StartTime()->setTime(QTime(8, 0));
    d->EndTime()->setTime(QTime(10, 0));
    d->FareChoice()->setCurrentIndex(1);  // 硬座
    QTest::mouseClick(d->SearchButton(), Qt::LeftButton);
    JourneyWindowModel* m = w->Controller().JourneyWindow();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->Options().fareClass, FareClass::HardSeat);
    ASSERT_GT(m->JourneyCount(), 1);
    int fastest = -1;
    for (int i = 0; i < m->JourneyCount(); ++i) {
        EXPECT_LE(m->JourneyAt(0).fare, m->JourneyAt(i).fare);
        if (fastest < 0 || m->JourneyAt(i).minutes < m->JourneyAt(fastest).minutes) fastest = i;
    }
    const QString cheapestMark = QString::fromUtf8("最便宜");
    EXPECT_TRUE(d->Tree()->topLevelItem(0)->text(7).contains(cheapestMark));
    EXPECT_TRUE(d->Tree()->topLevelItem(fastest)->text(7).contains(QString::fromUtf8("最快")));
    d->resize(ui::JourneyDialog::kClientWidth, ui::JourneyDialog::kClientHeight);
    EXPECT_TRUE(d->grab().save(test::ShotDir() + QStringLiteral("/journey_window_fares.png")));

    // The last leg of the first journey with another train that connects: pick the list's
    // second row.
    int journey = -1, leg = -1;
    std::vector<JourneyLeg> alts;
    for (int j = 0; j < m->JourneyCount() && journey < 0; ++j) {
        const int last = static_cast<int>(m->JourneyAt(j).legs.size()) - 1;
        alts = m->Alternatives(j, last);
        if (alts.size() >= 2) journey = j, leg = last;
    }
    ASSERT_GE(journey, 0);
    bool shot = false;
    QTimer picker;
    picker.setInterval(10);
    QObject::connect(&picker, &QTimer::timeout, [&] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal == nullptr || modal->objectName() != QStringLiteral("LegSwapDialog")) return;
        auto* list = modal->findChild<QListWidget*>(QStringLiteral("AlternativesList"));
        list->setCurrentRow(1);
        shot = modal->grab().save(test::ShotDir() + QStringLiteral("/journey_leg_swap.png"));
        modal->accept();
    });
    picker.start();
    const std::int32_t before = m->JourneyAt(journey).fare - m->JourneyAt(journey).legs[leg].fare;
    d->SwapLeg(journey, leg);
    picker.stop();
    EXPECT_TRUE(shot);
    const Journey& swapped = m->JourneyAt(journey);
    EXPECT_EQ(swapped.legs[leg].train, alts[1].train);
    EXPECT_EQ(swapped.arrive, alts[1].arrive);
    EXPECT_EQ(swapped.fare, before + alts[1].fare);
    d->close();
}

}  // namespace
}  // namespace korvel
