// Plain text grids behind the result, transfer and stop windows: columns x rows of GBK
// strings, plus the row selection and wheel rules that all three grids share.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvel {

class TextGrid {
  public:
    TextGrid(int columns, int rows);
    virtual ~TextGrid() = default;
    TextGrid(const TextGrid&) = default;
    TextGrid& operator=(const TextGrid&) = default;
    TextGrid(TextGrid&&) = default;
    TextGrid& operator=(TextGrid&&) = default;

    int ColumnCount() const { return columns_; }
    int RowCount() const { return rows_; }
    // New rows are empty; rows cut off are lost.
    virtual void SetRowCount(int rows);

    // Out-of-range cells read as empty text and ignore writes.
    const std::string& Cell(int column, int row) const;
    void SetCell(int column, int row, std::string text);
    // Direct access for the sort; the cell must exist.
    std::string& CellRef(int column, int row);

    // Empties every cell; the row count stays.
    void ClearCells();
    // Exchanges the texts of two rows in every column.
    void SwapRows(int a, int b);
    // Puts rows in a new order: row first + k receives what was row order[k]. `order` must
    // be a permutation of first .. first + order.size() - 1.
    void ReorderRows(int first, const std::vector<int>& order);
    bool RowIsEmpty(int row) const;

  private:
    int columns_;
    int rows_;
    std::vector<std::string> cells_;  // row-major
};

enum class WheelResult {
    Scrolled,        // no row selected: the view moved by one row
    SelectionMoved,  // the selection moved to the neighbouring row
    Unchanged,       // nothing could move (first/last row, or the neighbour is empty)
};

// A grid with at most one selected row and a scroll position. "No row selected" is an
// explicit state; a row may only be selected when its column 0 is not empty.
class SelectableGrid : public TextGrid {
  public:
    using TextGrid::TextGrid;

    // Shrinking below the selected row drops the selection; the scroll position is kept
    // inside the grid.
    void SetRowCount(int rows) override;

    bool CanSelect(int row) const;
    std::optional<int> Selection() const { return selection_; }
    // Refused (returns false, selection unchanged) for a row that cannot be selected.
    bool Select(int row);
    void ClearSelection() { selection_.reset(); }

    // First visible row.
    int TopRow() const { return top_; }
    // Clamped to 0 .. RowCount() - visibleRows (at least 0).
    void SetTopRow(int top, int visibleRows);
    // Scrolls just enough for `row` to be among the visible rows.
    void KeepVisible(int row, int visibleRows);

    // Wheel over the grid, visibleRows being how many rows the view shows. Without a
    // selection the view scrolls one row; with one the selection moves one row (and the
    // view follows it).
    WheelResult WheelUp(int visibleRows);
    WheelResult WheelDown(int visibleRows);

  private:
    std::optional<int> selection_;
    int top_ = 0;
};

}  // namespace korvel
