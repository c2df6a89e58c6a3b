// The main window offscreen over the embedded timetable: layout, start-up states, station
// boxes, queries through the buttons, header sort, filters, input-error message boxes,
// toolbar panels.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <future>
#include <mutex>

#include "resources/resources.h"
#include "support/main_window_test_util.h"
#include "ui/result_table.h"
#include "ui/station_combo.h"

namespace korvel {
namespace {

using test::App;
using test::G;
using test::U;

QString Cell(ui::MainWindow& w, int column, int row) {
    return U(w.Controller().Grid().Cell(column, row));
}

void TypeInto(ui::MainWindow& w, Control box, const QString& text) {
    ui::StationCombo* combo = w.Combo(box);
    combo->setFocus();
    QTest::keyClicks(combo, text);
}

void Click(ui::MainWindow& w, Control c) {
    auto* b = qobject_cast<QAbstractButton*>(w.ControlWidget(c));
    ASSERT_NE(b, nullptr);
    b->click();
}

// Sets both station boxes (as a pick from the list would) and runs the query.
void QueryDirect(ui::MainWindow& w, const char* from, const char* to) {
    w.SetText(Control::DepartureBox, G(from));
    w.SetText(Control::ArrivalBox, G(to));
    Click(w, Control::DirectButton);
}

// --- layout ------------------------------------------------------------------------------

TEST(MainWindowLayoutTest, ResizableWindowWithCaptionToolbarAndStatusBar) {
    auto w = test::NewWindow();
    EXPECT_EQ(w->size(), QSize(985, 681));
    EXPECT_LT(w->minimumSize().width(), 985);
    EXPECT_GT(w->maximumSize().width(), 985);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w->windowTitle().startsWith(QStringLiteral("Korvel时刻表，准确及时")));

