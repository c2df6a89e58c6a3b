// The journey window in the program: the 换乘方案 button in the station-to-station group,
// the window's first answer, a narrower window and fewer changes, sorting by a header, a
// double-click on a leg opening the train detail window, its screenshot; a window that stays
// open beside the main one, with its own station boxes kept across runs.
#include "ui/dialogs/journey_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

#include "support/main_window_test_util.h"
#include "ui/dialogs/settings.h"
#include "ui/map/map_widget.h"
#include "ui/station_combo.h"

namespace korvel {
namespace {

using test::G;

TEST(JourneyWindowTest, ButtonSitsInTheStationGroupAndFollowsTheStopsTable) {
    auto w = test::LoadedWindow();
    QWidget* button = w->ControlWidget(Control::JourneyButton);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(button->parentWidget(), w->ControlWidget(Control::DirectButton)->parentWidget());
    // Inside its group, right of 中转, not overlapping it.
    const QRect zz = w->ControlWidget(Control::TransferButton)->geometry();
    EXPECT_GE(button->geometry().left(), zz.right());
    EXPECT_LE(button->geometry().right(), button->parentWidget()->width());
}

// The open journey window of the main window (nullptr when none is open).
ui::JourneyDialog* OpenJourneyWindow(ui::MainWindow& w) {
    QTest::mouseClick(w.ControlWidget(Control::JourneyButton), Qt::LeftButton);
    QApplication::processEvents();
    return w.findChild<ui::JourneyDialog*>();
}

void CloseAndWait(ui::MainWindow& w, ui::JourneyDialog* d) {
    d->close();
    test::PumpUntil([&] { return w.findChild<ui::JourneyDialog*>() == nullptr; }, 5000);
}

TEST(JourneyWindowTest, PlansSortsNarrowsAndOpensALeg) {
    auto w = test::LoadedWindow();
    w->SetText(Control::DepartureBox, G("北京"));
    w->SetText(Control::ArrivalBox, G("乌鲁木齐"));
    ui::JourneyDialog* d = OpenJourneyWindow(*w);
    ASSERT_NE(d, nullptr);
    const int firstCount = d->Tree()->topLevelItemCount();
    EXPECT_GT(firstCount, 3);
    // Sort by arrival through the header.
    d->Tree()->header()->sectionClicked(JourneyWindowModel::kArriveColumn);
    JourneyWindowModel* m = w->Controller().JourneyWindow();
    ASSERT_NE(m, nullptr);
    for (int i = 1; i < m->JourneyCount(); ++i)
        EXPECT_LE(m->JourneyAt(i - 1).arrive, m->JourneyAt(i).arrive);
    d->resize(ui::JourneyDialog::kClientWidth, ui::JourneyDialog::kClientHeight);
    EXPECT_TRUE(d->grab().save(test::ShotDir() + QStringLiteral("/journey_window.png")));
    // 08:00-10:00 with one change at most. Until 查询 plans again, the journeys on show
    // answer the old settings: marked so, and neither exported nor printed.
    EXPECT_FALSE(d->AnswerIsStale());
    EXPECT_TRUE(d->ExportButton()->isEnabled());
    EXPECT_TRUE(d->PrintButton()->isEnabled());
    d->StartTime()->setTime(QTime(8, 0));
    EXPECT_TRUE(d->AnswerIsStale());
    EXPECT_FALSE(d->ExportButton()->isEnabled());
    EXPECT_FALSE(d->PrintButton()->isEnabled());
    EXPECT_TRUE(d->StatusLabel()->text().contains(QStringLiteral("条件已改变")));
    EXPECT_EQ(d->Tree()->topLevelItemCount(), firstCount);
    EXPECT_EQ(d->Tree()->topLevelItem(0)->foreground(1).color(),
              QApplication::palette().color(QPalette::Disabled, QPalette::Text));
    d->EndTime()->setTime(QTime(10, 0));
    d->MaxChanges()->setValue(1);
    QTest::mouseClick(d->SearchButton(), Qt::LeftButton);
    EXPECT_FALSE(d->AnswerIsStale());
    EXPECT_TRUE(d->ExportButton()->isEnabled());
    // Typing in a station box makes the answer stale as well.
    d->ArrivalBox()->setFocus();
    QTest::keyClicks(d->ArrivalBox(), QStringLiteral("x"));
    EXPECT_TRUE(d->AnswerIsStale());
    d->ArrivalBox()->SetTextQuietly(QString::fromUtf8("乌鲁木齐"));
    QTest::mouseClick(d->SearchButton(), Qt::LeftButton);
    const int narrowCount = d->Tree()->topLevelItemCount();
    EXPECT_GT(narrowCount, 0);
    EXPECT_LT(narrowCount, firstCount);

    // The train detail window is modal: a timer closes it once it is up.
    // It opens over the journey window, which the traveller comes back to.
    int details = 0;
    QWidget* over = nullptr;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ++details;
            over = modal->parentWidget();
            modal->accept();
        }
    });
    d->activateWindow();
    test::PumpUntil([&] { return d->isActiveWindow(); }, 2000);
    closer.start();
    QTreeWidgetItem* leg = d->Tree()->topLevelItem(0)->child(0);
    // A copied leg: its journey under 方案, its train under 车次.
    leg->setSelected(true);
    const QStringList copied = d->CopyText().split(QLatin1Char('\n'));
    ASSERT_GE(copied.size(), 2);
    EXPECT_TRUE(copied[0].startsWith(QString::fromUtf8("方案\t车次\t发站")))
        << copied[0].toStdString();
    EXPECT_EQ(copied[1].section(QLatin1Char('\t'), 0, 1), QStringLiteral("1\t") + leg->text(0));
    EXPECT_EQ(copied.size(), 3);  // titles, the leg, nothing after the last line break
    leg->setSelected(false);
    d->Tree()->setCurrentItem(leg);
    emit d->Tree()->itemActivated(leg, 0);  // what a double-click on it does
    closer.stop();
    EXPECT_EQ(details, 1);
    EXPECT_EQ(over, d);
    CloseAndWait(*w, d);
    EXPECT_EQ(w->Controller().JourneyWindow(), nullptr);
}

