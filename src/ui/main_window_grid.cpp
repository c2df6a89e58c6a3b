// The main window's timetable panel: the column bands and header labels, the result grid
// with its handlers, and the result line with the filter boxes.
#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
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

    headerStrip_ = new QWidget(p1);
    headerStrip_->setObjectName(QStringLiteral("HeaderStrip"));
    headerStrip_->setGeometry(kGridLeft + 1, kBandTop, kGridWidth - 2,
                              kHeaderTop + kStripHeight - kBandTop);

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
        auto* l = new QLabel(Q(b.caption), headerStrip_);
        l->setObjectName(QString::fromLatin1(b.name));
        l->setFont(SongFont(14));
        l->setAlignment(Qt::AlignCenter);
        FillBackground(l, Rgb(0xFEFCDA));
        bands_.push_back({l, b.first, b.last});
    }

    const HeaderLabels plain = MainHeaderLabels();
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        auto* l = new ClickLabel(QStringFromGbk(plain.Caption(c)), headerStrip_);
        l->setObjectName(QStringLiteral("Lab%1").arg(c + 1));
        l->setProperty("tag", 33);  // a sortable column header
        l->setAlignment(Qt::AlignCenter);
        FillBackground(l, Rgb(0xF2F2F9));
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
    // Sideways (a narrow window) the grid moves by pixels, its headers with it.
    grid_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        grid_->setColumnWidth(c, ResultColumnWidths()[c] + 1);
    }
    grid_->setToolTip(Q("双击鼠标，可查看详细车次信息\n鼠标右键，弹出高级菜单"));
    connect(grid_->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { PlaceHeaders(); });
    PlaceHeaders();

    BuildQueryBoxes(p1);
    BuildResultLine(p1);
}

void MainWindow::PlaceHeaders() {
    // Each label covers its column without the grid line after it; a band covers its columns.
    auto left = [this](int c) { return grid_->columnViewportPosition(c); };
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        headers_[c]->setGeometry(left(c), kHeaderTop - kBandTop, grid_->columnWidth(c) - 1,
                                 kStripHeight);
    }
    for (const auto& [band, first, last] : bands_) {
        const int right = left(last) + grid_->columnWidth(last) - 1;
        band->setGeometry(left(first), 0, right - left(first), kStripHeight);
    }
}

void MainWindow::RememberBelowGrid() {
    belowGrid_.clear();
    for (QObject* child : p1_->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && !w->isWindow() && w->y() >= kGridTop + kGridHeight)
            belowGrid_.push_back({w, w->pos()});
    }
    resultLineRight_ = classToggles_.back()->geometry().right();
    filterShift_ = originatesFilter_->x() - filterCaption_->x();
}

QPoint MainWindow::NarrowPlace(QWidget* w, QPoint at, int width, int squeeze) const {
    // The query row wraps after 车次查询: 车站全部车次查询, 高级 and 关于 start a second row,
    // the version and 版本升级 end it at the right; the result line and the start page go
    // down by that row. A result line still too long for the window loses its caption.
    constexpr int row = kQueryTop + kWrapStep;
    const int advancedLeft = kGridLeft + stationGroup_->width() + 10;
    const int aboutLeft = advancedLeft + advancedButton_->width() + 10;
    if (w == stationGroup_) return {kGridLeft, row};
    if (w == advancedButton_) return {advancedLeft, row + 16};
    if (w == aboutButton_) return {aboutLeft, row + 16};
    if (w == updateButton_) return {width - 11 - updateButton_->width(), row + 14};
    if (w == newVersionLabel_) return {aboutLeft + aboutButton_->width() + 8, row + 19};
    if (at.y() < kResultLineTop - 4) return at;
    const bool onResultLine = at.y() < kResultLineTop + kStripHeight;
    const int captionLeft = filterCaption_->x();
    return {onResultLine && at.x() > captionLeft ? at.x() - squeeze : at.x(), at.y() + kWrapStep};
}