    const char* captions[] = {"列车时刻", "折扣机票", "特价酒店", "余票查询"};
    const int lefts[] = {13, 110, 210, 316};
    for (int i = 1; i <= 4; ++i) {
        QToolButton* b = w->ToolButton(i);
        EXPECT_EQ(b->text(), QString::fromUtf8(captions[i - 1]));
        EXPECT_EQ(b->geometry().size(), QSize(76, 52));
        EXPECT_EQ(b->x(), lefts[i - 1]);
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        EXPECT_EQ(b->isChecked(), i == 1);
    }
    EXPECT_EQ(w->StatusPanel(0)->text(), QStringLiteral("当前版本:2011.09.30"));
    EXPECT_EQ(w->StatusPanel(1)->text(), QStringLiteral("Korvel时刻在手，出差旅行无忧！"));
    EXPECT_EQ(w->StatusPanel(0)->width(), 150);
    EXPECT_EQ(w->StatusPanel(1)->width(), 300);
    EXPECT_EQ(w->StatusPanel(2)->width(), 150);
    EXPECT_EQ(w->StatusPanel(3)->width(), 50);
    EXPECT_EQ(w->Text(Control::ResultLabel), G("结果:0"));
    EXPECT_EQ(w->Text(Control::NewVersionLabel), G("版本检测中..."));
}

TEST(MainWindowLayoutTest, HeaderLabelsStandOverTheirGridColumns) {
    auto w = test::NewWindow();
    ui::ResultTableView* grid = w->Grid();
    EXPECT_EQ(grid->geometry(), QRect(14, 43, 960, 305));
    EXPECT_EQ(grid->toolTip(),
              QStringLiteral("双击鼠标，可查看详细车次信息\n鼠标右键，弹出高级菜单"));
    EXPECT_EQ(grid->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    const char* captions[] = {"车 次", "始发站", "终到站", "车型",         "发站",
                              "发时",  "到站",   "到时",   "停站",         "里程",
                              "历时",  "硬座",   "软座",   "硬卧上/中/下", "软卧上/下"};
    for (int c = 0; c < 15; ++c) {
        ui::ClickLabel* label = w->HeaderLabel(c);
        EXPECT_EQ(label->objectName(), QStringLiteral("Lab%1").arg(c + 1));
        EXPECT_EQ(label->text(), QString::fromUtf8(captions[c]));
        EXPECT_EQ(label->property("tag").toInt(), 33);
        EXPECT_EQ(label->width(), ui::ResultColumnWidths()[c]);
        EXPECT_EQ(grid->columnWidth(c), ui::ResultColumnWidths()[c] + 1);
        // The label's left edge is its column's left edge on screen.
        const QPoint columnLeft =
            grid->viewport()->mapTo(w.get(), QPoint(grid->columnViewportPosition(c), 0));
        EXPECT_EQ(label->mapTo(w.get(), QPoint(0, 0)).x(), columnLeft.x()) << c;
        EXPECT_FALSE(label->font().bold());
    }
}

TEST(MainWindowLayoutTest, ChineseTextUsesASimplifiedChineseFace) {
    auto w = test::NewWindow();
    const QString family = QFontInfo(w->HeaderLabel(0)->font()).family();
    EXPECT_TRUE(family.contains(QStringLiteral("CJK SC")) ||
                family.contains(QStringLiteral("WenQuanYi")))
        << family.toStdString();
    EXPECT_EQ(QFontInfo(w->font()).pixelSize(), 12);
}

TEST(MainWindowLayoutTest, ToolbarImagesComeFromTheTwelveBlobsInOrder) {
    auto w = test::NewWindow();
    w->Start();
    ASSERT_EQ(w->ToolbarImages().size(), 12u);
    for (int i = 0; i < 12; ++i) {
        const std::vector<unsigned char> bytes = ReadBlob("B" + std::to_string(i + 1));
        const QImage expected = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
        EXPECT_EQ(w->ToolbarImages()[i].toImage().convertToFormat(QImage::Format_RGB32),
                  expected.convertToFormat(QImage::Format_RGB32))
            << "b" << i + 1;
    }
    EXPECT_EQ(w->LogoPixmap().size(), QSize(143, 63));
    w->Controller().WaitForLoaders();
}

TEST(MainWindowLayoutTest, ToolbarSwitchesBetweenTheFourPanels) {
    auto w = test::NewWindow();
    w->Start();
    EXPECT_EQ(w->VisiblePanel(), 1);
    w->ToolButton(3)->click();
    EXPECT_EQ(w->VisiblePanel(), 3);
    EXPECT_TRUE(w->PanelWidget(1)->isHidden());
    EXPECT_FALSE(w->PanelWidget(3)->isHidden());
    EXPECT_TRUE(w->ToolButton(3)->isChecked());
    EXPECT_FALSE(w->ToolButton(1)->isChecked());
    // The timetable panel is only hidden: its controls keep their state.
    EXPECT_EQ(w->IsEnabled(Control::SwapButton), true);
    w->ToolButton(1)->click();
    EXPECT_EQ(w->VisiblePanel(), 1);
    EXPECT_TRUE(w->ToolButton(1)->isChecked());
    w->Controller().WaitForLoaders();
}

// --- start-up ----------------------------------------------------------------------------

TEST(MainWindowStartTest, ControlsWaitForTheirTables) {
    auto w = test::NewWindow();
    std::promise<void> releasePy, releaseStops;
    std::shared_future<void> pyGate = releasePy.get_future().share();
    std::shared_future<void> stopsGate = releaseStops.get_future().share();
    StartOptions options;
    options.source = [pyGate, stopsGate](std::string_view name) {
        if (name == "SPY") pyGate.wait();
        if (name == "STrain") stopsGate.wait();
        return ReadBlob(name);
    };
    w->Start(options);

    const Control boxes[] = {Control::DepartureBox, Control::ArrivalBox, Control::StationBox};
    const Control buttons[] = {Control::DirectButton, Control::TransferButton, Control::TrainButton,
                               Control::StationButton};
    for (Control c : boxes) EXPECT_FALSE(w->IsEnabled(c));
    for (Control c : buttons) EXPECT_FALSE(w->IsEnabled(c));
    for (Control c :
         {Control::SwapButton, Control::AdvancedButton, Control::AboutButton, Control::UpdateButton,
          Control::TrainNumberBox, Control::OriginatesFilter, Control::EmuOnlyFilter}) {
        EXPECT_TRUE(w->IsEnabled(c));
    }
    // The window keeps working while the loaders wait.
    w->SetText(Control::TrainNumberBox, "t1");
    QApplication::processEvents();
    EXPECT_FALSE(w->IsEnabled(Control::DepartureBox));

    releasePy.set_value();
    ASSERT_TRUE(test::PumpUntil([&] { return w->IsEnabled(Control::DepartureBox); }));
    for (Control c : boxes) EXPECT_TRUE(w->IsEnabled(c));
    for (Control c : buttons) EXPECT_FALSE(w->IsEnabled(c));

    releaseStops.set_value();
    ASSERT_TRUE(test::PumpUntil([&] { return w->IsEnabled(Control::DirectButton); }));
    for (Control c : buttons) EXPECT_TRUE(w->IsEnabled(c));
    w->Controller().WaitForLoaders();
}

TEST(MainWindowStartTest, AFailedTableLeavesItsControlsOff) {
    auto w = test::NewWindow();
    StartOptions options;
    options.source = [](std::string_view name) -> std::vector<unsigned char> {
        if (name == "STrain") throw std::runtime_error("damaged");
        return ReadBlob(name);
    };
    w->Start(options);
    w->Controller().WaitForLoaders();
    ASSERT_TRUE(test::PumpUntil([&] { return w->IsEnabled(Control::DepartureBox); }));
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    EXPECT_FALSE(w->IsEnabled(Control::DirectButton));
    EXPECT_FALSE(w->IsEnabled(Control::StationButton));
}

// --- station boxes -----------------------------------------------------------------------

TEST(StationBoxTest, TypingLettersOpensTheMatchingStationsAndKeepsTheLetters) {
    auto w = test::LoadedWindow();
    ui::StationCombo* box = w->Combo(Control::DepartureBox);
    EXPECT_EQ(box->count(), 12);
    for (int i = 0; i < box->count(); ++i) EXPECT_TRUE(box->itemText(i).isEmpty());

    TypeInto(*w, Control::DepartureBox, QStringLiteral("bj"));
    EXPECT_EQ(box->currentText(), QStringLiteral("bj"));
    ASSERT_GE(box->count(), 1);
    EXPECT_EQ(box->itemText(0), QStringLiteral("北京"));
    EXPECT_GE(box->count(), 9);
    EXPECT_TRUE(box->PopupVisible());
    // The keyboard stays in the box: more letters narrow the list.
    EXPECT_EQ(QApplication::focusWidget(), box);
    QTest::keyClicks(box, QStringLiteral("n"));
    EXPECT_EQ(box->currentText(), QStringLiteral("bjn"));
    EXPECT_GE(box->findText(QStringLiteral("北京南")), 0);
    EXPECT_EQ(box->findText(QStringLiteral("北京")), -1);
    EXPECT_TRUE(box->PopupVisible());

    // Picking an item from the list puts it into the box and closes the list.
    QListView* list = box->PopupList();
    const QRect first = list->visualRect(list->model()->index(0, 0));
    const QString firstName = box->itemText(0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(box->currentText(), firstName);
    EXPECT_FALSE(box->PopupVisible());
    EXPECT_EQ(box->itemText(0), firstName);  // a name leaves the list alone

    // Clearing the box: nine empty items, list closed.
    box->lineEdit()->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->currentText(), QString());
    EXPECT_EQ(box->count(), 9);
    EXPECT_FALSE(box->PopupVisible());
}

TEST(StationBoxTest, LettersWithoutAMatchOpenNineEmptyItemsAndBlanksAreTrimmed) {
    auto w = test::LoadedWindow();
    ui::StationCombo* box = w->Combo(Control::StationBox);
    TypeInto(*w, Control::StationBox, QStringLiteral("zzzzzz"));
    EXPECT_EQ(box->count(), 9);
    EXPECT_TRUE(box->PopupVisible());
    box->lineEdit()->clear();
    TypeInto(*w, Control::StationBox, QStringLiteral(" bj "));
    EXPECT_EQ(box->currentText(), QStringLiteral("bj"));
    EXPECT_EQ(box->itemText(0), QStringLiteral("北京"));
}

// Letters that list a station are taken as its first station by Enter and Tab, so a traveller
// can go bj Enter sh Enter Enter to the answer; letters that list nothing stay as typed.
TEST(StationBoxTest, EnterAndTabTakeTheFirstListedStationAndMoveOn) {
    auto w = test::LoadedWindow();
    ui::StationCombo* from = w->Combo(Control::DepartureBox);
    ui::StationCombo* to = w->Combo(Control::ArrivalBox);
    TypeInto(*w, Control::DepartureBox, QStringLiteral("bj"));
    QTest::keyClick(from, Qt::Key_Return);
    EXPECT_EQ(from->currentText(), QStringLiteral("北京"));
    EXPECT_FALSE(from->PopupVisible());
    EXPECT_EQ(QApplication::focusWidget(), to);
    QTest::keyClicks(to, QStringLiteral("sh"));
    QTest::keyClick(to, Qt::Key_Return);
    EXPECT_EQ(to->currentText(), QStringLiteral("上海"));
    EXPECT_EQ(QApplication::focusWidget(), w->ControlWidget(Control::DirectButton));
    {
        test::ModalAnswerer answerer;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_TRUE(answerer.Seen().empty());
    }
    EXPECT_GT(w->Controller().ShownCount(), 0);

    // Tab: the same pick, then the usual next control. The list is made anew for letters the
    // program put there (反向 swaps the texts, not the lists).
    from->SetTextQuietly(QStringLiteral("tj"));
    from->setFocus();
    QTest::keyClick(from, Qt::Key_Tab);
    EXPECT_EQ(from->currentText(), QStringLiteral("天津"));
    EXPECT_FALSE(from->PopupVisible());
    EXPECT_NE(QApplication::focusWidget(), from);

    // Nothing listed: the letters stay, and the query says the station is missing.
    ui::StationCombo* board = w->Combo(Control::StationBox);
    TypeInto(*w, Control::StationBox, QStringLiteral("zzzzzz"));
    QTest::keyClick(board, Qt::Key_Enter);
    EXPECT_EQ(board->currentText(), QStringLiteral("zzzzzz"));
    EXPECT_EQ(QApplication::focusWidget(), w->ControlWidget(Control::StationButton));
    // A name is never replaced by the list's first item.
    board->SetTextQuietly(QStringLiteral("上海"));
    board->SetItems({QStringLiteral("北京")});
    board->setFocus();
    QTest::keyClick(board, Qt::Key_Return);
    EXPECT_EQ(board->currentText(), QStringLiteral("上海"));
}

TEST(StationBoxTest, TrainNumberBoxTurnsLettersToUpperCase) {
    auto w = test::NewWindow();
    auto* ecc = qobject_cast<QLineEdit*>(w->ControlWidget(Control::TrainNumberBox));
    ecc->setFocus();
    QTest::keyClicks(ecc, QStringLiteral("t109"));
    EXPECT_EQ(ecc->text(), QStringLiteral("T109"));
    EXPECT_EQ(w->Text(Control::TrainNumberBox), "T109");
}

// --- queries, sorting, filters -----------------------------------------------------------

TEST(MainWindowQueryTest, StationToStationQueryFillsTheGridAndTheResultLabel) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    const int shown = w->Controller().ShownCount();
    ASSERT_GT(shown, 0);
    EXPECT_EQ(w->Text(Control::ResultLabel), G("结果:") + std::to_string(shown));
    EXPECT_EQ(w->GridModel()->rowCount(), std::max(shown, ResultGrid::kMinRows));
    for (int r = 0; r < shown; ++r) {
        EXPECT_FALSE(Cell(*w, 0, r).isEmpty());
        EXPECT_TRUE(Cell(*w, 4, r).startsWith(QStringLiteral("北京"))) << r;
        EXPECT_TRUE(Cell(*w, 6, r).startsWith(QStringLiteral("上海"))) << r;
        // What the view shows is what the grid holds.
        EXPECT_EQ(w->GridModel()->data(w->GridModel()->index(r, 0)).toString(), Cell(*w, 0, r));
    }
    if (shown < ResultGrid::kMinRows) {
        EXPECT_TRUE(Cell(*w, 0, shown).isEmpty());
    }

    // A click on a filled row selects it; a click on an empty row changes nothing.
    ui::ResultTableView* grid = w->Grid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(w->GridModel()->index(0, 2)).center());
    EXPECT_EQ(w->Controller().Grid().Selection(), 0);
    if (shown < ResultGrid::kMinRows) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(w->GridModel()->index(shown, 2)).center());
        EXPECT_EQ(w->Controller().Grid().Selection(), 0);
    }
}

