#include "ui/dialogs/train_dialog.h"

#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include "qt_text/qt_text.h"
#include "ui/dialogs/copy_rows.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/grid_export_qt.h"
#include "ui/dialogs/grid_print_qt.h"
#include "ui/dialogs/grid_view.h"
#include "ui/dialogs/window_fit.h"
#include "ui/map/map_widget.h"

namespace korvel::ui {

namespace {

constexpr int kGridLeft = 24;
constexpr int kGridTop = 68;
constexpr int kGridWidth = 393;
constexpr int kGridHeight = 287;
// The fewest stop rows a short window keeps (a small or strongly scaled screen): the summary
// lines, the headers and the buttons stay in view, and only the stop list scrolls.
constexpr int kLeastGridHeight = 5 * 19 + 2;
constexpr int kHeaderTop = 46;  // the header strips end where the grid begins

void SetColours(QWidget* w, const QColor& background, const QColor& text) {
    QPalette palette = w->palette();
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        w->setAutoFillBackground(true);
    }
    if (text.isValid()) palette.setColor(QPalette::WindowText, text);
    w->setPalette(palette);
}

}  // namespace

const std::vector<int>& TrainDialog::ColumnWidths() {
    static const std::vector<int> widths = {34, 75, 42, 41, 40, 50, 41, 41};
    return widths;
}

TrainDialog::TrainDialog(DetailWindowModel& model, QWidget* parent,
                         std::shared_ptr<const MapData> map)
    : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("TrainDialog"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(SongFont(12));
    SetColours(this, Rgb(0xE3EFF3), QColor());
    const MapTabs tabs = AddMapTabs(this, QStringLiteral("时刻表"), std::move(map));
    tabs_ = tabs.tabs;
    map_ = tabs.map;
    // Drawn for 426 x 403: a larger window gives the stop list the room, a shorter one takes
    // it from the stop list down to a few rows; only smaller still does the window scroll.
    auto* scroll =
        new ScrollCanvas(tabs.firstPage ? tabs.firstPage : this,
                         QSize(kClientWidth, kClientHeight - (kGridHeight - kLeastGridHeight)));
    QWidget* const canvas = scroll->Canvas();
    SetColours(canvas, Rgb(0xE3EFF3), QColor());
    setWindowTitle(QStringFromGbk(model.Caption()));

    AddSummaryLines(canvas);
    AddColumnHeaders(canvas);
    AddStopGrid(canvas);
    AddButtons(canvas);

    connect(scroll, &ScrollCanvas::canvasResized, this, [this](QSize size) {
        const int dy = size.height() - kClientHeight;
        stopGrid_->resize(kGridWidth, kGridHeight + dy);
        const int top = kGridTop + kGridHeight + dy + 8;
        for (QPushButton* b : {printButton_, exportButton_, closeButton_}) b->move(b->x(), top);
    });
    setMinimumSize(200, 160);
    const int tabBar = tabs_ ? tabs_->tabBar()->sizeHint().height() : 0;
    FitToScreen(this, QSize(kClientWidth, kClientHeight + tabBar));
    if (map_) {
        // The train's whole route, as the stop list has it.
        RouteLeg leg;
        const SelectableGrid& stops = model_.Stops();
        for (int r = 0; r < model_.StopRowCount(); ++r) leg.stations.push_back(stops.Cell(1, r));
        map_->SetRoute({std::move(leg)});
    }
}

void TrainDialog::AddSummaryLines(QWidget* canvas) {
    routeLine_ = new QLabel(QStringFromGbk(model_.RouteLine()), canvas);
    routeLine_->setObjectName(QStringLiteral("RouteLine"));
    routeLine_->move(24, 8);
    SetColours(routeLine_, QColor(), Rgb(0xFF0000));
    routeLine_->adjustSize();
    sectionLine_ = new QLabel(QStringFromGbk(model_.SectionLine()), canvas);
    sectionLine_->setObjectName(QStringLiteral("SectionLine"));
    sectionLine_->move(24, 28);
    SetColours(sectionLine_, QColor(), Rgb(0x0000FF));
    sectionLine_->adjustSize();
}

