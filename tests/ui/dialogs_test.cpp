// The detail window, the transfer window and the advanced menu, offscreen.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "data/table_stream.h"
#include "dialogs_test_util.h"
#include "ui/dialogs/advanced_menu.h"
#include "ui/dialogs/copy_rows.h"
#include "ui/dialogs/grid_view.h"
#include "ui/dialogs/train_dialog.h"
#include "ui/dialogs/transfer_stations_dialog.h"

namespace korvel {
namespace {

using test::App;
using test::G;
using ui::QStringFromGbk;

bool IsBlue(QRgb p) {
    return qBlue(p) > 180 && qRed(p) < 90 && qGreen(p) < 90;
}

// How many strongly blue pixels the painted row holds.
int BluePixelsInRow(ui::ModelGridView* view, int row) {
    const QImage image = view->viewport()->grab().toImage();
    // The grab holds device pixels: twice as many each way on a screen scaled by 2.
    const qreal dpr = image.devicePixelRatio();
    const QRect rect = view->RowRect(row);
    const QRect device = QRectF(QPointF(rect.topLeft()) * dpr, QSizeF(rect.size()) * dpr).toRect();
    int count = 0;
    for (int y = device.top(); y <= device.bottom(); ++y) {
        for (int x = device.left(); x <= device.right(); ++x) count += IsBlue(image.pixel(x, y));
    }
    return count;
}

void Wheel(QWidget* target, bool up) {
    const QPoint pos(20, 20);
    QWheelEvent event(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, up ? 120 : -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

void ClickRow(ui::ModelGridView* view, int row) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->RowRect(row).center());
}

class DetailDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        test::BuildKMTrain(stops, test::SampleStops());
    }
    DetailWindowModel Model(const std::string& boarding, int stopCount) {
        const Timetable tt = test::TypedStops(stops);
        std::optional<DetailWindowModel> m =
            DetailWindowModel::Build(tt, test::Section(tt, "Z9", boarding, stopCount, 164, 140));
        EXPECT_TRUE(m.has_value());
        return std::move(*m);
    }
    MemTable stops;
};