TEST(MainWindowQueryTest, HeaderClickSortsAndMarksTheColumn) {
    auto w = test::LoadedWindow();
    // Nothing shown yet: a click changes nothing, not even the marker.
    w->HeaderLabel(5)->clicked();
    EXPECT_FALSE(w->HeaderLabel(5)->font().bold());

    QueryDirect(*w, "北京", "上海");
    const int shown = w->Controller().ShownCount();
    ASSERT_GT(shown, 0);
    QTest::mouseClick(w->HeaderLabel(5), Qt::LeftButton);
    EXPECT_TRUE(w->HeaderLabel(5)->font().bold());
    EXPECT_EQ(w->HeaderLabel(5)->text(), QStringLiteral("发时↑"));
    for (int r = 1; r < shown; ++r) EXPECT_LE(Cell(*w, 5, r - 1), Cell(*w, 5, r));

    QTest::mouseClick(w->HeaderLabel(5), Qt::LeftButton);
    EXPECT_EQ(w->HeaderLabel(5)->text(), QStringLiteral("发时↓"));
    for (int r = 1; r < shown; ++r) EXPECT_GE(Cell(*w, 5, r - 1), Cell(*w, 5, r));

    QTest::mouseClick(w->HeaderLabel(9), Qt::LeftButton);
    EXPECT_EQ(w->HeaderLabel(5)->text(), QStringLiteral("发时"));
    EXPECT_FALSE(w->HeaderLabel(5)->font().bold());
    EXPECT_EQ(w->HeaderLabel(9)->text(), QStringLiteral("里程↑"));
    for (int r = 1; r < shown; ++r) {
        EXPECT_LE(Cell(*w, 9, r - 1).toInt(), Cell(*w, 9, r).toInt());
    }
}

