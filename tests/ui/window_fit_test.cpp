// The main window on any screen: placed inside the screen's available area, wrapping its
// controls on a narrow one where only the grid scrolls, scrolling what a tiny screen cannot
// show, giving a larger window's room to the result grid; and the printed station board
// measured in the printer's own font.
#include "ui/dialogs/window_fit.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>

#include "print_measure.h"
#include "support/main_window_test_util.h"
#include "ui/main_window_parts.h"
#include "ui/result_table.h"

namespace korvel {
namespace {

using test::G;

TEST(WindowFitTest, OpensInsideTheScreenAndScrollsToEveryControl) {
    test::App();
    ui::MainWindow w;
    w.startVersionCheck = [] {};
    w.show();
    QApplication::processEvents();
    const QRect area = w.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(w.frameGeometry())) << area.width() << "x" << area.height();
    // Narrower than its layout, down to the least the wrapped layout needs, the window does
    // not scroll sideways.
    if (w.width() >= ui::window::kNarrowWidth) {
        EXPECT_EQ(w.Scroller()->horizontalScrollBar()->maximum(), 0);
    }

    // A window smaller than the least its layout wraps to: the control that takes the focus
    // scrolls into view.
    w.resize(400, 300);
    QApplication::processEvents();
    QWidget* update = w.ControlWidget(Control::UpdateButton);
    update->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    const QRect shown = w.Scroller()->viewport()->rect();
    const QRect at(update->mapTo(w.Scroller()->viewport(), QPoint(0, 0)), update->size());
    EXPECT_TRUE(shown.contains(at)) << at.x() << "," << at.y();
    EXPECT_GT(w.Scroller()->horizontalScrollBar()->value(), 0);
}

QRect In(QWidget* w, QWidget* x) {
    return QRect(x->mapTo(w, QPoint(0, 0)), x->size());
}

// A 1366 x 768 screen scaled by 2 leaves the window about 675 x 348 of its pixels under a
// window manager's frame (less beside a desktop's panel). The query row wraps, the top bar
// gets compact, the grid scrolls sideways under its headers, and nothing else scrolls or
// overlaps.
TEST(WindowFitTest, ANarrowWindowWrapsItsControlsAndOnlyTheGridScrollsSideways) {
    auto w = test::LoadedWindow();
    w->SetText(Control::DepartureBox, G("北京"));
    w->SetText(Control::ArrivalBox, G("上海"));
    w->Controller().StationPairClicked(PairQuery::Direct);
    ASSERT_GT(w->Controller().ShownCount(), 10);
    for (const QSize size : {QSize(675, 348), QSize(ui::window::kNarrowWidth, 314)}) {
        w->resize(size);
        QApplication::processEvents();
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        EXPECT_EQ(w->Scroller()->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(w->Scroller()->verticalScrollBar()->maximum(), 0);
        const QRect window = w->rect();
        // Every control in view, none on another (the grid and the header strip aside).
        QWidget* p1 = w->ControlWidget(Control::ResultGridView)->parentWidget();
        QWidget* topBar = w->ToolButton(1)->parentWidget();
        QList<QWidget*> all = p1->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        all += topBar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        std::vector<QWidget*> controls;
        for (QWidget* x : all) {
            if (!x->isVisibleTo(w.get()) || x == w->Grid() ||
                x->objectName() == QStringLiteral("HeaderStrip"))
                continue;
            EXPECT_TRUE(window.contains(In(w.get(), x))) << x->objectName().toStdString();
            for (QWidget* y : controls) {
                EXPECT_FALSE(In(w.get(), x).intersects(In(w.get(), y)))
                    << x->objectName().toStdString() << " on " << y->objectName().toStdString();
            }
            controls.push_back(x);
        }
        for (int i : {0, 1, 4}) EXPECT_TRUE(window.contains(In(w.get(), w->StatusPanel(i))));
        EXPECT_TRUE(window.contains(In(w.get(), w->ControlWidget(Control::ResultLabel))));
        EXPECT_GE(w->Grid()->VisibleRows(), size.height() > 340 ? 5 : 3);
        EXPECT_TRUE(window.contains(In(w.get(), w->HeaderLabel(0))));

        // The grid scrolls sideways, its headers with it, cut off at its edges.
        QScrollBar* sideways = w->Grid()->horizontalScrollBar();
        ASSERT_GT(sideways->maximum(), 0);
        sideways->setValue(sideways->maximum());
        QApplication::processEvents();
        QWidget* viewport = w->Grid()->viewport();
        for (int c = 0; c < ResultGrid::kColumns; ++c) {
            const QPoint column =
                viewport->mapTo(w.get(), QPoint(w->Grid()->columnViewportPosition(c), 0));
            EXPECT_EQ(In(w.get(), w->HeaderLabel(c)).left(), column.x()) << c;
        }
        const QRect strip = In(w.get(), w->HeaderLabel(0)->parentWidget());
        EXPECT_LE(strip.right(), In(w.get(), viewport).right());
        EXPECT_TRUE(strip.contains(In(w.get(), w->HeaderLabel(14))));
        sideways->setValue(0);
    }
    // Back to the size it is drawn for: one row of controls, no sideways scroll bar.
    w->resize(ui::MainWindow::kClientWidth, ui::MainWindow::kClientHeight);
    QApplication::processEvents();
    EXPECT_EQ(w->Grid()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(w->ControlWidget(Control::StationBox)->parentWidget()->pos(), QPoint(626, 351));
    EXPECT_EQ(w->ControlWidget(Control::AboutButton)->pos(), QPoint(900, 367));
}

TEST(WindowFitTest, ALargerWindowGivesItsRoomToTheResultGrid) {
    auto w = test::NewWindow();
    const int gridHeight = w->Grid()->height();
    const QPoint result = w->ControlWidget(Control::ResultLabel)->pos();
    const QPoint header = w->HeaderLabel(0)->pos();
    w->resize(1200, 900);
    QApplication::processEvents();
    EXPECT_EQ(w->Grid()->height(), gridHeight + 900 - 681);
    EXPECT_EQ(w->ControlWidget(Control::ResultLabel)->pos(), result + QPoint(0, 900 - 681));
    EXPECT_EQ(w->HeaderLabel(0)->pos(), header);
    // The status bar stays at the bottom, its last panel reaching the right edge.
    const QRect last(w->StatusPanel(4)->mapTo(w.get(), QPoint(0, 0)), w->StatusPanel(4)->size());
    EXPECT_EQ(last.bottom(), 899);
    EXPECT_EQ(last.right(), 1199);
    EXPECT_EQ(w->Scroller()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(w->Scroller()->verticalScrollBar()->maximum(), 0);
    // The extra width goes to the columns: the headers stay over them, to the grid's edge.
    EXPECT_EQ(w->Grid()->width(), 960 + 1200 - 985);
    EXPECT_GT(w->HeaderLabel(14)->width(), ui::ResultColumnWidths()[14]);
    // The label ends where the column's grid line begins.
    QWidget* viewport = w->Grid()->viewport();
    const int columnEnd = w->Grid()->columnViewportPosition(14) + w->Grid()->columnWidth(14);
    EXPECT_EQ(In(w.get(), w->HeaderLabel(14)).right() + 2,
              viewport->mapTo(w.get(), QPoint(columnEnd, 0)).x());
}

// A short window (a small or scaled screen) gives up the start page, then grid rows: the
// headers, the boxes, 结果 and the status bar stay in view, and the window does not scroll.
TEST(WindowFitTest, AShortWindowKeepsEverythingButGridRowsInView) {
    auto w = test::NewWindow();
    w->resize(ui::MainWindow::kClientWidth, 420);
    QApplication::processEvents();
    EXPECT_EQ(w->Scroller()->verticalScrollBar()->maximum(), 0);
    EXPECT_GE(w->Grid()->height(), 5 * (ui::kResultRowHeight + 1));
    EXPECT_LT(w->Grid()->height(), 305);
    QWidget* result = w->ControlWidget(Control::ResultLabel);
    const QRect status(w->StatusPanel(4)->mapTo(w.get(), QPoint(0, 0)), w->StatusPanel(4)->size());
    EXPECT_EQ(status.bottom(), 419);
    EXPECT_LT(result->mapTo(w.get(), QPoint(0, result->height())).y(), status.top());
    EXPECT_GT(result->mapTo(w.get(), QPoint(0, 0)).y(),
              w->Grid()->mapTo(w.get(), QPoint(0, w->Grid()->height())).y());
}

// 郑州's board is long (hundreds of trains, names up to five characters, fares of three
// berths): in the printer's font, on every page, no text runs into another or over a line.
TEST(PrintedBoardTest, ZhengzhouStationBoardHasNoOverlappingColumns) {
    auto w = test::LoadedWindow();
    w->SetText(Control::StationBox, G("郑州"));
    w->Controller().StationClicked();
    const int rows = w->Controller().ShownCount();
    ASSERT_GT(rows, 200);
    EXPECT_EQ(w->Controller().ResultHeading(), G("车站全部车次：郑州"));

    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(dir.filePath(QStringLiteral("board.pdf")));
    QPainter painter(&printer);
    test::MeasuringCanvas canvas(painter, printer);
    const PageMetrics page = ui::PageMetricsOf(printer);
    const TextGrid& grid = w->Controller().Grid();
    // Measured while the painter is on the printer, as the print job measures.
    const PrintColumns cols = MeasurePrintColumns(grid, GridLayout::Main, rows, page, canvas);
    const int pages = PrintGrid(grid, GridLayout::Main, rows, page, PrintDate{2026, 12, 9}, canvas,
                                w->Controller().ResultHeading());
    EXPECT_GT(pages, 5);
    EXPECT_FALSE(cols.cut);
    EXPECT_GT(test::ExpectNoOverlap(canvas, page.width, page.dpiX / 3, cols.edges), rows * 15);
    int headed = 0;
    for (const auto& t : canvas.texts) headed += t.text == w->Controller().ResultHeading();
    EXPECT_EQ(headed, pages);
    // The first page left as a picture for a look.
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                       QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                       QStringLiteral("1"), QStringLiteral("-singlefile"), printer.outputFileName(),
                       test::ShotDir() + QStringLiteral("/printed_board_page")});
}

}  // namespace
}  // namespace korvel