TEST_F(DetailDialogTest, ShowsCaptionSummaryHeadersAndStops) {
    DetailWindowModel model = Model(G("石家庄"), 3);  // stops 3..6 are the section
    ui::TrainDialog window(model);
    window.show();

    // A window that fits a small screen: the stop list gives up rows (down to five), the
    // lines above it and the buttons under it stay; only smaller still does it scroll.
    EXPECT_TRUE(window.screen()->availableGeometry().contains(window.geometry()));
    const QSize canvas = window.findChild<QWidget*>(QStringLiteral("Canvas"))->size();
    EXPECT_EQ(canvas.width(), std::max(426, window.width()));
    EXPECT_GE(canvas.height(), 403 - 190);
    EXPECT_LE(canvas.height(), std::max(403 - 190, window.height()));
    EXPECT_EQ(window.StopGrid()->height(), 287 + canvas.height() - 403);
    EXPECT_EQ(window.CloseButton()->geometry().bottom(), canvas.height() - 9);  // 8 px under it
    // The rest at the size it is drawn for.
    window.resize(426, 403);
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("车次:Z9"));
    EXPECT_EQ(window.RouteLine()->text(), QStringLiteral("全程：1229km/历时13:35/速度90km/h"));
    EXPECT_EQ(window.SectionLine()->text(), QStringLiteral("区间：164km/历时2:20/速度70km/h"));
    EXPECT_EQ(window.RouteLine()->palette().color(QPalette::WindowText), QColor(0xFF, 0, 0));
    EXPECT_EQ(window.SectionLine()->palette().color(QPalette::WindowText), QColor(0, 0, 0xFF));
    EXPECT_EQ(window.RouteLine()->pos(), QPoint(24, 8));
    EXPECT_EQ(window.SectionLine()->pos(), QPoint(24, 28));

    QStringList headers;
    for (QLabel* l : window.HeaderLabels()) headers << l->text();
    EXPECT_EQ(headers.join(','), QStringLiteral("站序,车站,里程,到时,发时,天数,历时,时速"));
    EXPECT_EQ(window.HeaderLabels()[0]->objectName(), QStringLiteral("Header1"));
    EXPECT_EQ(window.HeaderLabels()[7]->objectName(), QStringLiteral("Header8"));

    ui::ModelGridView* grid = window.StopGrid();
    EXPECT_EQ(grid->geometry(), QRect(24, 68, 393, 287));
    EXPECT_EQ(grid->Grid().RowCount(), 20);  // 12 stops, the rest blank
    EXPECT_EQ(QStringFromGbk(grid->Grid().Cell(1, 0)), QStringLiteral("北京西"));
    EXPECT_EQ(QStringFromGbk(grid->Grid().Cell(5, 4)), QStringLiteral("第2天"));

    // The section rows are painted blue, the others and the blank rows are not.
    for (int row : {0, 1, 6, 11, 12}) EXPECT_EQ(BluePixelsInRow(grid, row), 0) << row;
    for (int row : {2, 3, 4, 5}) EXPECT_GT(BluePixelsInRow(grid, row), 10) << row;

    EXPECT_EQ(window.PrintButton()->text(), QStringLiteral("打印"));
    EXPECT_EQ(window.ExportButton()->text(), QStringLiteral("导出"));
    EXPECT_EQ(window.CloseButton()->text(), QStringLiteral("关闭"));
    EXPECT_EQ(window.CloseButton()->size(), QSize(90, 32));
    EXPECT_EQ(window.focusWidget(), window.CloseButton());
    EXPECT_TRUE(window.isModal());

    window.grab().save(test::ShotDir() + "/detail_window.png");
    window.CloseButton()->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(DetailDialogTest, SelectionAndWheelFollowTheGridRules) {
    DetailWindowModel model = Model(G("北京西"), 11);
    ui::TrainDialog window(model);
    window.resize(426, 403);
    window.show();
    ui::ModelGridView* grid = window.StopGrid();

    // No row selected: the wheel scrolls the view and selects nothing.
    Wheel(grid->viewport(), false);
    EXPECT_FALSE(grid->Grid().Selection().has_value());
    EXPECT_EQ(grid->Grid().TopRow(), 1);
    Wheel(grid->viewport(), true);
    EXPECT_EQ(grid->Grid().TopRow(), 0);

    // A blank row cannot be selected; a stop row can, and is painted in white on the caption
    // colour rather than blue.
    ClickRow(grid, 14);
    EXPECT_FALSE(grid->Grid().Selection().has_value());
    ClickRow(grid, 3);
    ASSERT_TRUE(grid->Grid().Selection().has_value());
    EXPECT_EQ(*grid->Grid().Selection(), 3);
    EXPECT_EQ(BluePixelsInRow(grid, 3), 0);

    // With a selection the wheel and the arrow keys move it, but never onto a blank row.
    Wheel(grid->viewport(), false);
    EXPECT_EQ(*grid->Grid().Selection(), 4);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(*grid->Grid().Selection(), 3);
    ClickRow(grid, 11);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(*grid->Grid().Selection(), 11);
    Wheel(grid->viewport(), false);
    EXPECT_EQ(*grid->Grid().Selection(), 11);
    // Home and End go to the first and the last stop, not to the blank rows after it.
    QTest::keyClick(grid, Qt::Key_Home);
    EXPECT_EQ(*grid->Grid().Selection(), 0);
    QTest::keyClick(grid, Qt::Key_End);
    EXPECT_EQ(*grid->Grid().Selection(), 11);
}

TEST_F(DetailDialogTest, LongTrainGrowsTheGridAndScrollsToTheLastStop) {
    std::vector<test::Stop> long_train;
    for (int i = 1; i <= 50; ++i) {
        long_train.push_back({"L1", G("站") + std::to_string(i), i, i == 1 ? "" : "10:00", "10:05",
                              std::to_string(i * 10), i * 10});
    }
    MemTable table;
    test::BuildKMTrain(table, long_train);
    const Timetable tt = test::TypedStops(table);
    std::optional<DetailWindowModel> model =
        DetailWindowModel::Build(tt, test::Section(tt, "L1", G("站1"), 49, 490, 490));
    ASSERT_TRUE(model);
    ui::TrainDialog window(*model);
    window.show();
    ui::ModelGridView* grid = window.StopGrid();
    EXPECT_EQ(grid->Grid().RowCount(), 50);
    EXPECT_EQ(grid->verticalScrollBar()->maximum(), 50 - grid->VisibleRows());
    grid->setFocus();
    ClickRow(grid, 0);
    QTest::keyClick(grid, Qt::Key_End);
    EXPECT_EQ(*grid->Grid().Selection(), 49);
    EXPECT_FALSE(grid->RowRect(49).isEmpty());  // scrolled into view
}

