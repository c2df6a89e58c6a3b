#include "ui/dialogs/journey_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <optional>

#include "journey/journey_fares.h"
#include "qt_text/qt_text.h"
#include "ui/dialogs/copy_rows.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/grid_export_qt.h"
#include "ui/dialogs/journey_kept_options.h"
#include "ui/dialogs/leg_swap_dialog.h"
#include "ui/dialogs/settings.h"
#include "ui/dialogs/time_field.h"
#include "ui/dialogs/window_fit.h"
#include "ui/map/map_widget.h"
#include "ui/station_combo.h"

namespace korvel::ui {

namespace {

// Tree items keep their journey and leg (-1 for the summary row).
constexpr int kJourneyRole = Qt::UserRole;
// The least a window keeps: the option row's width, and a few rows of the list.
constexpr int kLeastWidth = 672;
constexpr int kLeastListHeight = 150;
constexpr int kLegRole = Qt::UserRole + 1;

constexpr int kColumnWidths[JourneyWindowModel::kColumns] = {120, 70, 58, 70, 62, 48, 36,
                                                             44,  46, 50, 46, 76, 62};

QLabel* Caption(QWidget* parent, const char* utf8, int x, int y) {
    auto* label = new QLabel(QString::fromUtf8(utf8), parent);
    label->setGeometry(x, y, label->sizeHint().width(), 20);
    return label;
}

QSpinBox* Minutes(QWidget* parent, const char* name, int value, QRect at) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, kMaxChangeMinutes);
    box->setValue(value);
    box->setSuffix(QString::fromUtf8("分"));
    box->setGeometry(at);
    return box;
}

// A cell with its whole text as the tooltip too, for a column the user narrowed.
void SetCell(QTreeWidgetItem* item, int column, const std::string& gbk) {
    const QString text = QStringFromGbk(gbk);
    item->setText(column, text);
    item->setToolTip(column, text);
}

QTime TimeOf(int minute) {
    return QTime(minute / 60, minute % 60);
}

int MinuteOf(const QTime& t) {
    return t.hour() * 60 + t.minute();
}

}  // namespace

JourneyDialog::JourneyDialog(JourneyWindowModel& model, QWidget* parent,
                             std::shared_ptr<const MapData> map)
    : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("JourneyDialog"));
    // A window of its own: the traveller keeps it open and goes on using the main window.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setModal(false);
    setFont(SongFont(12));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Rgb(0xE3EFF3));
    setPalette(palette);
    setAutoFillBackground(true);
    const MapTabs tabs = AddMapTabs(this, QString::fromUtf8("换乘方案"), std::move(map));
    tabs_ = tabs.tabs;
    map_ = tabs.map;
    // Drawn for 840 x 512: a larger window gives the journey list the room, a smaller one
    // takes it from the list down to a few rows and to its option row's width; only smaller
    // still does the window scroll.
    auto* scroll = new ScrollCanvas(tabs.firstPage ? tabs.firstPage : this,
                                    QSize(kLeastWidth, kListTop + kLeastListHeight + 48));
    QWidget* const canvas = scroll->Canvas();
    canvas->setAutoFillBackground(true);

    // Two empty boxes: the stations this window had when the program last closed.
    if (model_.From().empty() && model_.To().empty()) {
        model_.SetStations(GbkFromQString(KeptValue(QStringLiteral("journey/from")).toString()),
                           GbkFromQString(KeptValue(QStringLiteral("journey/to")).toString()));
    }
    RestoreJourneyOptions(model_.Options());
    BuildStationRow(canvas);
    BuildOptionRow(canvas);
    BuildList(canvas);
    Wire();
    connect(scroll, &ScrollCanvas::canvasResized, this, [this](QSize size) { LayOut(size); });
    setMinimumSize(320, 200);
    const int tabBar = tabs_ ? tabs_->tabBar()->sizeHint().height() : 0;
    FitToScreen(this, QSize(kClientWidth, kClientHeight + tabBar));
    // Where the traveller left it last time, as long as that is still on a screen.
    RestoreWindowPlace(this, QStringLiteral("journey/geometry"));

    setWindowTitle(QStringFromGbk(model_.Caption()));
    if (!model_.CheckStations()) model_.Search();
    Fill();
    fromBox_->setFocus(Qt::OtherFocusReason);
}

JourneyDialog::~JourneyDialog() {
    Keep(QStringLiteral("journey/geometry"), saveGeometry());
    Keep(QStringLiteral("journey/from"), fromBox_->currentText());
    Keep(QStringLiteral("journey/to"), toBox_->currentText());
}

