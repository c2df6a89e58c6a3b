#include "ui/dialogs/detail_dialog.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "qt_text/qt_text.h"
#include "ui/dialogs/copy_rows.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/grid_export_qt.h"
#include "ui/dialogs/grid_print_qt.h"
#include "ui/dialogs/grid_view.h"
#include "ui/dialogs/window_fit.h"

namespace korvel::ui {

namespace {

constexpr int kGridLeft = 24;
constexpr int kGridTop = 68;
constexpr int kGridWidth = 393;
constexpr int kGridHeight = 287;
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

const std::vector<int>& TFrmMsg::ColumnWidths() {
    static const std::vector<int> widths = {34, 75, 42, 41, 40, 50, 41, 41};
    return widths;
}

TFrmMsg::TFrmMsg(DetailWindowModel& model, QWidget* parent) : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("FrmMsg"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(SongFont(12));
    SetColours(this, Rgb(0xE3EFF3), QColor());
    // Drawn for 426 x 403: smaller it scrolls, larger the stop list takes the room.
    auto* scroll = new ScrollCanvas(this, QSize(kClientWidth, kClientHeight));
    QWidget* const canvas = scroll->Canvas();
    SetColours(canvas, Rgb(0xE3EFF3), QColor());
    setWindowTitle(QStringFromGbk(model.Caption()));

    AddSummaryLines(canvas);
    AddColumnHeaders(canvas);
    AddStopGrid(canvas);
    AddButtons(canvas);

    connect(scroll, &ScrollCanvas::canvasResized, this, [this](QSize size) {
        const int dy = size.height() - kClientHeight;
        MGrid_->resize(kGridWidth, kGridHeight + dy);
        const int top = kGridTop + kGridHeight + dy + 8;
        for (QPushButton* b : {BTNPrint_, BTNExport_, BTNClose_}) b->move(b->x(), top);
    });
    setMinimumSize(200, 160);
    FitToScreen(this, QSize(kClientWidth, kClientHeight));
}

void TFrmMsg::AddSummaryLines(QWidget* canvas) {
    LabQC_ = new QLabel(QStringFromGbk(model_.RouteLine()), canvas);
    LabQC_->setObjectName(QStringLiteral("LabQC"));
    LabQC_->move(24, 8);
    SetColours(LabQC_, QColor(), Rgb(0xFF0000));
    LabQC_->adjustSize();
    LabQJ_ = new QLabel(QStringFromGbk(model_.SectionLine()), canvas);
    LabQJ_->setObjectName(QStringLiteral("LabQJ"));
    LabQJ_->move(24, 28);
    SetColours(LabQJ_, QColor(), Rgb(0x0000FF));
    LabQJ_->adjustSize();
}

// Header strips and labels over the columns (not clickable: the stop list keeps its order).
void TFrmMsg::AddColumnHeaders(QWidget* canvas) {
    const std::vector<std::string> captions = DetailWindowModel::HeaderCaptions();
    const char* const names[] = {"Lab1",   "Label1", "Label2", "Label3",
                                 "Label4", "Label5", "Label6", "Label7"};
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

void TFrmMsg::AddStopGrid(QWidget* canvas) {
    MGrid_ = new ModelGridView(model_.Stops(), ColumnWidths(), canvas);
    MGrid_->setObjectName(QStringLiteral("MGrid"));
    MGrid_->setGeometry(kGridLeft, kGridTop, kGridWidth, kGridHeight);
    MGrid_->rowTextColour = [this](int row) {
        return model_.RowInSection(row) ? Rgb(0x0000FF)
                                        : palette().color(QPalette::Active, QPalette::WindowText);
    };
    MGrid_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(MGrid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("打印预览"), this, [this] { PreviewClick(); });
        menu.exec(MGrid_->mapToGlobal(pos));
    });
    MGrid_->Refresh();
    AddCopyShortcut(MGrid_, [this] {
        return GridRowsText(model_.Stops(), DetailWindowModel::HeaderCaptions(),
                            model_.StopRowCount());
    });
}

void TFrmMsg::AddButtons(QWidget* canvas) {
    const int buttonTop = kGridTop + kGridHeight + 8;
    BTNPrint_ = new QPushButton(QStringLiteral("打印"), canvas);
    BTNPrint_->setObjectName(QStringLiteral("BTNPrint"));
    BTNPrint_->setGeometry(kGridLeft, buttonTop, 50, 32);
    BTNExport_ = new QPushButton(QStringLiteral("导出"), canvas);
    BTNExport_->setObjectName(QStringLiteral("BTNExport"));
    BTNExport_->setGeometry(kGridLeft + 58, buttonTop, 50, 32);
    BTNClose_ = new QPushButton(QStringLiteral("关闭"), canvas);
    BTNClose_->setObjectName(QStringLiteral("BTNClose"));
    BTNClose_->setGeometry(kGridLeft + kGridWidth - 90, buttonTop, 90, 32);
    connect(BTNPrint_, &QPushButton::clicked, this, [this] { BTNPrintClick(); });
    connect(BTNExport_, &QPushButton::clicked, this, [this] { BTNExportClick(); });
    connect(BTNClose_, &QPushButton::clicked, this, &QDialog::accept);

    // The close button takes the keyboard first; tab order follows the layout otherwise.
    setTabOrder(BTNClose_, MGrid_);
    setTabOrder(MGrid_, BTNPrint_);
    setTabOrder(BTNPrint_, BTNExport_);
    BTNClose_->setDefault(true);
    BTNClose_->setFocus(Qt::OtherFocusReason);
}

void TFrmMsg::BTNPrintClick() {
    PrintGridOnDefaultPrinter(this, model_.Stops(), GridLayout::Detail, model_.StopRowCount(),
                              model_.Heading());
}

void TFrmMsg::BTNExportClick() {
    ExportGridInteractive(this, model_.Stops(), GridLayout::Detail, model_.StopRowCount(),
                          model_.Heading());
}

void TFrmMsg::PreviewClick() {
    PreviewGrid(this, model_.Stops(), GridLayout::Detail, model_.StopRowCount(), model_.Heading());
}

void ShowDetailDialog(QWidget* parent, DetailWindowModel& model) {
    TFrmMsg window(model, parent);
    window.exec();
}

}  // namespace korvel::ui
