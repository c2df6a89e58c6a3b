// Column sorting shared by the result grid and the transfer grid, and the header labels
// that carry the sort marker (bold caption ending in an up or down arrow).
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "views/text_grid.h"

namespace korvel {

// The arrows appended to the sorted column's caption (one GBK character, two bytes each).
inline constexpr std::string_view kArrowUp = "\xA1\xFC";    // "↑"
inline constexpr std::string_view kArrowDown = "\xA1\xFD";  // "↓"

// The row of clickable header labels above a grid. The sort state lives in the labels:
// at most one is bold, and its caption is the plain caption followed by an arrow.
class HeaderLabels {
  public:
    explicit HeaderLabels(std::vector<std::string> plainCaptions);

    int Count() const { return static_cast<int>(captions_.size()); }
    // Caption as shown (with the arrow on the sorted column).
    const std::string& Caption(int column) const { return captions_.at(column); }
    bool Bold(int column) const { return bold_.at(column) != 0; }

    // The sorted column (the first bold label) and its direction.
    std::optional<int> SortedColumn() const;
    bool Ascending() const;

    // A click on the label of `column`: the first click marks it ascending, a further click
    // reverses the direction, and the previously marked label loses its marker (its last two
    // bytes are cut). Returns the direction to sort in.
    bool Click(int column);

  private:
    std::vector<std::string> captions_;
    std::vector<char> bold_;
};

struct SortKey {
    int column = 0;
    bool ascending = true;
    bool numeric = false;
};

// Exchanges two rows of the grid in every column.
void SwapGridRows(TextGrid& grid, int a, int b);

// The partition sort over rows first..last (inclusive): pivot copied from the middle row,
// strict comparisons, exchange while i <= j, then first..j and i..last.
// Text compares GBK bytes unsigned, a proper prefix first. Numeric compares decimal values
// ("." as decimal point); an empty cell met at the start of a pass is written "0". Cells
// that are not numbers (such as "-") sort after every number when ascending and before them
// when descending, among themselves by text, so the sort always completes.
void QuickSortGridRows(TextGrid& grid, int first, int last, const SortKey& key);

// Sorts rows first .. first+rowCount-1 of the grid by one column. Never fails.
void SortGridByColumn(TextGrid& grid, int first, int rowCount, int column, bool ascending,
                      bool numeric);

// A header click on a grid with `shownCount` filled rows: does nothing (markers untouched)
// when shownCount < 1; otherwise moves the marker and sorts the filled rows. Returns whether
// it sorted.
bool SortByHeaderClick(TextGrid& grid, int shownCount, HeaderLabels& labels, int column,
                       std::initializer_list<int> numericColumns);

// Sorts the filled rows again by the marked column, if any label is marked.
bool ReapplyHeaderSort(TextGrid& grid, int shownCount, const HeaderLabels& labels,
                       std::initializer_list<int> numericColumns);

}  // namespace korvel