TEST(SampleTimetable, DetailDialogForItsFirstTrain) {
    App();
    const std::string path = std::string(KORVEL_SAMPLE_STREAMS) + "/STRAIN.stream";
    QFile file(QString::fromStdString(path));
    if (std::string(KORVEL_SAMPLE_STREAMS).empty() || !file.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "no sample timetable streams built";
    }
    const QByteArray bytes = file.readAll();
    MemTable KMTrain;
    TableStreamFormat format;
    LoadFromTableStream(KMTrain, std::string_view(bytes.constData(), bytes.size()), &format);
    KMTrain.SetIndexName("SIDNo");
    KMTrain.First();
    ASSERT_FALSE(KMTrain.Eof());
    const std::string trainNo(KMTrain.FieldByName("ID").View());
    const std::string origin(KMTrain.FieldByName("Station").View());

    const Timetable tt = test::TypedStops(KMTrain);
    std::optional<DetailWindowModel> model =
        DetailWindowModel::Build(tt, test::Section(tt, trainNo, origin, 1));
    ASSERT_TRUE(model);
    ui::TrainDialog window(*model);
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("车次:") + QStringFromGbk(trainNo));
    EXPECT_EQ(window.StopGrid()->Grid().Cell(1, 0), origin);
    EXPECT_GE(window.StopGrid()->Grid().RowCount(), 20);
    EXPECT_TRUE(window.RouteLine()->text().startsWith(QStringLiteral("全程：")));
    EXPECT_GT(BluePixelsInRow(window.StopGrid(), 0), 10);  // the boarding stop is in the section
}

// --- transfer window ---

TransferWindowModel::Row TRow(const char* station, int d1, int d2, const char* t1, const char* t2,
                              const char* tAll, int c1, int c2) {
    return {G(station), std::to_string(d1), std::to_string(d2), std::to_string(d1 + d2), t1, t2,
            tAll,       std::to_string(c1), std::to_string(c2)};
}

class TransferDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        model.AddRow(TRow("郑州", 689, 540, "07:12", "05:30", "12:42", 2, 4));
        model.AddRow(TRow("武汉", 1229, 300, "13:35", "03:10", "16:45", 3, 1));
        model.AddRow(TRow("石家庄", 277, 900, "02:36", "09:00", "11:36", 5, 2));
        model.FinishFill();
        model.onPick = [this](const TransferPick& pick) { picks.push_back(pick); };
    }
    QStringList Column(int c) const {
        QStringList out;
        for (int r = 0; r < model.StationCount(); ++r)
            out << QStringFromGbk(model.Grid().Cell(c, r));
        return out;
    }
    TransferWindowModel model;
    std::vector<TransferPick> picks;
};

TEST_F(TransferDialogTest, OpensSortedByStationWithItsLayout) {
    ui::TransferStationsDialog window(model);
    window.show();
    EXPECT_EQ(window.size(), QSize(532, 356));
    EXPECT_EQ(window.windowTitle(), QStringFromGbk(model.Caption()));
    EXPECT_EQ(window.InfoLabel()->text(), QStringFromGbk(TransferWindowModel::InfoText()));
    EXPECT_EQ(window.InfoLabel()->palette().color(QPalette::WindowText), QColor(0, 0, 0xFF));
    EXPECT_EQ(window.StationGrid()->geometry(), QRect(9, 30, 513, 287));
    EXPECT_EQ(window.StationGrid()->toolTip(),
              QStringLiteral("点击标题栏，可以根据各种条件排序。"));
    EXPECT_EQ(window.CloseButton()->geometry(), QRect(433, 321, 90, 30));

    ASSERT_EQ(window.HeaderLabels().size(), 9u);
    EXPECT_EQ(window.HeaderLabels()[0]->text(), QStringLiteral("中转站↑"));
    EXPECT_TRUE(window.HeaderLabels()[0]->font().bold());
    EXPECT_EQ(window.HeaderLabels()[8]->text(), QStringLiteral("到站车数"));
    EXPECT_FALSE(window.HeaderLabels()[8]->font().bold());
    // GBK byte order of 石 (CA AF), 武 (CE E4), 郑 (D6 A3).
    EXPECT_EQ(Column(0).join(','), QStringLiteral("石家庄,武汉,郑州"));
    window.grab().save(test::ShotDir() + "/transfer_window.png");
}