void JourneyDialog::BuildStationRow(QWidget* canvas) {
    // As in the main window's station group: 发站, 到站, 查询, 反向, in that tab order.
    auto* fromLabel = new QLabel(QString::fromUtf8("发站"), canvas);
    fromLabel->setGeometry(10, 14, 28, 20);
    fromBox_ = new StationCombo(canvas);
    fromBox_->setObjectName(QStringLiteral("DepartureBox"));
    fromBox_->setGeometry(40, 13, 110, 22);
    auto* toLabel = new QLabel(QString::fromUtf8("到站"), canvas);
    toLabel->setGeometry(160, 14, 28, 20);
    toBox_ = new StationCombo(canvas);
    toBox_->setObjectName(QStringLiteral("ArrivalBox"));
    toBox_->setGeometry(190, 13, 110, 22);
    const QStringList twelve(12, QString());
    for (StationCombo* box : {fromBox_, toBox_}) box->SetItems(twelve);
    fromBox_->SetTextQuietly(QStringFromGbk(model_.From()));
    toBox_->SetTextQuietly(QStringFromGbk(model_.To()));

    search_ = new QPushButton(QString::fromUtf8("查询"), canvas);
    search_->setObjectName(QStringLiteral("SearchButton"));
    search_->setGeometry(312, 11, 64, 26);
    search_->setDefault(true);
    swap_ = new QPushButton(QString::fromUtf8("反向"), canvas);
    swap_->setObjectName(QStringLiteral("SwapButton"));
    swap_->setGeometry(382, 11, 64, 26);
    swap_->setAutoDefault(false);

    Caption(canvas, "票价", 470, 14);
    fare_ = new QComboBox(canvas);
    fare_->setObjectName(QStringLiteral("FareClass"));
    fare_->addItem(QString::fromUtf8("不限"));
    for (const std::string& name : FareClassNames()) fare_->addItem(QStringFromGbk(name));
    const std::optional<FareClass> chosen = model_.Options().fareClass;
    fare_->setCurrentIndex(chosen ? static_cast<int>(*chosen) + 1 : 0);
    fare_->setGeometry(500, 12, 70, 24);
}

void JourneyDialog::BuildOptionRow(QWidget* canvas) {
    constexpr int y = 46;
    const JourneyOptions& o = model_.Options();
    // Whether the window holds the departures or the arrivals ("arrive by").
    windowOf_ = new QComboBox(canvas);
    windowOf_->setObjectName(QStringLiteral("WindowOf"));
    windowOf_->addItems({QString::fromUtf8("出发时间"), QString::fromUtf8("到达时间")});
    windowOf_->setCurrentIndex(o.windowOf == JourneyWindowOf::Arrival ? 1 : 0);
    windowOf_->setGeometry(8, y, 80, 24);
    start_ = new TimeField(TimeOf(o.windowStart), canvas);
    start_->setObjectName(QStringLiteral("TimeStart"));
    start_->setGeometry(92, y, 62, 24);
    Caption(canvas, "至", 160, y + 2);
    end_ = new TimeField(TimeOf(o.windowEnd), canvas);
    end_->setObjectName(QStringLiteral("TimeEnd"));
    end_->setGeometry(176, y, 62, 24);
    Caption(canvas, "最多换乘", 254, y + 2);
    maxChanges_ = new QSpinBox(canvas);
    maxChanges_->setObjectName(QStringLiteral("MaxChanges"));
    maxChanges_->setRange(0, kMaxJourneyTransfers);
    maxChanges_->setValue(o.maxTransfers);
    maxChanges_->setSuffix(QString::fromUtf8("次"));
    maxChanges_->setGeometry(308, y, 52, 24);
    // Close enough to fit a 683 px wide screen (1366 x 768 at 2x).
    Caption(canvas, "同站换乘至少", 370, y + 2);
    minTransfer_ = Minutes(canvas, "MinTransfer", o.minTransfer, {446, y, 64, 24});
    Caption(canvas, "同城换乘至少", 522, y + 2);
    cityTransfer_ = Minutes(canvas, "CityTransfer", o.cityTransfer, {598, y, 64, 24});
}

