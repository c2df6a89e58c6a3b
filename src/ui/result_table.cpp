#include "ui/result_table.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "qt_text/qt_text.h"

namespace korvel::ui {

const std::vector<int>& ResultColumnWidths() {
    static const std::vector<int> widths = {97, 77, 77, 70, 77, 45, 77, 45,
                                            32, 45, 37, 42, 43, 91, 70};
    return widths;
}

// ---------------------------------------------------------------------------------------
// Model

ResultGridModel::ResultGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResultGridModel::SetGrid(const ResultGrid* grid) {
    beginResetModel();
    grid_ = grid;
    rows_ = grid_ ? grid_->RowCount() : 0;
    endResetModel();
}

void ResultGridModel::SetTransferStation(std::function<std::string()> transferStation) {
    transferStation_ = std::move(transferStation);
}

void ResultGridModel::Refresh() {
    const int now = grid_ ? grid_->RowCount() : 0;
    if (now > rows_) {
        beginInsertRows(QModelIndex(), rows_, now - 1);
        rows_ = now;
        endInsertRows();
    } else if (now < rows_) {
        beginRemoveRows(QModelIndex(), now, rows_ - 1);
        rows_ = now;
        endRemoveRows();
    }
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, ResultGrid::kColumns - 1));
}

void ResultGridModel::SetChosenRows(std::set<int> rows) {
    choosing_ = true;
    chosen_ = std::move(rows);
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, ResultGrid::kColumns - 1));
}

void ResultGridModel::ClearChosenRows() {
    if (!choosing_) return;
    choosing_ = false;
    chosen_.clear();
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, ResultGrid::kColumns - 1));
}

bool ResultGridModel::IsDrawnSelected(int row) const {
    if (choosing_) return chosen_.count(row) > 0;
    return grid_ && grid_->Selection() == row;
}

int ResultGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int ResultGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ResultGrid::kColumns;
}

QColor ResultGridModel::GridBackground() {
    return Rgb(0xFFFDF4);
}

QColor ResultGridModel::SelectedBackground() {
    // Qt has no "active window caption" colour; the active highlight is its counterpart.
    return QApplication::palette().color(QPalette::Active, QPalette::Highlight);
}

QVariant ResultGridModel::data(const QModelIndex& index, int role) const {
    if (!grid_ || !index.isValid() || index.row() >= rows_ ||
        index.column() >= ResultGrid::kColumns) {
        return {};
    }
    const int row = index.row();
    const bool selected = IsDrawnSelected(row);
    switch (role) {
        case Qt::DisplayRole:
            return QStringFromGbk(grid_->Cell(index.column(), row));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        case Qt::BackgroundRole:
            return QBrush(selected ? SelectedBackground() : GridBackground());
        case Qt::ForegroundRole: {
            if (selected) return QBrush(Rgb(0xFFFFFF));
            const std::string transfer = transferStation_ ? transferStation_() : std::string();
            switch (grid_->RowColourOf(row, transfer)) {
                case RowColour::Red:
                    return QBrush(Rgb(0xFF0000));
                case RowColour::Blue:
                    return QBrush(Rgb(0x0000FF));
                case RowColour::Normal:
                    break;
            }
            return QBrush(QApplication::palette().color(QPalette::Active, QPalette::WindowText));
        }
        case SelectedRole:
            return selected;
        default:
            return {};
    }
}

Qt::ItemFlags ResultGridModel::flags(const QModelIndex& index) const {
    if (!grid_ || !index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (grid_->CanSelect(index.row())) f |= Qt::ItemIsSelectable;
    return f;
}

// ---------------------------------------------------------------------------------------
// Delegate

void ResultCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    painter->save();
    const QRect cell = option.rect;
    painter->fillRect(cell, index.data(Qt::BackgroundRole).value<QBrush>());
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty()) {
        painter->setClipRect(cell);
        painter->setFont(option.font);
        painter->setPen(index.data(Qt::ForegroundRole).value<QBrush>().color());
        painter->drawText(cell, Qt::AlignCenter | Qt::TextSingleLine, text);
    }
    painter->restore();
}

// ---------------------------------------------------------------------------------------
// View