// The planner stays open beside the main window: nothing modal, the main window answers a
// query meanwhile without touching the planner's boxes, the button brings the one window
// forward, and closing it lets the model go.
TEST(JourneyWindowTest, NotModalAndTheMainWindowAnswersMeanwhile) {
    auto w = test::LoadedWindow();
    w->SetText(Control::DepartureBox, G("北京"));
    w->SetText(Control::ArrivalBox, G("上海"));
    ui::JourneyDialog* d = OpenJourneyWindow(*w);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(d->DepartureBox()->currentText(), QString::fromUtf8("北京"));
    EXPECT_GT(d->Tree()->topLevelItemCount(), 0);

    w->SetText(Control::DepartureBox, G("天津"));
    QTest::mouseClick(w->ControlWidget(Control::DirectButton), Qt::LeftButton);
    EXPECT_GT(w->Controller().ShownCount(), 0);
    EXPECT_EQ(GbkToUtf8(w->Controller().ResultHeading()), "站站查询：天津—上海");
    EXPECT_EQ(d->DepartureBox()->currentText(), QString::fromUtf8("北京"));

    EXPECT_EQ(OpenJourneyWindow(*w), d);
    EXPECT_EQ(w->findChildren<ui::JourneyDialog*>().size(), 1);
    EXPECT_EQ(d->DepartureBox()->currentText(), QString::fromUtf8("北京"));
    CloseAndWait(*w, d);
    EXPECT_EQ(w->Controller().JourneyWindow(), nullptr);
}