TEST(MainWindowQueryTest, FilterClickRefiltersTheSameResults) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    const int all = w->Controller().ShownCount();
    ASSERT_GT(all, 0);

    QTest::mouseClick(w->ControlWidget(Control::EmuOnlyFilter), Qt::LeftButton);
    EXPECT_TRUE(w->Checked(Control::EmuOnlyFilter));
    const int emu = w->Controller().ShownCount();
    EXPECT_LE(emu, all);
    EXPECT_EQ(w->Text(Control::ResultLabel), G("结果:") + std::to_string(emu));
    for (int r = 0; r < emu; ++r) {
        const QChar first = Cell(*w, 0, r).at(0);
        EXPECT_TRUE(first == 'C' || first == 'D' || first == 'G') << Cell(*w, 0, r).toStdString();
    }
    QTest::mouseClick(w->ControlWidget(Control::EmuOnlyFilter), Qt::LeftButton);
    EXPECT_EQ(w->Controller().ShownCount(), all);

    // A new query clears the boxes.
    QTest::mouseClick(w->ControlWidget(Control::OriginatesFilter), Qt::LeftButton);
    QueryDirect(*w, "北京", "上海");
    EXPECT_FALSE(w->Checked(Control::OriginatesFilter));
    EXPECT_EQ(w->Controller().ShownCount(), all);
}