ResultTableView::ResultTableView(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new ResultCellDelegate(this));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Each section holds its cell and the 1-px grid line after it.
    verticalHeader()->setDefaultSectionSize(kResultRowHeight + 1);
    horizontalHeader()->setDefaultSectionSize(60);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setAutoScroll(false);

    QPalette pal = palette();
    pal.setColor(QPalette::Base, ResultGridModel::GridBackground());
    pal.setColor(QPalette::Window, ResultGridModel::GridBackground());
    setPalette(pal);
    // The thumb in a darker blue-grey on a pale groove, so that it stands out against both
    // the groove and the grid's cream background.
    QPalette bar = verticalScrollBar()->palette();
    bar.setColor(QPalette::Button, Rgb(0x8FA3B8));
    bar.setColor(QPalette::Window, Rgb(0xE8ECF0));
    verticalScrollBar()->setPalette(bar);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!syncing_ && scrolledTo) scrolledTo(value);
    });
}

int ResultTableView::VisibleRows() const {
    return std::max(1, viewport()->height() / (kResultRowHeight + 1));
}

int ResultTableView::TopRow() const {
    return verticalScrollBar()->value();
}

void ResultTableView::ScrollToTopRow(int row) {
    syncing_ = true;
    // Rows just added reach the scroll bar's range only at the next layout pass; without
    // this the position would be cut to the old range.
    if (row > verticalScrollBar()->maximum()) updateGeometries();
    verticalScrollBar()->setValue(row);
    syncing_ = false;
    viewport()->update();
}

void ResultTableView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        const Qt::KeyboardModifiers mods = event->modifiers();
        if (index.isValid() && extendSelection &&
            (mods & (Qt::ControlModifier | Qt::ShiftModifier))) {
            extendSelection(index.row(), (mods & Qt::ControlModifier) != 0);
        } else if (index.isValid() && selectCell) {
            selectCell(index.column(), index.row());
        }
    }
    event->accept();
}

void ResultTableView::mouseMoveEvent(QMouseEvent* event) {
    // No drag selection: rows are chosen by clicks (with Ctrl or Shift for several).
    event->accept();
}

void ResultTableView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void ResultTableView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && doubleClicked) doubleClicked();
    event->accept();
}

void ResultTableView::wheelEvent(QWheelEvent* event) {
    // One step per notch (120 units); trackpads deliver fractions that add up.
    wheelRemainder_ += event->angleDelta().y();
    while (wheelRemainder_ >= 120) {
        wheelRemainder_ -= 120;
        if (wheelStep) wheelStep(true);
    }
    while (wheelRemainder_ <= -120) {
        wheelRemainder_ += 120;
        if (wheelStep) wheelStep(false);
    }
    event->accept();
}

void ResultTableView::keyPressEvent(QKeyEvent* event) {
    auto* m = qobject_cast<ResultGridModel*>(model());
    const ResultGrid* grid = m ? m->Grid() : nullptr;
    if (!grid) {
        QTableView::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        if (selectAllRows) selectAllRows();
        event->accept();
        return;
    }
    const int last = grid->RowCount() - 1;
    const std::optional<int> sel = grid->Selection();
    const int from = sel ? *sel : TopRow();
    int target = -1;
    switch (event->key()) {
        case Qt::Key_Down:
            target = sel ? from + 1 : from;
            break;
        case Qt::Key_Up:
            target = sel ? from - 1 : from;
            break;
        case Qt::Key_PageDown:
            target = from + VisibleRows() - 1;
            break;
        case Qt::Key_PageUp:
            target = from - (VisibleRows() - 1);
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = last;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (enterPressed) enterPressed();
            event->accept();
            return;
        default:
            QTableView::keyPressEvent(event);
            return;
    }
    target = std::clamp(target, 0, std::max(last, 0));
    // A page or End jump that lands below the results stops at the last filled row on the way.
    if (event->key() == Qt::Key_PageDown || event->key() == Qt::Key_End) {
        while (target > from && !grid->CanSelect(target)) --target;
    }
    if (last >= 0 && (event->modifiers() & Qt::ShiftModifier) && extendSelection) {
        extendSelection(target, false);
    } else if (last >= 0 && selectCell) {
        selectCell(0, target);
    }
    event->accept();
}

void ResultTableView::contextMenuEvent(QContextMenuEvent* event) {
    if (contextMenuAt) contextMenuAt(event->globalPos());
    event->accept();
}

}  // namespace korvel::ui
