#include "views/text_grid.h"

#include <algorithm>
#include <utility>

namespace korvel {

namespace {
const std::string kEmpty;
}

TextGrid::TextGrid(int columns, int rows)
    : columns_(std::max(columns, 0)), rows_(std::max(rows, 0)) {
    cells_.resize(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_));
}

void TextGrid::SetRowCount(int rows) {
    rows = std::max(rows, 0);
    if (rows == rows_) return;
    rows_ = rows;
    cells_.resize(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_));
}

const std::string& TextGrid::Cell(int column, int row) const {
    if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return kEmpty;
    return cells_[static_cast<std::size_t>(row) * columns_ + column];
}

void TextGrid::SetCell(int column, int row, std::string text) {
    if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return;
    cells_[static_cast<std::size_t>(row) * columns_ + column] = std::move(text);
}

std::string& TextGrid::CellRef(int column, int row) {
    return cells_.at(static_cast<std::size_t>(row) * columns_ + column);
}

void TextGrid::ClearCells() {
    for (std::string& s : cells_) s.clear();
}

void TextGrid::SwapRows(int a, int b) {
    if (a == b || a < 0 || b < 0 || a >= rows_ || b >= rows_) return;
    for (int c = 0; c < columns_; ++c) std::swap(CellRef(c, a), CellRef(c, b));
}

void TextGrid::ReorderRows(int first, const std::vector<int>& order) {
    const std::size_t cols = static_cast<std::size_t>(columns_);
    std::vector<std::string> moved;
    moved.reserve(order.size() * cols);
    for (int row : order) {
        for (std::size_t c = 0; c < cols; ++c) {
            moved.push_back(std::move(cells_[static_cast<std::size_t>(row) * cols + c]));
        }
    }
    std::move(moved.begin(), moved.end(),
              cells_.begin() + static_cast<std::ptrdiff_t>(first * cols));
}

bool TextGrid::RowIsEmpty(int row) const {
    for (int c = 0; c < columns_; ++c) {
        if (!Cell(c, row).empty()) return false;
    }
    return true;
}

void SelectableGrid::SetRowCount(int rows) {
    TextGrid::SetRowCount(rows);
    if (selection_ && *selection_ >= RowCount()) selection_.reset();
    top_ = std::clamp(top_, 0, std::max(RowCount() - 1, 0));
}

bool SelectableGrid::CanSelect(int row) const {
    return row >= 0 && row < RowCount() && !Cell(0, row).empty();
}

bool SelectableGrid::Select(int row) {
    if (!CanSelect(row)) return false;
    selection_ = row;
    return true;
}

void SelectableGrid::SetTopRow(int top, int visibleRows) {
    int maxTop = std::max(RowCount() - std::max(visibleRows, 1), 0);
    top_ = std::clamp(top, 0, maxTop);
}

void SelectableGrid::KeepVisible(int row, int visibleRows) {
    visibleRows = std::max(visibleRows, 1);
    if (row < top_) {
        SetTopRow(row, visibleRows);
    } else if (row >= top_ + visibleRows) {
        SetTopRow(row - visibleRows + 1, visibleRows);
    }
}

WheelResult SelectableGrid::WheelUp(int visibleRows) {
    if (!selection_) {
        int before = top_;
        SetTopRow(top_ - 1, visibleRows);
        return top_ != before ? WheelResult::Scrolled : WheelResult::Unchanged;
    }
    int row = *selection_;
    if (row <= 0 || !Select(row - 1)) return WheelResult::Unchanged;
    KeepVisible(row - 1, visibleRows);
    return WheelResult::SelectionMoved;
}

WheelResult SelectableGrid::WheelDown(int visibleRows) {
    if (!selection_) {
        int before = top_;
        SetTopRow(top_ + 1, visibleRows);
        return top_ != before ? WheelResult::Scrolled : WheelResult::Unchanged;
    }
    int row = *selection_;
    if (row >= RowCount() - 1 || !Select(row + 1)) return WheelResult::Unchanged;
    KeepVisible(row + 1, visibleRows);
    return WheelResult::SelectionMoved;
}

}  // namespace korvel