TEST_F(TransferDialogTest, HeaderClicksSortAndMoveTheMarker) {
    ui::TransferStationsDialog window(model);
    window.show();
    QLabel* total = window.HeaderLabels()[3];
    QTest::mouseClick(total, Qt::LeftButton);
    EXPECT_EQ(Column(3).join(','), QStringLiteral("1177,1229,1529"));
    EXPECT_EQ(total->text(), QStringLiteral("总里程↑"));
    EXPECT_TRUE(total->font().bold());
    EXPECT_EQ(window.HeaderLabels()[0]->text(), QStringLiteral("中转站"));
    EXPECT_FALSE(window.HeaderLabels()[0]->font().bold());

    QTest::mouseClick(total, Qt::LeftButton);
    EXPECT_EQ(Column(3).join(','), QStringLiteral("1529,1229,1177"));
    EXPECT_EQ(total->text(), QStringLiteral("总里程↓"));

    QTest::mouseClick(window.HeaderLabels()[0], Qt::LeftButton);
    EXPECT_EQ(Column(0).join(','), QStringLiteral("石家庄,武汉,郑州"));
    EXPECT_EQ(total->text(), QStringLiteral("总里程"));
    EXPECT_FALSE(total->font().bold());
    EXPECT_TRUE(picks.empty());  // sorting picks nothing
}

TEST_F(TransferDialogTest, RowPicksByMouseKeyboardAndWheelCallTheHandler) {
    ui::TransferStationsDialog window(model);
    window.show();
    ui::ModelGridView* grid = window.StationGrid();

    // Before any pick the wheel only scrolls (nothing to scroll with three rows).
    Wheel(grid->viewport(), false);
    EXPECT_TRUE(picks.empty());
    ClickRow(grid, 10);  // blank row, nothing picked yet
    EXPECT_TRUE(picks.empty());

    ClickRow(grid, 2);  // 郑州: 2 + 4 trains
    ASSERT_EQ(picks.size(), 1u);
    EXPECT_EQ(picks[0].station, G("郑州"));
    EXPECT_EQ(picks[0].count1, 2);
    EXPECT_EQ(picks[0].count2, 4);

    Wheel(grid->viewport(), true);
    ASSERT_EQ(picks.size(), 2u);
    EXPECT_EQ(picks[1].station, G("武汉"));
    QTest::keyClick(grid, Qt::Key_Up);
    ASSERT_EQ(picks.size(), 3u);
    EXPECT_EQ(picks[2].station, G("石家庄"));

    // A click on a blank row keeps the current row and loads it again.
    ClickRow(grid, 7);
    ASSERT_EQ(picks.size(), 4u);
    EXPECT_EQ(picks[3].station, G("石家庄"));
    EXPECT_TRUE(window.isVisible());  // the window stays open while picking
}

TEST(TransferDialogEmpty, HeaderAndRowClicksDoNothing) {
    App();
    TransferWindowModel model;
    model.FinishFill();
    int picked = 0;
    model.onPick = [&](const TransferPick&) { ++picked; };
    ui::TransferStationsDialog window(model);
    window.show();
    for (QLabel* l : window.HeaderLabels()) {
        QTest::mouseClick(l, Qt::LeftButton);
        EXPECT_FALSE(l->font().bold());
        EXPECT_FALSE(l->text().endsWith(QStringLiteral("↑")));
    }
    ClickRow(window.StationGrid(), 0);
    EXPECT_EQ(picked, 0);
}

TEST(TransferDialogMany, GridGrowsAndScrollsBeforeAPick) {
    App();
    TransferWindowModel model;
    for (int i = 0; i < 25; ++i) {
        model.AddRow(
            {G("站") + std::to_string(100 + i), "1", "2", "3", "01:00", "02:00", "3:0", "1", "1"});
    }
    model.FinishFill();
    ui::TransferStationsDialog window(model);
    window.show();
    EXPECT_EQ(window.StationGrid()->Grid().RowCount(), 25);
    Wheel(window.StationGrid()->viewport(), false);
    EXPECT_EQ(window.StationGrid()->Grid().TopRow(), 1);
    EXPECT_FALSE(window.StationGrid()->Grid().Selection().has_value());
}

// --- the advanced menu ---

