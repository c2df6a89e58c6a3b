// The main window's timetable panel: the column bands and header labels, the result grid
// with its handlers, and the result line with the filter boxes.
#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QMenu>
#include <algorithm>
#include <numeric>
#include <set>
#include <utility>

#include "online/qt/web_panels_qt.h"
#include "ui/dialogs/copy_rows.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/journey_dialog.h"
#include "ui/dialogs/window_fit.h"
#include "ui/main_window.h"
#include "ui/main_window_parts.h"
#include "ui/result_table.h"

namespace korvel::ui {

using namespace window;

void MainWindow::BuildTimetablePanel() {
    auto* p1 = new QFrame(scroll_->Canvas());
    p1->setObjectName(QStringLiteral("P1"));
    p1->setGeometry(0, kTopBarHeight, kClientWidth,
                    kClientHeight - kTopBarHeight - kStatusBarHeight);
    FillBackground(p1, Rgb(0xE3EFF3));
    p1_ = p1;

    // Section headings over groups of columns.
    struct Band {
        const char* name;
        const char* caption;
        int first, last;
    };
    const Band bands[3] = {{"TrainNote", "列  车  信  息", 0, 3},
                           {"SectionNote", "查  询  区  间", 4, 10},
                           {"FaresNote", "参  考  票  价", 11, 14}};
    for (const Band& b : bands) {
        auto* l = new QLabel(Q(b.caption), p1);
        l->setObjectName(QString::fromLatin1(b.name));
        l->setFont(SongFont(14));
        l->setAlignment(Qt::AlignCenter);
        FillBackground(l, Rgb(0xFEFCDA));
        const int left = ColumnLeft(b.first);
        l->setGeometry(left, kBandTop, ColumnLeft(b.last + 1) - left - 1, kStripHeight);
        bands_.push_back({l, b.first, b.last});
    }

    const HeaderLabels plain = MainHeaderLabels();
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        auto* l = new ClickLabel(QStringFromGbk(plain.Caption(c)), p1);
        l->setObjectName(QStringLiteral("Lab%1").arg(c + 1));
        l->setProperty("tag", 33);  // a sortable column header
        l->setAlignment(Qt::AlignCenter);
        FillBackground(l, Rgb(0xF2F2F9));
        l->setGeometry(ColumnLeft(c), kHeaderTop, ResultColumnWidths()[c], kStripHeight);
        l->setCursor(Qt::PointingHandCursor);
        headers_[c] = l;
    }

    model_ = new ResultGridModel(this);
    model_->SetGrid(&controller_->Grid());
    model_->SetTransferStation([this] { return controller_->TransferStation(); });
    grid_ = new ResultTableView(p1);
    grid_->setObjectName(QStringLiteral("ResultGridView"));
    grid_->setModel(model_);
    grid_->setGeometry(kGridLeft, kGridTop, kGridWidth, kGridHeight);
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        grid_->setColumnWidth(c, ResultColumnWidths()[c] + 1);
    }
    grid_->setToolTip(Q("双击鼠标，可查看详细车次信息\n鼠标右键，弹出高级菜单"));

    BuildQueryBoxes(p1);
    BuildResultLine(p1);
}

void MainWindow::RememberBelowGrid() {
    belowGrid_.clear();
    for (QObject* child : p1_->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && !w->isWindow() && w->y() >= kGridTop + kGridHeight)
            belowGrid_.push_back({w, w->pos()});
    }
}

void MainWindow::LayOut(QSize canvas) {
    // Height: a taller window gives its room to the grid. A shorter one (a small or strongly
    // scaled screen) first gives up the start page under the query boxes, then grid rows
    // down to a few, so that the header, the boxes, 结果 and the status bar stay in view and
    // only the grid scrolls; below that the whole window scrolls.
    const int deficit = std::max(0, kClientHeight - canvas.height());
    const int pageCut = std::min(deficit, kStartPageHeight);
    const int dy = canvas.height() - kClientHeight + pageCut;
    // Width: a wider window widens the columns, each by its share.
    const int dx = std::max(0, canvas.width() - kClientWidth);
    const std::vector<int>& base = ResultColumnWidths();
    const int baseTotal = std::accumulate(base.begin(), base.end(), 0);
    std::vector<int> widths(base.size());
    int given = 0;
    for (std::size_t c = 0; c < base.size(); ++c) {
        widths[c] = base[c] + dx * base[c] / baseTotal;
        given += widths[c] - base[c];
    }
    widths.back() += dx - given;
    std::vector<int> lefts(base.size() + 1, kGridLeft + 1);
    for (std::size_t c = 0; c < base.size(); ++c) lefts[c + 1] = lefts[c] + widths[c] + 1;
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        grid_->setColumnWidth(c, widths[c] + 1);
        headers_[c]->setGeometry(lefts[c], kHeaderTop, widths[c], kStripHeight);
    }
    for (const auto& [band, first, last] : bands_)
        band->setGeometry(lefts[first], kBandTop, lefts[last + 1] - lefts[first] - 1, kStripHeight);

    top_->resize(canvas.width(), kTopBarHeight);
    logo_->move(841 + dx, logo_->y());
    p1_->setGeometry(0, kTopBarHeight, canvas.width(),
                     canvas.height() - kTopBarHeight - kStatusBarHeight);
    grid_->resize(kGridWidth + dx, kGridHeight + dy);
    for (const auto& [w, at] : belowGrid_) w->move(at.x(), at.y() + dy);
    if (QWidget* page = p1_->findChild<QWidget*>(QStringLiteral("StartPagePanel"),
                                                 Qt::FindDirectChildrenOnly)) {
        page->resize(kGridWidth + 3 + dx, kStartPageHeight - pageCut);
        page->setVisible(kStartPageHeight - pageCut >= kStripHeight);
    }
    statusBar_->setGeometry(0, canvas.height() - kStatusBarHeight, canvas.width(),
                            kStatusBarHeight);
    QLabel* last = statusPanels_.back();
    last->resize(std::max(canvas.width() - last->x(), 50), last->height());
}