void JourneyDialog::BuildList(QWidget* canvas) {
    tree_ = new QTreeWidget(canvas);
    tree_->setObjectName(QStringLiteral("JourneyTree"));
    tree_->setGeometry(12, kListTop, kClientWidth - 24, kClientHeight - kListTop - 48);
    tree_->setColumnCount(JourneyWindowModel::kColumns);
    QStringList titles;
    for (const std::string& t : JourneyWindowModel::ColumnTitles()) titles << QStringFromGbk(t);
    tree_->setHeaderLabels(titles);
    for (int c = 0; c < JourneyWindowModel::kColumns; ++c)
        tree_->setColumnWidth(c, kColumnWidths[c]);
    tree_->setRootIsDecorated(true);
    // Shift- and Ctrl-clicks and Ctrl+A choose several rows for Ctrl+C.
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setAlternatingRowColors(true);
    tree_->setUniformRowHeights(true);
    tree_->header()->setSectionsClickable(true);
    tree_->header()->setSortIndicatorShown(true);
    tree_->header()->setStretchLastSection(false);

    status_ = new QLabel(canvas);
    status_->setObjectName(QStringLiteral("StatusLabel"));
    status_->setGeometry(14, kClientHeight - 38, 560, 24);
    print_ = new QPushButton(QString::fromUtf8("打印"), canvas);
    print_->setObjectName(QStringLiteral("PrintButton"));
    print_->setGeometry(kClientWidth - 246, kClientHeight - 40, 64, 30);
    print_->setToolTip(QString::fromUtf8("打印列出的换乘方案 (Ctrl+P)"));
    export_ = new QPushButton(QString::fromUtf8("导出"), canvas);
    export_->setObjectName(QStringLiteral("ExportButton"));
    export_->setGeometry(kClientWidth - 176, kClientHeight - 40, 64, 30);
    export_->setToolTip(QString::fromUtf8("把列出的换乘方案存为 CSV 文件 (Ctrl+E)"));
    close_ = new QPushButton(QString::fromUtf8("关闭"), canvas);
    close_->setObjectName(QStringLiteral("CloseButton"));
    close_->setGeometry(kClientWidth - 102, kClientHeight - 40, 90, 30);
    for (QPushButton* b : {print_, export_, close_}) b->setAutoDefault(false);
    status_->resize(kClientWidth - 276, 24);
}

void JourneyDialog::Wire() {
    for (StationCombo* box : {fromBox_, toBox_})
        box->userChanged = [this, box] { BoxChanged(box); };
    // Enter moves on, as in the main window: 发站 to 到站, 到站 to 查询.
    fromBox_->enterPressed = [this] { toBox_->setFocus(Qt::OtherFocusReason); };
    toBox_->enterPressed = [this] { search_->setFocus(Qt::OtherFocusReason); };
    AddCopyShortcut(tree_, [this] { return CopyText(); });
    connect(search_, &QPushButton::clicked, this, [this] { SearchClicked(); });
    connect(swap_, &QPushButton::clicked, this, [this] { SwapClicked(); });
    connect(export_, &QPushButton::clicked, this, [this] { ExportClicked(); });
    connect(print_, &QPushButton::clicked, this, [this] { PrintClicked(); });
    AddWindowShortcut(this, QKeySequence::Print, [this] {
        if (print_->isEnabled()) PrintClicked();
    });
    AddWindowShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_E), [this] {
        if (export_->isEnabled()) ExportClicked();
    });
    KeepWindowKeysFromTextBoxes(this, QKeySequence(Qt::CTRL | Qt::Key_E));
    // Whatever changes after a search leaves its answer on show for another question.
    for (StationCombo* box : {fromBox_, toBox_}) {
        connect(box->lineEdit(), &QLineEdit::textChanged, this, [this] { MarkStale(); });
    }
    for (QComboBox* c : {windowOf_, fare_})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { MarkStale(); });
    for (QTimeEdit* t : {start_, end_})
        connect(t, &QTimeEdit::timeChanged, this, [this] { MarkStale(); });
    for (QSpinBox* b : {maxChanges_, minTransfer_, cityTransfer_})
        connect(b, &QSpinBox::valueChanged, this, [this] { MarkStale(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    connect(tree_->header(), &QHeaderView::sectionClicked, this, [this](int c) { HeaderClick(c); });
    // Activation is the double-click (and Enter on the current row); listening to the
    // double-click as well would open the window twice.
    connect(tree_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item, int) { OnDoubleClick(item); });
    // The map follows the journey chosen in the list.
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) ShowOnMap(item->data(0, kJourneyRole).toInt());
    });
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { LegMenu(at); });
}