TEST(MainWindowQueryTest, TrainRowsBoardingAtTheirOriginArePaintedRed) {
    auto w = test::LoadedWindow();
    w->SetText(Control::TrainNumberBox, "G1");
    Click(*w, Control::TrainButton);
    ASSERT_GT(w->Controller().ShownCount(), 0);
    ui::ResultGridModel* m = w->GridModel();
    EXPECT_EQ(m->data(m->index(0, 0), Qt::ForegroundRole).value<QBrush>().color(),
              QColor(0xFF, 0, 0));
}

TEST(MainWindowQueryTest, WheelMovesTheSelectionOnlyAmongResultRows) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    const int shown = w->Controller().ShownCount();
    ASSERT_GT(shown, 0);
    auto wheel = [&](int delta) {
        const QPoint pos(40, 40);
        QWheelEvent e(pos, w->Grid()->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w->Grid()->viewport(), &e);
    };
    // No selection: the wheel scrolls and selects nothing.
    wheel(-120);
    EXPECT_FALSE(w->Controller().Grid().Selection().has_value());
    EXPECT_EQ(w->Grid()->TopRow(), w->Controller().Grid().TopRow());
    wheel(120);
    EXPECT_EQ(w->Grid()->TopRow(), 0);

    w->Controller().SelectGridRow(0, 0);
    w->GridChanged();
    for (int i = 0; i < shown + 3; ++i) wheel(-120);
    EXPECT_EQ(w->Controller().Grid().Selection(), shown - 1);
    wheel(120);
    EXPECT_EQ(w->Controller().Grid().Selection(), std::max(shown - 2, 0));
    // The painted selection follows the model.
    const QModelIndex selected = w->GridModel()->index(std::max(shown - 2, 0), 0);
    EXPECT_TRUE(selected.data(ui::ResultGridModel::SelectedRole).toBool());
}