TEST(AdvancedMenu, ItemsOrderEnablingAndClicks) {
    App();
    QWidget owner;
    bool shown = false;
    int popups = 0;
    QStringList clicked;
    ui::AdvancedMenuCallbacks callbacks;
    callbacks.popup = [&] { ++popups; };
    callbacks.resultsShown = [&] { return shown; };
    callbacks.PrintClicked = [&] { clicked << "PrintItem"; };
    callbacks.ExportClicked = [&] { clicked << "ExportItem"; };
    callbacks.DesktopShortcutClicked = [&] { clicked << "DesktopShortcutItem"; };
    callbacks.StartMenuShortcutClicked = [&] { clicked << "StartMenuShortcutItem"; };
    callbacks.AboutClicked = [&] { clicked << "AboutItem"; };
    QMenu* menu = ui::BuildAdvancedMenu(&owner, callbacks);
    EXPECT_EQ(menu->parent(), &owner);

    QStringList items;
    for (QAction* a : menu->actions()) items << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(items.join('|'), QStringLiteral("打印查询结果|导出查询结果|-|创建快捷方式|-|关于"));
    QMenu* sub = ui::AdvancedMenuAction(menu, "ShortcutsMenu")->menu();
    ASSERT_NE(sub, nullptr);
    QStringList subItems;
    for (QAction* a : sub->actions()) subItems << a->text();
    EXPECT_EQ(subItems.join('|'), QStringLiteral("桌面快捷方式|开始菜单快捷方式"));

    QAction* print = ui::AdvancedMenuAction(menu, "PrintItem");
    QAction* exportItem = ui::AdvancedMenuAction(menu, "ExportItem");
    EXPECT_FALSE(print->isEnabled());
    EXPECT_FALSE(exportItem->isEnabled());
    emit menu->aboutToShow();
    EXPECT_EQ(popups, 1);
    EXPECT_FALSE(print->isEnabled());
    shown = true;
    emit menu->aboutToShow();
    EXPECT_TRUE(print->isEnabled());
    EXPECT_TRUE(exportItem->isEnabled());
    shown = false;
    emit menu->aboutToShow();
    EXPECT_FALSE(exportItem->isEnabled());

    for (const char* name :
         {"PrintItem", "ExportItem", "DesktopShortcutItem", "StartMenuShortcutItem", "AboutItem"}) {
        ui::AdvancedMenuAction(menu, name)->trigger();
    }
    // Disabled actions do not trigger.
    EXPECT_EQ(clicked.join(','),
              QStringLiteral("DesktopShortcutItem,StartMenuShortcutItem,AboutItem"));
    shown = true;
    emit menu->aboutToShow();
    print->trigger();
    exportItem->trigger();
    EXPECT_EQ(
        clicked.join(','),
        QStringLiteral("DesktopShortcutItem,StartMenuShortcutItem,AboutItem,PrintItem,ExportItem"));
}

// A text box that claims Ctrl+E as "end of line", as Qt's text boxes do on X11 desktops
// (the offscreen platform binds nothing to it).
class EndOfLineBox : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride &&
            static_cast<QKeyEvent*>(e)->keyCombination() == (Qt::CTRL | Qt::Key_E)) {
            e->accept();
            return true;
        }
        return QLineEdit::event(e);
    }
};

// A window's Ctrl+E (export) works while one of its text boxes, or an editable combo box,
// has the focus.
TEST(WindowKeys, TextBoxesLeaveTheWindowsKeysToIt) {
    App();
    for (bool kept : {false, true}) {
        QWidget window;
        auto* box = new EndOfLineBox(&window);
        auto* combo = new QComboBox(&window);
        combo->setLineEdit(new EndOfLineBox(combo));
        combo->move(0, 40);
        int exports = 0;
        ui::AddWindowShortcut(&window, QKeySequence(Qt::CTRL | Qt::Key_E), [&] { ++exports; });
        if (kept) ui::KeepWindowKeysFromTextBoxes(&window, QKeySequence(Qt::CTRL | Qt::Key_E));
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        for (QWidget* focus : {static_cast<QWidget*>(box), static_cast<QWidget*>(combo)}) {
            focus->setFocus();
            QTest::keySequence(QApplication::focusWidget(), QKeySequence(Qt::CTRL | Qt::Key_E));
        }
        EXPECT_EQ(exports, kept ? 2 : 0);
    }
}

TEST(AdvancedMenu, PreviewItemFollowsPrintWhenOffered) {
    App();
    QWidget owner;
    bool shown = false;
    int previews = 0;
    ui::AdvancedMenuCallbacks callbacks;
    callbacks.resultsShown = [&] { return shown; };
    callbacks.PreviewClicked = [&] { ++previews; };
    QMenu* menu = ui::BuildAdvancedMenu(&owner, callbacks);
    QStringList items;
    for (QAction* a : menu->actions()) items << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(items.join('|'),
              QStringLiteral("打印查询结果|打印预览|导出查询结果|-|创建快捷方式|-|关于"));
    QAction* preview = ui::AdvancedMenuAction(menu, "PreviewItem");
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(preview->isEnabled());
    emit menu->aboutToShow();
    preview->trigger();
    EXPECT_EQ(previews, 0);
    shown = true;
    emit menu->aboutToShow();
    EXPECT_TRUE(preview->isEnabled());
    preview->trigger();
    EXPECT_EQ(previews, 1);
}

}  // namespace
}  // namespace korvel