void JourneyDialog::BoxChanged(StationCombo* box) {
    const QString text = box->currentText();
    const ComboChangeResult change = model_.BoxChanged(GbkFromQString(text));
    const QString trimmed = QStringFromGbk(change.text);
    if (trimmed != text) box->SetTextQuietly(trimmed);
    box->SetCaretToEnd();
    if (change.action == ComboListAction::Leave) return;
    QStringList items;
    for (const std::string& item : change.items) items << QStringFromGbk(item);
    box->SetItems(items);
    box->SetCaretToEnd();
    if (change.action == ComboListAction::FillAndOpen) box->showPopup();
}

void JourneyDialog::keyPressEvent(QKeyEvent* event) {
    // Escape in a station box is for its drop-down list: it never closes the window (the
    // box has closed its list itself when one was open).
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        qobject_cast<StationCombo*>(focusWidget())) {
        qobject_cast<StationCombo*>(focusWidget())->hidePopup();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void JourneyDialog::MarkStale() {
    if (stale_ || !model_.Searched() || tree_->topLevelItemCount() == 0) return;
    ShowStale(true);
}

void JourneyDialog::TimetableChanged(std::shared_ptr<const MapData> map, bool tablesIn) {
    // The new timetable's map (or none) once its tables are in; the old map stays while they
    // load. Outdated journeys are not drawn on a new map.
    if (map_ && tablesIn && map_->Map() != map) {
        map_->SetMap(std::move(map));
        mapJourney_ = -2;  // none drawn yet
    }
    if (model_.Outdated()) {
        ShowStale(true, QStringFromGbk(model_.OutdatedText()));
        if (mapJourney_ == -2) ShowOnMap(-1);
        return;
    }
    if (!model_.Searched()) return;
    Fill();
    // Planned again with what the last search was given: the boxes may say otherwise since.
    if (!ShowsTheModelsQuestion()) MarkStale();
}

bool JourneyDialog::ShowsTheModelsQuestion() const {
    const JourneyOptions& o = model_.Options();
    const int fare = o.fareClass ? static_cast<int>(*o.fareClass) + 1 : 0;
    return GbkFromQString(fromBox_->currentText()) == model_.From() &&
           GbkFromQString(toBox_->currentText()) == model_.To() &&
           windowOf_->currentIndex() == (o.windowOf == JourneyWindowOf::Arrival ? 1 : 0) &&
           MinuteOf(start_->time()) == o.windowStart && MinuteOf(end_->time()) == o.windowEnd &&
           maxChanges_->value() == o.maxTransfers && minTransfer_->value() == o.minTransfer &&
           cityTransfer_->value() == o.cityTransfer && fare_->currentIndex() == fare;
}

void JourneyDialog::ShowStale(bool stale, const QString& why) {
    stale_ = stale;
    // Greyed rather than gone: the traveller still sees what the last search found while
    // changing one setting, and the status line says it is not the answer to the new one.
    // (A new answer comes as new rows, in the usual colour.)
    if (stale) {
        const QBrush grey(QApplication::palette().color(QPalette::Disabled, QPalette::Text));
        for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
            for (int c = 0; c < tree_->columnCount(); ++c) (*it)->setForeground(c, grey);
        }
    }
    const bool canExport = !stale && model_.CanExport() && model_.JourneyCount() > 0;
    export_->setEnabled(canExport);
    print_->setEnabled(canExport);
    if (stale) {
        status_->setText(
            !why.isEmpty()
                ? why
                : QString::fromUtf8("条件已改变，下列方案按原来的条件找到；按“查询”重新查找。"));
    }
}

void JourneyDialog::LayOut(QSize size) {
    const int w = size.width();
    const int h = size.height();
    tree_->resize(w - 24, h - kListTop - 48);
    status_->move(14, h - 38);
    status_->resize(std::max(100, w - 276), status_->height());
    print_->move(w - 246, h - 40);
    export_->move(w - 176, h - 40);
    close_->move(w - 102, h - 40);
}

void JourneyDialog::ClearAnswer(const std::string& status) {
    tree_->clear();
    ShowStale(false);
    ShowOnMap(-1);
    export_->setEnabled(false);
    print_->setEnabled(false);
    status_->setText(QStringFromGbk(status));
}

void JourneyDialog::SwapClicked() {
    const QString from = fromBox_->currentText();
    fromBox_->SetTextQuietly(toBox_->currentText());
    toBox_->SetTextQuietly(from);
    SearchClicked();
}