TEST(MainWindowQueryTest, DoubleClickOpensTheTrainAndRightClickTheAdvancedMenu) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    ASSERT_GT(w->Controller().ShownCount(), 0);
    ui::ResultTableView* grid = w->Grid();
    const QPoint row0 = grid->visualRect(w->GridModel()->index(0, 3)).center();

    // Right click: the menu, with print and export on since there are results.
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, row0,
                                grid->viewport()->mapToGlobal(row0));
    QApplication::sendEvent(grid->viewport(), &menuEvent);
    ASSERT_TRUE(test::PumpUntil([&] { return w->AdvancedMenu()->isVisible(); }, 2000));
    EXPECT_TRUE(w->IsEnabled(Control::PrintItem));
    EXPECT_TRUE(w->IsEnabled(Control::ExportItem));
    w->AdvancedMenu()->hide();

    // Double click on the selected row: the detail window, modal, titled with the train.
    QString title;
    QTimer closer;
    closer.setInterval(5);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            title = d->windowTitle();
            d->reject();
        }
    });
    closer.start();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row0);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row0);
    closer.stop();
    EXPECT_TRUE(title.contains(Cell(*w, 0, 0).section('/', 0, 0))) << title.toStdString();
}

TEST(MainWindowQueryTest, TransferLegsShowTheSecondLegInBlue) {
    auto w = test::LoadedWindow();
    // Without a direct train the window asks whether to look for a transfer; No leaves the
    // grid empty. (A fuller timetable may have direct trains here: then there is no question.)
    {
        test::ModalAnswerer answerer(QMessageBox::No);
        QueryDirect(*w, "天津", "上海");
        if (w->Controller().ShownCount() == 0) {
            ASSERT_EQ(answerer.Seen().size(), 1u);
            EXPECT_EQ(answerer.Seen()[0].caption, QStringLiteral("Korvel时刻"));
            EXPECT_EQ(answerer.Seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(w->Text(Control::ResultLabel), G("结果:0"));
        } else {
            EXPECT_TRUE(answerer.Seen().empty());
        }
    }
    // "中转": the transfer window; picking its first station puts both legs into the grid.
    bool picked = false;
    QTimer picker;
    picker.setInterval(5);
    QObject::connect(&picker, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !w->Controller().TransferWindow()) return;
        picked = w->Controller().TransferWindow()->ClickRow(0).has_value();
        d->accept();
    });
    picker.start();
    Click(*w, Control::TransferButton);
    picker.stop();
    ASSERT_TRUE(picked);
    const std::string transfer = w->Controller().TransferStation();
    ASSERT_FALSE(transfer.empty());
    ui::ResultGridModel* m = w->GridModel();
    int blue = 0;
    for (int r = 0; r < w->Controller().ShownCount(); ++r) {
        const QColor c = m->data(m->index(r, 0), Qt::ForegroundRole).value<QBrush>().color();
        const bool boardsAtTransfer = Cell(*w, 4, r) == U(transfer);
        const bool startsThere = Cell(*w, 1, r) == Cell(*w, 4, r);
        if (boardsAtTransfer && !startsThere) {
            EXPECT_EQ(c, QColor(0, 0, 0xFF)) << r;
            ++blue;
        }
    }
    EXPECT_GT(blue, 0);
}

