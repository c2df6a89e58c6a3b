// The result grid's Qt model, delegate and view on their own, over a ResultGrid filled by
// hand: model consistency, row colours and selection as roles, the painted pixels, and what
// the view reports for clicks, keys and the wheel.
#include "ui/result_table.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "support/main_window_test_util.h"

namespace korvel {
namespace {

using test::App;
using test::G;

// Row r: train, origin, terminus ... boarding station; rows below `filled` stay empty.
void Fill(ResultGrid& grid, int filled, const std::string& boardingOfRow1) {
    grid.Reset();
    if (filled > grid.RowCount()) grid.SetRowCount(filled);
    for (int r = 0; r < filled; ++r) {
        grid.SetCell(0, r, "K" + std::to_string(100 + r));
        grid.SetCell(1, r, G("北京"));
        grid.SetCell(2, r, G("上海"));
        grid.SetCell(4, r, G("天津"));
        grid.SetCell(5, r, "08:0" + std::to_string(r % 10));
    }
    if (filled > 0) grid.SetCell(4, 0, G("北京"));  // origin = boarding: red
    if (filled > 1) grid.SetCell(4, 1, boardingOfRow1);
    grid.SetShownCount(filled);
}

QColor Foreground(const ui::ResultGridModel& m, int row) {
    return m.data(m.index(row, 3), Qt::ForegroundRole).value<QBrush>().color();
}

TEST(ResultGridModelTest, StaysConsistentThroughResetsGrowthAndSelection) {
    App();
    ResultGrid grid;
    ui::ResultGridModel model;
    model.SetGrid(&grid);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    EXPECT_EQ(model.rowCount(), ResultGrid::kInitialRows);
    EXPECT_EQ(model.columnCount(), 15);
    Fill(grid, 30, G("济南"));
    model.Refresh();
    EXPECT_EQ(model.rowCount(), 30);
    grid.Select(4);
    model.Refresh();
    Fill(grid, 3, G("济南"));
    model.Refresh();
    EXPECT_EQ(model.rowCount(), ResultGrid::kMinRows);
    model.SetGrid(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(ResultGridModelTest, ShowsGbkCellsCentredAndOnlyFilledRowsSelectable) {
    App();
    ResultGrid grid;
    Fill(grid, 2, G("济南"));
    grid.SetCell(1, 1, std::string("\xF8\xB3", 2));  // a user-defined-area character
    ui::ResultGridModel model;
    model.SetGrid(&grid);

    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("北京"));
    EXPECT_EQ(ui::GbkFromQString(model.data(model.index(1, 1)).toString()),
              std::string("\xF8\xB3", 2));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignCenter);
    EXPECT_TRUE(model.flags(model.index(1, 7)) & Qt::ItemIsSelectable);
    EXPECT_FALSE(model.flags(model.index(2, 0)) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model.flags(model.index(2, 0)) & Qt::ItemIsEnabled);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(ResultGridModelTest, RowColoursFollowBoardingStationAndTransferStation) {
    App();
    ResultGrid grid;
    Fill(grid, 3, G("济南"));
    std::string transfer;
    ui::ResultGridModel model;
    model.SetGrid(&grid);
    model.SetTransferStation([&] { return transfer; });

    EXPECT_EQ(Foreground(model, 0), QColor(0xFF, 0, 0));
    const QColor windowText = QApplication::palette().color(QPalette::Active, QPalette::WindowText);
    EXPECT_EQ(Foreground(model, 1), windowText);
    transfer = G("济南");
    EXPECT_EQ(Foreground(model, 1), QColor(0, 0, 0xFF));
    EXPECT_EQ(Foreground(model, 2), windowText);
    // Empty rows: column 4 equals column 1 (both empty), so the rule paints them red; they
    // hold no text, so nothing shows.
    EXPECT_EQ(model.data(model.index(5, 0)).toString(), QString());

    const QColor background = ui::ResultGridModel::GridBackground();
    EXPECT_EQ(background, QColor(0xFF, 0xFD, 0xF4));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::BackgroundRole).value<QBrush>().color(),
              background);

    // The selected row: highlight with white text, whatever its colour.
    grid.Select(0);
    EXPECT_EQ(Foreground(model, 0), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(model.data(model.index(0, 0), Qt::BackgroundRole).value<QBrush>().color(),
              ui::ResultGridModel::SelectedBackground());
    EXPECT_TRUE(model.data(model.index(0, 9), ui::ResultGridModel::SelectedRole).toBool());
    EXPECT_FALSE(model.data(model.index(1, 9), ui::ResultGridModel::SelectedRole).toBool());
}

class ResultTableViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        Fill(grid, 20, G("济南"));
        model.SetGrid(&grid);
        view = std::make_unique<ui::ResultTableView>();
        view->setModel(&model);
        for (int c = 0; c < 15; ++c) view->setColumnWidth(c, ui::ResultColumnWidths()[c] + 1);
        view->resize(960, 305);
        view->show();
        view->selectCell = [this](int column, int row) {
            clicks.push_back({column, row});
            grid.Select(row);
            model.Refresh();
        };
        view->wheelStep = [this](bool up) { wheel.push_back(up); };
        view->doubleClicked = [this] { ++doubleClicks; };
        QApplication::processEvents();
    }
    QPoint CellCentre(int column, int row) {
        return view->visualRect(model.index(row, column)).center();
    }
    void Wheel(int delta) {
        const QPoint pos(30, 30);
        QWheelEvent e(pos, view->viewport()->mapToGlobal(pos), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &e);
    }