// Its own boxes as a traveller types: pinyin initials open the list, Enter takes the first
// station listed and moves on, Tab goes 发站 → 到站 → 查询, letters alone are "请输入发站。",
// 反向 swaps and plans.
TEST(JourneyWindowTest, OwnBoxesTypeSwapAndRefuseLettersAlone) {
    auto w = test::LoadedWindow();
    w->SetText(Control::DepartureBox, G("北京"));
    w->SetText(Control::ArrivalBox, G("上海"));
    ui::JourneyDialog* d = OpenJourneyWindow(*w);
    ASSERT_NE(d, nullptr);
    d->activateWindow();
    d->DepartureBox()->setFocus();
    d->DepartureBox()->lineEdit()->selectAll();
    QTest::keyClicks(d->DepartureBox(), QStringLiteral("bjx"));
    EXPECT_EQ(d->DepartureBox()->currentText().toLower(), QStringLiteral("bjx"));
    EXPECT_TRUE(d->DepartureBox()->PopupVisible());
    EXPECT_TRUE(d->DepartureBox()->itemText(0).startsWith(QString::fromUtf8("北京")));
    const QString first = d->DepartureBox()->itemText(0);
    QTest::keyClick(d->DepartureBox(), Qt::Key_Return);
    EXPECT_FALSE(d->DepartureBox()->PopupVisible());
    EXPECT_EQ(d->DepartureBox()->currentText(), first);
    EXPECT_EQ(d->focusWidget(), d->ArrivalBox());
    d->DepartureBox()->SetTextQuietly(QStringLiteral("bjx"));
    QTest::keyClick(d->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(d->focusWidget(), d->SearchButton());

    std::vector<test::SeenBox> seen;
    {
        test::ModalAnswerer answerer;
        QTest::mouseClick(d->SearchButton(), Qt::LeftButton);
        seen = answerer.Seen();
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, QString::fromUtf8("请输入发站。"));
    EXPECT_EQ(d->focusWidget(), d->DepartureBox());
    EXPECT_EQ(d->Tree()->topLevelItemCount(), 0);
    EXPECT_FALSE(d->ExportButton()->isEnabled());

    // Escape in a station box closes its list, never the window.
    d->DepartureBox()->lineEdit()->clear();
    QTest::keyClicks(d->DepartureBox(), QStringLiteral("sh"));
    ASSERT_TRUE(d->DepartureBox()->PopupVisible());
    QTest::keyClick(d->DepartureBox(), Qt::Key_Escape);
    EXPECT_FALSE(d->DepartureBox()->PopupVisible());
    EXPECT_TRUE(d->isVisible());
    QTest::keyClick(d->DepartureBox(), Qt::Key_Escape);
    EXPECT_TRUE(d->isVisible());

    d->DepartureBox()->SetTextQuietly(QString::fromUtf8("北京"));
    QTest::mouseClick(d->SwapButton(), Qt::LeftButton);
    EXPECT_EQ(d->DepartureBox()->currentText(), QString::fromUtf8("上海"));
    EXPECT_EQ(d->ArrivalBox()->currentText(), QString::fromUtf8("北京"));
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8("换乘方案:上海→北京"));
    ASSERT_GT(d->Tree()->topLevelItemCount(), 0);
    EXPECT_EQ(d->Tree()->topLevelItem(0)->child(0)->text(1).left(2), QString::fromUtf8("上海"));
    // The main window's boxes are its own.
    EXPECT_EQ(GbkToUtf8(w->Text(Control::DepartureBox)), "北京");
    CloseAndWait(*w, d);
}