// --- input errors ------------------------------------------------------------------------

struct InputErrorCase {
    const char* from;
    const char* to;
    const char* caption;
    const char* text;
    Control focus;
};

// The box that gets the focus is the window's focus widget; the window itself becomes active
// again when the modal box has gone (offscreen, that is not always immediate).
TEST(MainWindowMessageTest, EachStationInputErrorShowsItsBoxAndFocusesTheBox) {
    auto w = test::LoadedWindow();
    const InputErrorCase cases[] = {
        {"", "上海", "信息不完整", "请输入发站。", Control::DepartureBox},
        {"bj", "上海", "信息不完整", "请输入发站。", Control::DepartureBox},
        {"北京", "", "信息不完整", "请输入到站。", Control::ArrivalBox},
        {"北京", "北京", "输入错误", "发站与到站相同。", Control::ArrivalBox},
        {"火星", "上海", "输入错误", "发站不存在。", Control::DepartureBox},
        {"北京", "火星", "输入错误", "到站不存在。", Control::ArrivalBox},
    };
    for (const InputErrorCase& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        test::ModalAnswerer answerer;
        QueryDirect(*w, c.from, c.to);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        const test::SeenBox& box = answerer.Seen()[0];
        EXPECT_EQ(box.caption, QString::fromUtf8(c.caption));
        EXPECT_EQ(box.text, QString::fromUtf8(c.text));
        EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        QApplication::processEvents();
        EXPECT_EQ(w->focusWidget(), w->ControlWidget(c.focus));
    }
}

TEST(MainWindowMessageTest, TrainAndStationQueriesReportMissingInput) {
    auto w = test::LoadedWindow();
    {
        test::ModalAnswerer answerer;
        w->SetText(Control::TrainNumberBox, "");
        Click(*w, Control::TrainButton);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(answerer.Seen()[0].caption, QStringLiteral("信息不完整"));
        EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("请输入车次。"));
        EXPECT_EQ(w->focusWidget(), w->ControlWidget(Control::TrainNumberBox));
    }
    {
        test::ModalAnswerer answerer;
        w->SetText(Control::StationBox, "");
        Click(*w, Control::StationButton);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(answerer.Seen()[0].caption, QStringLiteral("信息不完整"));
        EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("请输入车站。"));
        EXPECT_EQ(w->focusWidget(), w->ControlWidget(Control::StationBox));
    }
    {
        test::ModalAnswerer answerer;
        w->SetText(Control::StationBox, G("火星"));
        Click(*w, Control::StationButton);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(answerer.Seen()[0].caption, QStringLiteral("输入错误"));
        EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("车站不存在。"));
    }
}

TEST(MainWindowMessageTest, MessageBoxesMapButtonsIconsAndAnswers) {
    auto w = test::NewWindow();
    {
        test::ModalAnswerer answerer(QMessageBox::No);
        EXPECT_EQ(
            w->ShowMessage(G("Korvel时刻"), G("是否继续?"), MsgButtons::YesNo, MsgIcon::Question),
            MsgAnswer::No);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(answerer.Seen()[0].caption, QStringLiteral("Korvel时刻"));
        EXPECT_EQ(answerer.Seen()[0].icon, QMessageBox::Question);
        EXPECT_EQ(answerer.Seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    }
    {
        test::ModalAnswerer answerer(QMessageBox::Yes);
        EXPECT_EQ(w->ShowMessage("a", "b", MsgButtons::YesNoCancel, MsgIcon::Warning),
                  MsgAnswer::Yes);
        EXPECT_EQ(answerer.Seen()[0].icon, QMessageBox::Warning);
    }
}

}  // namespace
}  // namespace korvel