void MainWindow::BuildResultLine(QWidget* p1) {
    constexpr int y = 400;
    resultLabel_ = new QLabel(QStringFromGbk(ResultLabelText(0)), p1);
    resultLabel_->setObjectName(QStringLiteral("ResultLabel"));
    resultLabel_->setFont(SongFont(14));
    SetTextColour(resultLabel_, Rgb(0x0000FF));
    resultLabel_->setGeometry(16, y, 100, 20);

    auto* filterCaption = PlainLabel(p1, Q("当前结果过滤:"), {120, y + 3});
    filterCaption->setObjectName(QStringLiteral("FilterCaption"));

    struct Box {
        QCheckBox** target;
        const char* name;
        const char* caption;
        int x;
    };
    const Box boxes[4] = {{&originatesFilter_, "OriginatesFilter", "始发车", 206},
                          {&terminatesFilter_, "TerminatesFilter", "终到车", 272},
                          {&exactNamesFilter_, "ExactNamesFilter", "精确站名", 338},
                          {&emuOnlyFilter_, "EmuOnlyFilter", "仅动车", 416}};
    for (const Box& b : boxes) {
        auto* cb = new QCheckBox(Q(b.caption), p1);
        cb->setObjectName(QString::fromLatin1(b.name));
        cb->move(b.x, y + 1);
        cb->adjustSize();
        *b.target = cb;
    }
    BuildTimeClassFilter(p1, emuOnlyFilter_->geometry().right() + 8, y);

    newVersionLabel_ = new QLabel(Q("版本检测中..."), p1);
    newVersionLabel_->setObjectName(QStringLiteral("NewVersionLabel"));
    SetTextColour(newVersionLabel_, Rgb(0x0000FF));
    newVersionLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    newVersionLabel_->setGeometry(490, y + 1, 384, 18);
    // Its box reaches under the time and class filters; only its right-aligned text shows.
    newVersionLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    newVersionLabel_->lower();

    updateButton_ = QueryButton(p1, "UpdateButton", "版本升级", {880, y - 4, 94, 27});
    updateButton_->setIconSize(QSize(23, 23));
    updateButton_->setToolTip(
        Q("版本升级：在浏览器中打开程序的下载页（更新时刻表在“高级”菜单中）"));
}

void MainWindow::WireGrid() {
    MainController& c = *controller_;

    // `clicked` is the user's click only; the controller's SetChecked stays silent.
    for (QCheckBox* cb :
         {originatesFilter_, terminatesFilter_, exactNamesFilter_, emuOnlyFilter_}) {
        connect(cb, &QCheckBox::clicked, this, [&c] { c.FilterClicked(); });
    }
    for (int i = 0; i < ResultGrid::kColumns; ++i) {
        headers_[i]->clicked = [&c, i] { c.HeaderClicked(i + 1); };
    }

    grid_->selectCell = [this, &c](int column, int row) {
        // A row chosen by the keyboard is scrolled into view, as the grid's current cell.
        if (c.SelectGridRow(column, row)) {
            c.KeepGridRowVisible(row, grid_->VisibleRows());
            anchorRow_ = row;
        }
        GridChanged();
    };
    grid_->extendSelection = [this](int row, bool toggle) { ExtendGridSelection(row, toggle); };
    grid_->selectAllRows = [this, &c] {
        std::set<int> all;
        for (int r = 0; r < c.ShownCount(); ++r) all.insert(r);
        model_->SetChosenRows(std::move(all));
    };
    grid_->wheelStep = [this, &c](bool up) {
        // Scrolling keeps the rows chosen.
        const bool keep = std::exchange(keepChosen_, true);
        if (up) {
            c.GridWheelUp(grid_->VisibleRows());
        } else {
            c.GridWheelDown(grid_->VisibleRows());
        }
        GridChanged();
        keepChosen_ = keep;
    };
    grid_->doubleClicked = [&c] { c.GridDoubleClicked(); };
    AddCopyShortcut(grid_, [this, &c] {
        std::vector<std::string> titles;
        for (int i = 0; i < ResultGrid::kColumns; ++i)
            titles.push_back(LayoutTitle(GridLayout::Main, i));
        if (model_->HasChosenRows()) {
            const std::set<int>& chosen = model_->ChosenRows();
            return GridRowsText(c.Grid(), titles, std::vector<int>(chosen.begin(), chosen.end()),
                                c.ShownCount());
        }
        return GridRowsText(c.Grid(), titles, c.ShownCount());
    });
    grid_->enterPressed = [&c] { c.GridKeyPressed('\r'); };
    grid_->contextMenuAt = [this](const QPoint& pos) { advancedMenu_->popup(pos); };
    grid_->scrolledTo = [this, &c](int top) {
        // The scroll position is the view's own state kept in the grid model, so that the
        // wheel rule scrolls on from where the user left the scroll bar.
        const bool keep = std::exchange(keepChosen_, true);
        c.GridScrolled(top, grid_->VisibleRows());
        keepChosen_ = keep;
    };
}

