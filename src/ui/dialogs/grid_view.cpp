#include "ui/dialogs/grid_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "qt_text/qt_text.h"

namespace korvel::ui {

ModelGridView::ModelGridView(SelectableGrid& grid, std::vector<int> columnWidths, QWidget* parent)
    : QAbstractScrollArea(parent), grid_(grid), widths_(std::move(columnWidths)) {
    setFont(SongFont(12));
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (syncing_) return;
        grid_.SetTopRow(value, VisibleRows());
        viewport()->update();
    });
    SyncScrollBar();
}

void ModelGridView::SetRowHeight(int height) {
    rowHeight_ = std::max(height, 1);
    Refresh();
}

int ModelGridView::VisibleRows() const {
    return std::max(viewport()->height() / Pitch(), 1);
}

int ModelGridView::ColumnsWidth() const {
    int total = 0;
    for (int w : widths_) total += w + 1;
    return total;
}

void ModelGridView::SyncScrollBar() {
    syncing_ = true;
    const int visible = VisibleRows();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(grid_.RowCount() - visible, 0));
    bar->setPageStep(visible);
    grid_.SetTopRow(grid_.TopRow(), visible);
    bar->setValue(grid_.TopRow());
    syncing_ = false;
}

void ModelGridView::Refresh() {
    SyncScrollBar();
    viewport()->update();
}

QRect ModelGridView::RowRect(int row) const {
    const int offset = row - grid_.TopRow();
    if (offset < 0 || row >= grid_.RowCount()) return {};
    const int y = offset * Pitch();
    if (y >= viewport()->height()) return {};
    return QRect(0, y, ColumnsWidth(), rowHeight_);
}

int ModelGridView::RowAt(const QPoint& pos) const {
    if (pos.x() < 0 || pos.x() >= ColumnsWidth() || pos.y() < 0) return -1;
    const int row = grid_.TopRow() + pos.y() / Pitch();
    return row < grid_.RowCount() ? row : -1;
}

void ModelGridView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), background);
    const std::optional<int> selected = grid_.Selection();
    const QColor windowText = palette().color(QPalette::Active, QPalette::WindowText);
    const QColor captionColour = palette().color(QPalette::Active, QPalette::Highlight);
    const int height = viewport()->height();
    for (int row = grid_.TopRow(), y = 0; row < grid_.RowCount() && y < height;
         ++row, y += Pitch()) {
        const bool isSelected = selected && *selected == row;
        QColor text =
            isSelected ? QColor(Qt::white) : (rowTextColour ? rowTextColour(row) : windowText);
        int x = 0;
        for (int c = 0; c < static_cast<int>(widths_.size()); ++c) {
            const QRect cell(x, y, widths_[c], rowHeight_);
            p.fillRect(cell, isSelected ? captionColour : background);
            const std::string& value = grid_.Cell(c, row);
            if (!value.empty()) {
                p.save();
                p.setClipRect(cell);
                p.setPen(text);
                p.drawText(cell, Qt::AlignCenter | Qt::TextSingleLine, QStringFromGbk(value));
                p.restore();
            }
            p.setPen(gridLine);
            p.drawLine(cell.right() + 1, y, cell.right() + 1, y + rowHeight_);
            x += widths_[c] + 1;
        }
        p.setPen(gridLine);
        p.drawLine(0, y + rowHeight_, x - 1, y + rowHeight_);
    }
}

void ModelGridView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int row = RowAt(event->position().toPoint());
    if (row < 0) return;
    if (clickRow) {
        clickRow(row);
    } else {
        grid_.Select(row);
    }
    Refresh();
}

void ModelGridView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int row = RowAt(event->position().toPoint());
    if (row >= 0 && doubleClickRow) doubleClickRow(row);
}

void ModelGridView::wheelEvent(QWheelEvent* event) {
    wheelRemainder_ += event->angleDelta().y();
    while (wheelRemainder_ >= 120 || wheelRemainder_ <= -120) {
        const bool up = wheelRemainder_ > 0;
        wheelRemainder_ += up ? -120 : 120;
        if (wheelStep) {
            wheelStep(up, VisibleRows());
        } else if (up) {
            grid_.WheelUp(VisibleRows());
        } else {
            grid_.WheelDown(VisibleRows());
        }
    }
    Refresh();
    event->accept();
}

void ModelGridView::keyPressEvent(QKeyEvent* event) {
    const std::optional<int> selected = grid_.Selection();
    const int current = selected ? *selected : grid_.TopRow();
    int target = -1;
    switch (event->key()) {
        case Qt::Key_Up:
            target = selected ? current - 1 : current;
            break;
        case Qt::Key_Down:
            target = selected ? current + 1 : current;
            break;
        case Qt::Key_PageUp:
            target = current - VisibleRows();
            break;
        case Qt::Key_PageDown:
            target = current + VisibleRows();
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            // The last filled row: the blank rows below a short list cannot be selected.
            target = grid_.RowCount() - 1;
            while (target > 0 && !grid_.CanSelect(target)) --target;
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    target = std::clamp(target, 0, std::max(grid_.RowCount() - 1, 0));
    // A move onto a blank row is refused by the model, as a click on it is.
    if (clickRow) {
        clickRow(target);
    } else {
        grid_.Select(target);
    }
    KeepSelectionVisible();
    Refresh();
    event->accept();
}

void ModelGridView::KeepSelectionVisible() {
    const std::optional<int> row = grid_.Selection();
    if (!row) return;
    const int visible = VisibleRows();
    if (*row < grid_.TopRow()) {
        grid_.SetTopRow(*row, visible);
    } else if (*row >= grid_.TopRow() + visible) {
        grid_.SetTopRow(*row - visible + 1, visible);
    }
}

void ModelGridView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    SyncScrollBar();
}

void ModelGridView::scrollContentsBy(int, int) {
    viewport()->update();
}

}  // namespace korvel::ui