void MainWindow::LayOut(QSize canvas) {
    // Width: a window narrower than the layout (a small or strongly scaled screen) wraps the
    // query row in two, and its grid scrolls sideways under headers that follow it; a wider
    // one widens the columns, each by its share.
    const bool narrow = canvas.width() < kClientWidth;
    const int fullHeight = kClientHeight + (narrow ? kWrapStep : 0);
    // Height: a taller window gives its room to the grid. A shorter one (a small or strongly
    // scaled screen) first gives up the start page under the query boxes, then half the top
    // bar and grid rows down to a few, so that the header, the boxes, 结果 and the status bar
    // stay in view and only the grid scrolls; below that the whole window scrolls.
    const int deficit = std::max(0, fullHeight - canvas.height());
    const int pageCut = std::min(deficit, kStartPageHeight);
    const bool compact = deficit > kStartPageHeight;
    const int topBar = compact ? kCompactTopBarHeight : kTopBarHeight;
    const int dy = canvas.height() - fullHeight + pageCut + (kTopBarHeight - topBar);
    const int dx = canvas.width() - kClientWidth;
    const int grow = std::max(0, dx);
    const std::vector<int>& base = ResultColumnWidths();
    const int baseTotal = std::accumulate(base.begin(), base.end(), 0);
    std::vector<int> widths(base.size());
    int given = 0;
    for (std::size_t c = 0; c < base.size(); ++c) {
        widths[c] = base[c] + grow * base[c] / baseTotal;
        given += widths[c] - base[c];
    }
    widths.back() += grow - given;
    for (int c = 0; c < ResultGrid::kColumns; ++c) grid_->setColumnWidth(c, widths[c] + 1);
    grid_->setHorizontalScrollBarPolicy(narrow ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);

    PlaceTopBar(canvas.width(), compact);
    p1_->setGeometry(0, topBar, canvas.width(), canvas.height() - topBar - kStatusBarHeight);
    grid_->resize(kGridWidth + dx, kGridHeight + dy);
    // The strip ends where the grid's rows do, before its vertical scroll bar.
    const int bar = grid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_);
    headerStrip_->resize(grid_->width() - 2 * grid_->frameWidth() - bar, headerStrip_->height());
    PlaceHeaders();

    const int squeeze = narrow && resultLineRight_ + 8 > canvas.width() ? filterShift_ : 0;
    filterCaption_->setVisible(squeeze == 0);
    for (const auto& [w, at] : belowGrid_) {
        const QPoint to = narrow ? NarrowPlace(w, at, canvas.width(), squeeze) : at;
        w->move(to.x(), to.y() + dy);
    }
    // The version's text is right-aligned in its box, which ends at 版本升级.
    newVersionLabel_->resize(narrow ? updateButton_->x() - 6 - newVersionLabel_->x() : 384,
                             newVersionLabel_->height());
    if (QWidget* page = p1_->findChild<QWidget*>(QStringLiteral("StartPagePanel"),
                                                 Qt::FindDirectChildrenOnly)) {
        page->resize(kGridWidth + 3 + dx, kStartPageHeight - pageCut);
        page->setVisible(kStartPageHeight - pageCut >= kStripHeight);
    }
    statusBar_->setGeometry(0, canvas.height() - kStatusBarHeight, canvas.width(),
                            kStatusBarHeight);
    LayOutStatusBar(canvas.width());
}

void MainWindow::PlaceTopBar(int width, bool compact) {
    top_->resize(width, compact ? kCompactTopBarHeight : kTopBarHeight);
    for (std::size_t i = 0; i < toolButtons_.size(); ++i) {
        QToolButton* b = toolButtons_[i];
        b->setToolButtonStyle(compact ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonTextUnderIcon);
        b->setIconSize(compact ? QSize(37, 16) : QSize(74, 31));
        b->setGeometry(compact ? QRect(toolButtonAt_[i].x(), 5, 92, 28)
                               : QRect(toolButtonAt_[i], QSize(76, 52)));
    }
    // The logo keeps to the right edge (at half its size on a compact bar). In a narrow
    // window the ticket link moves left to make room for it, down to the toolbar buttons;
    // with still too little room the logo goes.
    const QSize logo = logo_pixmap_.isNull() ? QSize(143, 63) : logo_pixmap_.size();
    logo_->setScaledContents(compact);
    logo_->setGeometry(
        compact ? QRect(width - logo.width() / 2 - 8, 3, logo.width() / 2, logo.height() / 2)
                : QRect(width - (kClientWidth - 841), 5, logo.width(), logo.height()));
    const int linkLeft =
        std::clamp(logo_->x() - 12 - ticketLink_->width(), compact ? 412 : 400, 420);
    ticketLink_->move(linkLeft, compact ? 11 : 32);
    logo_->setVisible(logo_->x() >= linkLeft + ticketLink_->width() + 4);
}

void MainWindow::BuildResultLine(QWidget* p1) {
    constexpr int y = kResultLineTop;
    resultLabel_ = new QLabel(QStringFromGbk(ResultLabelText(0)), p1);
    resultLabel_->setObjectName(QStringLiteral("ResultLabel"));
    resultLabel_->setFont(SongFont(14));
    SetTextColour(resultLabel_, Rgb(0x0000FF));
    resultLabel_->setGeometry(16, y, 100, 20);

    filterCaption_ = PlainLabel(p1, Q("当前结果过滤:"), {120, y + 3});
    filterCaption_->setObjectName(QStringLiteral("FilterCaption"));

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
    auto* journey = findChild<JourneyDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (journey == nullptr) return;
    const LoadFlags& flags = controller_->Flags();
    bool in = true;
    for (LoadTable t : {LoadTable::KMPy, LoadTable::KMList, LoadTable::KMSM, LoadTable::KMTrain})
        in = in && flags.Loaded(t);
    journey->TimetableChanged(controller_->Map(), in);
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