void JourneyDialog::SearchClicked() {
    model_.SetStations(GbkFromQString(fromBox_->currentText()),
                       GbkFromQString(toBox_->currentText()));
    setWindowTitle(QStringFromGbk(model_.Caption()));
    if (const std::optional<JourneyInputProblem> problem = model_.CheckStations()) {
        // The journeys on screen answered other stations than those in the boxes now.
        ClearAnswer({});
        if (problem->text.empty()) return;  // the timetable is still loading
        QMessageBox box(QMessageBox::NoIcon, QStringFromGbk(problem->caption),
                        QStringFromGbk(problem->text), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("MessageBox"));
        box.setFont(font());
        FitCaption(box);
        box.exec();
        (problem->toBox ? toBox_ : fromBox_)->setFocus(Qt::OtherFocusReason);
        return;
    }
    Keep(QStringLiteral("journey/from"), fromBox_->currentText());
    Keep(QStringLiteral("journey/to"), toBox_->currentText());
    JourneyOptions& o = model_.Options();
    o.windowStart = MinuteOf(start_->time());
    o.windowEnd = MinuteOf(end_->time());
    o.windowOf =
        windowOf_->currentIndex() == 1 ? JourneyWindowOf::Arrival : JourneyWindowOf::Departure;
    o.maxTransfers = maxChanges_->value();
    o.minTransfer = minTransfer_->value();
    o.cityTransfer = cityTransfer_->value();
    o.fareClass = fare_->currentIndex() > 0
                      ? std::optional<FareClass>(static_cast<FareClass>(fare_->currentIndex() - 1))
                      : std::nullopt;
    KeepJourneyOptions(o, model_.Defaults());
    if (model_.Search() != JourneyOptionError::None) {
        // The journeys on screen answered other options than those in the boxes now: they go,
        // and with them the export; the status line says what is wrong.
        ClearAnswer(model_.StatusText());
        return;
    }
    Fill();
}

QString JourneyDialog::CopyText() const {
    // The tree's first column holds a journey's number on its summary row and the train on a
    // leg's: pasted into a table, they go under a column each (方案, 车次).
    QStringList titles;
    titles << tree_->headerItem()->text(0) << QStringFromGbk(JourneyWindowModel::ExportTitles()[1]);
    for (int c = 1; c < tree_->columnCount(); ++c) titles << tree_->headerItem()->text(c);
    // The chosen rows: a summary row brings its legs; a leg chosen alone comes by itself.
    // Nothing chosen: every journey.
    QList<QTreeWidgetItem*> chosen;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree_->topLevelItem(i);
        bool any = top->isSelected();
        for (int l = 0; l < top->childCount(); ++l) any = any || top->child(l)->isSelected();
        if (any || tree_->selectedItems().isEmpty()) chosen << top;
    }
    std::vector<QStringList> rows;
    for (const QTreeWidgetItem* top : chosen) {
        const QString number = top->text(0);
        if (top->isSelected() || tree_->selectedItems().isEmpty()) {
            QStringList cells{number, QString()};
            for (int c = 1; c < tree_->columnCount(); ++c) cells << top->text(c);
            rows.push_back(cells);
        }
        for (int l = 0; l < top->childCount(); ++l) {
            const QTreeWidgetItem* leg = top->child(l);
            if (!top->isSelected() && !leg->isSelected() && !tree_->selectedItems().isEmpty())
                continue;
            QStringList cells{number, leg->text(0)};
            for (int c = 1; c < tree_->columnCount(); ++c) cells << leg->text(c);
            rows.push_back(cells);
        }
    }
    return TabSeparatedRows(titles, rows);
}