// Header strips and labels over the columns (not clickable: the stop list keeps its order).
void TrainDialog::AddColumnHeaders(QWidget* canvas) {
    const std::vector<std::string> captions = DetailWindowModel::HeaderCaptions();
    const char* const names[] = {"Header1", "Header2", "Header3", "Header4",
                                 "Header5", "Header6", "Header7", "Header8"};
    int x = kGridLeft + 1;
    for (int c = 0; c < DetailWindowModel::kColumns; ++c) {
        const int width = ColumnWidths()[c] + 1;
        auto* strip = new QWidget(canvas);
        strip->setGeometry(x - 1, kHeaderTop, width, kGridTop - kHeaderTop + 1);
        SetColours(strip, Rgb(0xF2F2F9), QColor());
        auto* label = new QLabel(
            QStringFromGbk(c < static_cast<int>(captions.size()) ? captions[c] : std::string()),
            canvas);
        label->setObjectName(QString::fromLatin1(names[c]));
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(x - 1, kHeaderTop + 5, width, 12);
        headers_.push_back(label);
        x += width;
    }
}

void TrainDialog::AddStopGrid(QWidget* canvas) {
    stopGrid_ = new ModelGridView(model_.Stops(), ColumnWidths(), canvas);
    stopGrid_->setObjectName(QStringLiteral("StopGrid"));
    stopGrid_->setGeometry(kGridLeft, kGridTop, kGridWidth, kGridHeight);
    stopGrid_->rowTextColour = [this](int row) {
        return model_.RowInSection(row) ? Rgb(0x0000FF)
                                        : palette().color(QPalette::Active, QPalette::WindowText);
    };
    stopGrid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(stopGrid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("打印预览"), this, [this] { PreviewClick(); });
        menu.exec(stopGrid_->mapToGlobal(pos));
    });
    stopGrid_->Refresh();
    AddCopyShortcut(stopGrid_, [this] {
        return GridRowsText(model_.Stops(), DetailWindowModel::HeaderCaptions(),
                            model_.StopRowCount());
    });
}

void TrainDialog::AddButtons(QWidget* canvas) {
    const int buttonTop = kGridTop + kGridHeight + 8;
    printButton_ = new QPushButton(QStringLiteral("打印"), canvas);
    printButton_->setObjectName(QStringLiteral("PrintButton"));
    printButton_->setGeometry(kGridLeft, buttonTop, 50, 32);
    exportButton_ = new QPushButton(QStringLiteral("导出"), canvas);
    exportButton_->setObjectName(QStringLiteral("ExportButton"));
    exportButton_->setGeometry(kGridLeft + 58, buttonTop, 50, 32);
    closeButton_ = new QPushButton(QStringLiteral("关闭"), canvas);
    closeButton_->setObjectName(QStringLiteral("CloseButton"));
    closeButton_->setGeometry(kGridLeft + kGridWidth - 90, buttonTop, 90, 32);
    connect(printButton_, &QPushButton::clicked, this, [this] { PrintClicked(); });
    connect(exportButton_, &QPushButton::clicked, this, [this] { ExportClicked(); });
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);
    // The keys of the other windows, from either tab: Ctrl+P prints at once and Ctrl+E
    // exports, as the buttons do (Escape closes, as in every dialog).
    AddWindowShortcut(this, QKeySequence::Print, [this] { PrintClicked(); });
    AddWindowShortcut(this, QKeySequence(Qt::CTRL | Qt::Key_E), [this] { ExportClicked(); });
    printButton_->setToolTip(QStringLiteral("打印停站表 (Ctrl+P)"));
    exportButton_->setToolTip(QStringLiteral("把停站表存为 CSV 文件 (Ctrl+E)"));

    // The close button takes the keyboard first; tab order follows the layout otherwise.
    setTabOrder(closeButton_, stopGrid_);
    setTabOrder(stopGrid_, printButton_);
    setTabOrder(printButton_, exportButton_);
    closeButton_->setDefault(true);
    closeButton_->setFocus(Qt::OtherFocusReason);
}

void TrainDialog::PrintClicked() {
    PrintGridOnDefaultPrinter(this, model_.Stops(), GridLayout::Detail, model_.StopRowCount(),
                              model_.Heading(), MapPage());
}

void TrainDialog::ExportClicked() {
    ExportGridInteractive(this, model_.Stops(), GridLayout::Detail, model_.StopRowCount(),
                          model_.Heading());
}

void TrainDialog::PreviewClick() {
    PreviewGrid(this, model_.Stops(), GridLayout::Detail, model_.StopRowCount(), model_.Heading(),
                MapPage());
}

LastPage TrainDialog::MapPage() const {
    if (!map_) return {};
    return [map = map_](QPainter& painter, const QRect& page) { map->PaintPage(painter, page); };
}

void ShowDetailDialog(QWidget* parent, DetailWindowModel& model,
                      std::shared_ptr<const MapData> map) {
    TrainDialog window(model, parent, std::move(map));
    window.exec();
}

}  // namespace korvel::ui