// The window's choices reach the planner: arrive by, a window past midnight, the limits.
TEST(JourneyWindowTest, ArrivalWindowPastMidnightReachesThePlanner) {
    test::App();
    std::vector<JourneyOptions> asked;
    JourneyWindowModel model(G("北京"), G("上海"),
                             [&](const std::string&, const std::string&, const JourneyOptions& o) {
                                 asked.push_back(o);
                                 return JourneyAnswer{};
                             });
    ui::JourneyDialog d(model);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].windowOf, JourneyWindowOf::Departure);
    d.WindowOf()->setCurrentIndex(1);
    d.StartTime()->setTime(QTime(22, 0));
    d.EndTime()->setTime(QTime(6, 0));
    d.MaxChanges()->setValue(1);
    QTest::mouseClick(d.SearchButton(), Qt::LeftButton);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].windowOf, JourneyWindowOf::Arrival);
    EXPECT_EQ(asked[1].windowStart, 22 * 60);
    EXPECT_EQ(asked[1].windowEnd, 6 * 60);
    EXPECT_EQ(asked[1].maxTransfers, 1);
    EXPECT_FALSE(d.StatusLabel()->text().isEmpty());
    EXPECT_FALSE(d.ExportButton()->isEnabled());  // nothing found, nothing to export

    // Times typed from the keyboard: the hours first, wherever the field was entered.
    d.show();
    d.activateWindow();
    for (QTimeEdit* field : {d.StartTime(), d.EndTime()}) {
        field->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(field, QStringLiteral("0830"));
        EXPECT_EQ(field->time(), QTime(8, 30)) << field->objectName().toStdString();
        d.SearchButton()->setFocus();
        // Clicked into its minutes: entering by a click starts at the hours all the same.
        QTest::mouseClick(field, Qt::LeftButton, {},
                          QPoint(field->width() - 30, field->height() / 2));
        QApplication::processEvents();
        QTest::keyClicks(field, QStringLiteral("1945"));
        EXPECT_EQ(field->time(), QTime(19, 45)) << field->objectName().toStdString();
    }
}

// Last in this file: it turns keeping on for a moment, in a configuration folder of its own.
// The planner's stations outlive the program; two blank main boxes open it with them.
// A timetable switch (an update installed or chosen) under an open journey window. While the
// new tables load, and where they lack a station of the question, the old answer stays on
// show greyed and explained, and nothing reaches into the old timetable through it: no stop
// list, no other trains for a leg, no print or export. Once a timetable holds both stations
// the window plans again by itself, with that timetable's map.
TEST(JourneyWindowTest, ATimetableSwitchPlansAgainOrKeepsTheOldAnswerGreyed) {
    const std::string sample = KORVEL_SAMPLE_STREAMS;
    if (sample.empty() || !QFile::exists(QString::fromStdString(sample + "/SLIST.stream")))
        GTEST_SKIP() << "no sample timetable";
    auto w = test::LoadedWindow();
    w->SetText(Control::DepartureBox, G("北京"));
    w->SetText(Control::ArrivalBox, G("广州"));
    ui::JourneyDialog* d = OpenJourneyWindow(*w);
    ASSERT_NE(d, nullptr);
    JourneyWindowModel* m = w->Controller().JourneyWindow();
    const int planned = d->Tree()->topLevelItemCount();
    ASSERT_GT(planned, 0);
    const QString answered = d->StatusLabel()->text();
    int legsOpened = 0;
    m->onOpenLeg = [&legsOpened](const DetailSection&) { ++legsOpened; };
    auto expectOldAnswerGreyed = [&](const char* why) {
        EXPECT_TRUE(m->Outdated());
        EXPECT_TRUE(d->AnswerIsStale());
        EXPECT_EQ(d->Tree()->topLevelItemCount(), planned);
        EXPECT_EQ(d->Tree()->topLevelItem(0)->foreground(1).color(),
                  QApplication::palette().color(QPalette::Disabled, QPalette::Text));
        EXPECT_TRUE(d->StatusLabel()->text().contains(QString::fromUtf8(why)))
            << d->StatusLabel()->text().toStdString();
        EXPECT_FALSE(d->PrintButton()->isEnabled());
        EXPECT_FALSE(d->ExportButton()->isEnabled());
        EXPECT_TRUE(m->Alternatives(0, 0).empty());
        emit d->Tree()->itemActivated(d->Tree()->topLevelItem(0)->child(0), 0);
        EXPECT_EQ(legsOpened, 0);
    };

    // The sample timetable has 北京 but no 广州.
    w->SwitchTimetable("", sample);
    expectOldAnswerGreyed("正在载入");
    w->Controller().WaitForLoaders();
    ASSERT_TRUE(test::PumpUntil([&] {
        return d->StatusLabel()->text().contains(QString::fromUtf8("到站不存在"));
    })) << d->StatusLabel()->text().toStdString();
    expectOldAnswerGreyed("到站不存在");
    EXPECT_TRUE(d->StatusLabel()->text().contains(QString::fromUtf8("原来的时刻表")));
    // The map is the new timetable's (the sample has no station places: none), with nothing
    // of the old answer on it.
    if (d->Map() != nullptr) {
        EXPECT_EQ(d->Map()->Map(), w->Controller().Map());
        d->Tree()->setCurrentItem(d->Tree()->topLevelItem(1));
        EXPECT_TRUE(d->Map()->Scene().route.empty());
    }

    // Back to the embedded timetable: the same question, planned again on it.
    w->SwitchTimetable("", "");
    w->Controller().WaitForLoaders();
    ASSERT_TRUE(test::PumpUntil([&] { return !m->Outdated(); }));
    EXPECT_FALSE(d->AnswerIsStale());
    EXPECT_EQ(d->Tree()->topLevelItemCount(), planned);
    EXPECT_EQ(d->StatusLabel()->text(), answered);
    EXPECT_TRUE(d->PrintButton()->isEnabled());
    emit d->Tree()->itemActivated(d->Tree()->topLevelItem(0)->child(0), 0);
    EXPECT_EQ(legsOpened, 1);
    if (d->Map() != nullptr) {
        EXPECT_EQ(d->Map()->Map(), w->Controller().Map());
    }

    // Changed settings before a switch stay marked after it: the new answer is the last
    // search's, not the settings on show.
    d->MaxChanges()->setValue(0);
    EXPECT_TRUE(d->AnswerIsStale());
    w->SwitchTimetable("", "");
    w->Controller().WaitForLoaders();
    ASSERT_TRUE(test::PumpUntil([&] { return !m->Outdated(); }));
    EXPECT_TRUE(d->AnswerIsStale());
    EXPECT_TRUE(d->StatusLabel()->text().contains(QStringLiteral("条件已改变")));
    CloseAndWait(*w, d);
}

