#include "ui/dialogs/transfer_stations_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <functional>

#include "qt_text/qt_text.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/grid_view.h"

namespace korvel::ui {

namespace {

// A header label that reports left clicks.
class ClickLabel : public QLabel {
  public:
    ClickLabel(std::function<void()> onClick, QWidget* parent)
        : QLabel(parent), onClick_(std::move(onClick)) {
        setCursor(Qt::PointingHandCursor);
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && onClick_) {
            onClick_();
            event->accept();
            return;
        }
        QLabel::mousePressEvent(event);
    }

  private:
    std::function<void()> onClick_;
};

struct Span {
    int left, width;
};
constexpr Span kLabelSpans[] = {{12, 83},  {98, 46},  {145, 48}, {194, 46}, {242, 47},
                                {290, 46}, {337, 47}, {388, 59}, {449, 68}};
constexpr Span kBoxSpans[] = {{9, 88},   {96, 49},  {144, 49}, {192, 50}, {241, 48},
                              {288, 49}, {336, 49}, {384, 63}, {446, 76}};

void Fill(QWidget* w, const QColor& colour) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, colour);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
}

}  // namespace

const std::vector<int>& TransferStationsDialog::ColumnWidths() {
    static const std::vector<int> widths = {86, 47, 47, 48, 46, 47, 47, 61, 57};
    return widths;
}

TransferStationsDialog::TransferStationsDialog(TransferWindowModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setObjectName(QStringLiteral("TransferStationsDialog"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(SongFont(12));
    Fill(this, Rgb(0xE3EFF3));
    setWindowTitle(QStringFromGbk(model.Caption()));

    for (const Span& box : kBoxSpans) {
        auto* strip = new QWidget(this);
        strip->setGeometry(box.left, 8, box.width, 23);
        Fill(strip, Rgb(0xF2F2F9));
    }
    for (int i = 0; i < TransferWindowModel::kColumns; ++i) {
        auto* label = new ClickLabel([this, i] { HeaderClicked(i + 1); }, this);
        label->setObjectName(QStringLiteral("Lab%1").arg(i + 1));
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(kLabelSpans[i].left, 14, kLabelSpans[i].width, 12);
        labels_.push_back(label);
    }

    stationGrid_ = new ModelGridView(model.Grid(), ColumnWidths(), this);
    stationGrid_->setObjectName(QStringLiteral("StationGrid"));
    stationGrid_->setGeometry(9, 30, 513, 287);
    stationGrid_->setToolTip(QStringFromGbk(TransferWindowModel::GridHint()));
    // Picks go through the model, whose handler refills the main grid; the window stays open.
    stationGrid_->clickRow = [this](int row) { model_.ClickRow(row); };
    stationGrid_->wheelStep = [this](bool up, int visibleRows) {
        if (up) {
            model_.WheelUp(visibleRows);
        } else {
            model_.WheelDown(visibleRows);
        }
    };

    infoLabel_ = new QLabel(QStringFromGbk(TransferWindowModel::InfoText()), this);
    infoLabel_->setObjectName(QStringLiteral("InfoLabel"));
    infoLabel_->move(10, 328);
    QPalette infoPalette = infoLabel_->palette();
    infoPalette.setColor(QPalette::WindowText, Rgb(0x0000FF));
    infoLabel_->setPalette(infoPalette);
    infoLabel_->adjustSize();

    closeButton_ = new QPushButton(QStringLiteral("关闭"), this);
    closeButton_->setObjectName(QStringLiteral("CloseButton"));
    closeButton_->setGeometry(433, 321, 90, 30);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    ShowLabels();
    stationGrid_->Refresh();
}

void TransferStationsDialog::HeaderClicked(int labelNumber) {
    if (model_.StationCount() < 1) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    model_.HeaderClick(labelNumber);
    QApplication::restoreOverrideCursor();
    ShowLabels();
    stationGrid_->Refresh();
}

void TransferStationsDialog::ShowLabels() {
    const korvel::HeaderLabels& state = model_.Labels();
    for (int i = 0; i < static_cast<int>(labels_.size()) && i < state.Count(); ++i) {
        QLabel* label = labels_[i];
        label->setText(QStringFromGbk(state.Caption(i)));
        QFont font = label->font();
        font.setBold(state.Bold(i));
        label->setFont(font);
    }
}

void ShowTransferDialog(QWidget* parent, TransferWindowModel& model) {
    TransferStationsDialog window(model, parent);
    window.exec();
}

}  // namespace korvel::ui