void JourneyDialog::HeaderClick(int column) {
    if (!model_.SortByColumn(column)) {
        // Back to the indicator of the column that does sort.
        tree_->header()->setSortIndicator(
            model_.SortColumn(), model_.Ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
        return;
    }
    Fill();
}

void JourneyDialog::ExportClicked() {
    if (model_.JourneyCount() == 0) return;
    const std::optional<std::string> path = AskExportPath(this);
    if (!path) return;
    ReportExport(this, *path, model_.LegGrid().RowCount(), model_.Export(*path));
}

void JourneyDialog::PrintClicked() {
    if (model_.JourneyCount() == 0 || stale_) return;
    const TextGrid grid = model_.LegGrid();
    // The map page shows the journey the map is on, as the window does.
    LastPage mapPage;
    if (map_)
        mapPage = [map = map_](QPainter& painter, const QRect& page) {
            map->PaintPage(painter, page);
        };
    PrintGridOnDefaultPrinter(this, grid, GridLayout::Journey, grid.RowCount(),
                              model_.AnswerHeading(), mapPage);
}

void JourneyDialog::Fill() {
    tree_->clear();
    for (int j = 0; j < model_.JourneyCount(); ++j) {
        auto* top = new QTreeWidgetItem(tree_);
        const std::vector<std::string> cells = model_.SummaryCells(j);
        for (int c = 0; c < JourneyWindowModel::kColumns; ++c) SetCell(top, c, cells[c]);
        top->setData(0, kJourneyRole, j);
        top->setData(0, kLegRole, -1);
        QFont bold = top->font(0);
        bold.setBold(true);
        for (int c = 0; c < JourneyWindowModel::kColumns; ++c) top->setFont(c, bold);
        for (int l = 0; l < static_cast<int>(model_.JourneyAt(j).legs.size()); ++l) {
            auto* leg = new QTreeWidgetItem(top);
            const std::vector<std::string> legCells = model_.LegCells(j, l);
            for (int c = 0; c < JourneyWindowModel::kColumns; ++c) SetCell(leg, c, legCells[c]);
            leg->setData(0, kJourneyRole, j);
            leg->setData(0, kLegRole, l);
        }
    }
    tree_->expandAll();
    // Trains joined by "/" and fares of several legs outgrow the columns drawn for the usual
    // case: a column widens to its longest text ("G1951/G1954", "362/375/388").
    for (int c = 0; c < JourneyWindowModel::kColumns; ++c) {
        tree_->resizeColumnToContents(c);
        tree_->setColumnWidth(c, std::max(kColumnWidths[c], tree_->columnWidth(c)));
    }
    tree_->header()->setSortIndicator(
        model_.SortColumn(), model_.Ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    ShowStale(false);
    status_->setText(QStringFromGbk(model_.StatusText()));
    // A new list: the map starts on its first journey.
    mapJourney_ = -1;
    ShowOnMap(model_.JourneyCount() > 0 ? 0 : -1);
}

void JourneyDialog::ShowOnMap(int j) {
    if (!map_ || j == mapJourney_) return;
    mapJourney_ = j;
    if (j < 0 || j >= model_.JourneyCount() || model_.Outdated()) {
        map_->SetRoute({});
    } else {
        map_->SetJourney(*model_.ShownTimetable(), model_.JourneyAt(j));
    }
}

void JourneyDialog::OnDoubleClick(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    model_.OpenLeg(item->data(0, kJourneyRole).toInt(), item->data(0, kLegRole).toInt());
}

void JourneyDialog::LegMenu(const QPoint& at) {
    QTreeWidgetItem* item = tree_->itemAt(at);
    // A leg planned on a timetable no longer in use has no other trains to offer.
    if (item == nullptr || item->data(0, kLegRole).toInt() < 0 || model_.Outdated()) return;
    const int journey = item->data(0, kJourneyRole).toInt();
    const int leg = item->data(0, kLegRole).toInt();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("LegMenu"));
    menu.addAction(QString::fromUtf8("换一趟车"), this,
                   [this, journey, leg] { SwapLeg(journey, leg); });
    menu.exec(tree_->viewport()->mapToGlobal(at));
}

void JourneyDialog::SwapLeg(int journey, int leg) {
    const std::vector<JourneyLeg> alternatives = model_.Alternatives(journey, leg);
    const JourneyLeg current = model_.JourneyAt(journey).legs[leg];
    const std::optional<std::size_t> picked = ChooseLegAlternative(
        this, *model_.ShownTimetable(), current, alternatives, model_.Options().fareClass);
    if (!picked) return;
    model_.ReplaceLeg(journey, leg, alternatives[*picked]);
    Fill();
}

void ShowJourneyDialog(QWidget* parent, JourneyWindowModel& model, std::function<void()> onClosed,
                       std::shared_ptr<const MapData> map) {
    // One journey window: an open one comes forward with its boxes as they are.
    if (auto* open = parent->findChild<JourneyDialog*>(QString(), Qt::FindDirectChildrenOnly)) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* window = new JourneyDialog(model, parent, std::move(map));
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Told once the window is gone, so that nothing is left using the model.
    QObject::connect(window, &QObject::destroyed, parent, [onClosed = std::move(onClosed)] {
        if (onClosed) onClosed();
    });
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace korvel::ui