TEST(JourneyWindowTest, ZzKeepsItsStationsAcrossRuns) {
    QTemporaryDir home;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    ui::KeepSettingsAcrossRuns();
    {
        auto w = test::LoadedWindow();
        w->SetText(Control::DepartureBox, G("天津"));
        w->SetText(Control::ArrivalBox, G("上海"));
        ui::JourneyDialog* d = OpenJourneyWindow(*w);
        ASSERT_NE(d, nullptr);
        d->DepartureBox()->SetTextQuietly(QString::fromUtf8("广州"));
        d->ArrivalBox()->SetTextQuietly(QString::fromUtf8("北京"));
        QTest::mouseClick(d->SwapButton(), Qt::LeftButton);
        d->resize(600, 400);
        d->move(12, 16);
        CloseAndWait(*w, d);
    }
    int planned = 0;
    QString from, to;
    QSize size;
    {
        auto w = test::LoadedWindow();
        w->SetText(Control::DepartureBox, "");
        w->SetText(Control::ArrivalBox, "");
        if (ui::JourneyDialog* d = OpenJourneyWindow(*w)) {
            from = d->DepartureBox()->currentText();
            to = d->ArrivalBox()->currentText();
            planned = d->Tree()->topLevelItemCount();
            size = d->size();
        }
    }
    ui::KeepSettingsAcrossRuns(false);
    savedConfig.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
    EXPECT_TRUE(QFile::exists(home.path() + QStringLiteral("/korvel/korvel.conf")));
    EXPECT_EQ(from, QString::fromUtf8("北京"));
    EXPECT_EQ(to, QString::fromUtf8("广州"));
    EXPECT_GT(planned, 0);
    EXPECT_EQ(size, QSize(600, 400));  // and where the traveller left it
}

}  // namespace
}  // namespace korvel