    ResultGrid grid;
    ui::ResultGridModel model;
    std::unique_ptr<ui::ResultTableView> view;
    std::vector<std::pair<int, int>> clicks;
    std::vector<bool> wheel;
    int doubleClicks = 0;
};

TEST_F(ResultTableViewTest, RowsAreEighteenPixelsWithGridLineAndFifteenVisible) {
    EXPECT_EQ(view->rowHeight(0), ui::kResultRowHeight + 1);
    EXPECT_EQ(view->VisibleRows(), 15);
    EXPECT_EQ(view->columnWidth(0), 98);
    EXPECT_EQ(view->columnWidth(14), 71);
}

TEST_F(ResultTableViewTest, ClicksAndDoubleClicksGoToTheHandlers) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(6, 2));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0], std::make_pair(6, 2));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CellCentre(6, 2));
    EXPECT_EQ(doubleClicks, 1);
    // The view keeps no selection of its own: the grid model holds the one selected row.
    EXPECT_FALSE(view->selectionModel()->hasSelection());
}

TEST_F(ResultTableViewTest, KeysAskForNeighbouringRowsAndStopAtTheLastFilledRow) {
    grid.Select(3);
    model.Refresh();
    QTest::keyClick(view.get(), Qt::Key_Down);
    QTest::keyClick(view.get(), Qt::Key_Up);
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[0].second, 4);
    EXPECT_EQ(clicks[1].second, 3);

    Fill(grid, 5, G("济南"));  // 16 rows, 5 filled
    grid.Select(1);
    model.Refresh();
    QTest::keyClick(view.get(), Qt::Key_End);
    EXPECT_EQ(clicks.back().second, 4);
    QTest::keyClick(view.get(), Qt::Key_Home);
    EXPECT_EQ(clicks.back().second, 0);
}

TEST_F(ResultTableViewTest, WheelNotchesBecomeSingleSteps) {
    Wheel(120);
    Wheel(-240);
    Wheel(60);  // half a notch: nothing yet
    ASSERT_EQ(wheel.size(), 3u);
    EXPECT_TRUE(wheel[0]);
    EXPECT_FALSE(wheel[1]);
    EXPECT_FALSE(wheel[2]);
    Wheel(60);
    ASSERT_EQ(wheel.size(), 4u);
    EXPECT_TRUE(wheel[3]);
}

TEST_F(ResultTableViewTest, ScrollingFollowsTheGridsTopRowAndReportsUserScrolls) {
    int reported = -1;
    view->scrolledTo = [&](int top) { reported = top; };
    view->ScrollToTopRow(3);
    EXPECT_EQ(view->TopRow(), 3);
    EXPECT_EQ(reported, -1);  // programmatic: not reported back
    view->verticalScrollBar()->setValue(5);
    EXPECT_EQ(reported, 5);
}

int PixelsOf(const QImage& image, const QRect& rect, const std::function<bool(QRgb)>& is) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) n += is(image.pixel(x, y));
    }
    return n;
}

TEST_F(ResultTableViewTest, PaintsRedRowsAndTheSelectedRowInHighlight) {
    std::string transfer = G("济南");
    model.SetTransferStation([&] { return transfer; });
    grid.Select(2);
    model.Refresh();
    QApplication::processEvents();
    const QImage image = view->viewport()->grab().toImage();
    auto rowRect = [&](int row) {
        return view->visualRect(model.index(row, 0)).united(view->visualRect(model.index(row, 14)));
    };
    auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80; };
    auto blue = [](QRgb p) { return qBlue(p) > 200 && qRed(p) < 80 && qGreen(p) < 80; };
    const QColor hi = ui::ResultGridModel::SelectedBackground();
    auto highlight = [&](QRgb p) { return QColor(p) == hi; };
    auto white = [](QRgb p) { return qRed(p) > 245 && qGreen(p) > 245 && qBlue(p) > 245; };

    EXPECT_GT(PixelsOf(image, rowRect(0), red), 20);
    EXPECT_EQ(PixelsOf(image, rowRect(0), blue), 0);
    EXPECT_GT(PixelsOf(image, rowRect(1), blue), 20);
    EXPECT_EQ(PixelsOf(image, rowRect(1), red), 0);
    EXPECT_GT(PixelsOf(image, rowRect(2), highlight), rowRect(2).width() * 10);
    EXPECT_GT(PixelsOf(image, rowRect(2), white), 20);
    EXPECT_EQ(PixelsOf(image, rowRect(3), red) + PixelsOf(image, rowRect(3), blue), 0);
    // Cells are filled with the grid colour, text centred inside them.
    const QRect cell = view->visualRect(model.index(3, 3));
    EXPECT_EQ(QColor(image.pixel(cell.left() + 2, cell.top() + 2)), QColor(0xFF, 0xFD, 0xF4));
}

}  // namespace
}  // namespace korvel