void MainWindow::ExtendGridSelection(int row, bool toggle) {
    MainController& c = *controller_;
    if (!c.Grid().CanSelect(row)) return;
    std::set<int> chosen = model_->ChosenRows();
    const std::optional<int> current = c.Grid().Selection();
    if (!model_->HasChosenRows() && current) chosen.insert(*current);
    if (toggle) {
        // Ctrl-click: the row joins the chosen rows, or leaves them.
        if (!chosen.erase(row)) chosen.insert(row);
        anchorRow_ = row;
    } else {
        // Shift: every row from the last one picked alone to this one.
        const int anchor = anchorRow_ >= 0 ? anchorRow_ : current.value_or(row);
        chosen.clear();
        for (int r = std::min(anchor, row); r <= std::max(anchor, row); ++r) {
            if (c.Grid().CanSelect(r)) chosen.insert(r);
        }
    }
    // The clicked row becomes the grid's own selected row too (what Enter opens).
    const bool keep = std::exchange(keepChosen_, true);
    if (c.SelectGridRow(0, row)) c.KeepGridRowVisible(row, grid_->VisibleRows());
    GridChanged();
    keepChosen_ = keep;
    model_->SetChosenRows(std::move(chosen));
}

void MainWindow::GridChanged() {
    // New rows, another order or a single pick: rows chosen before no longer hold.
    if (!keepChosen_) model_->ClearChosenRows();
    model_->Refresh();
    // Ctrl+P and Ctrl+E work whenever there are rows to print or export.
    const bool any = controller_->ShownCount() > 0;
    SetEnabled(Control::PrintItem, any);
    SetEnabled(Control::ExportItem, any);
    if (QAction* preview = AdvancedMenuAction(advancedMenu_, QStringLiteral("PreviewItem")))
        preview->setEnabled(any);
    grid_->ScrollToTopRow(controller_->Grid().TopRow());
    grid_->viewport()->update();
}

void MainWindow::SetHeaderLabel(int column, const std::string& caption, bool bold) {
    if (column < 0 || column >= ResultGrid::kColumns) return;
    ClickLabel* l = headers_[column];
    const QString text = QStringFromGbk(caption);
    QFont f = font();
    f.setBold(bold);
    // A bold caption with its sort arrow can be wider than a narrow column ("停站↑" over
    // 32 px): the face steps down until the caption fits between the grid lines.
    const int room = l->width() - 2;
    while (f.pixelSize() > 8 && QFontMetrics(f).horizontalAdvance(text) > room) {
        f.setPixelSize(f.pixelSize() - 1);
    }
    l->setFont(f);
    l->setText(text);
}

void MainWindow::ShowTransferWindow(TransferWindowModel& model) {
    ShowTransferDialog(this, model);
}

void MainWindow::ShowDetailWindow(DetailWindowModel& model) {
    // A leg double-clicked in the journey window opens over that window: closing the train's
    // window brings the traveller back to the journeys, not to the main window.
    QWidget* over = this;
    auto* journey = findChild<JourneyDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (journey && journey->isActiveWindow()) over = journey;
    ShowDetailDialog(over, model, controller_->Map());
}

void MainWindow::ShowJourneyWindow(JourneyWindowModel& model) {
    ShowJourneyDialog(
        this, model,
        [this] {
            if (controller_) controller_->JourneyWindowClosed();
        },
        controller_->Map());
}

void MainWindow::JourneyWindowTimetableChanged() {
    if (auto* journey = findChild<JourneyDialog*>(QString(), Qt::FindDirectChildrenOnly))
        journey->TimetableChanged(controller_->Map());
}

std::optional<std::string> MainWindow::AskSaveFileName() {
    return AskExportPath(this);
}

void MainWindow::ShowExportOutcome(const std::string& path, int rows,
                                   const std::optional<ExportFailure>& failure) {
    ReportExport(this, path, rows, failure);
}

void MainWindow::PrintResultGrid(const TextGrid& grid, int rowCount) {
    PrintGridOnDefaultPrinter(this, grid, GridLayout::Main, rowCount, controller_->ResultHeading());
}

}  // namespace korvel::ui
