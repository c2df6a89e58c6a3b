// Column sorting shared by the result grid and the transfer grid, and the header labels
// that carry the sort marker (bold caption ending in an up or down arrow).
#pragma once

#include <array>
#include <cstdint>
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

// The row of clickable header labels above a grid and the sort they stand for: at most one
// column is sorted, in one direction; its label is bold and its caption ends in an arrow.
class HeaderLabels {
  public:
    explicit HeaderLabels(std::vector<std::string> plainCaptions);

    int Count() const { return static_cast<int>(captions_.size()); }
    // Caption as shown (with the arrow on the sorted column).
    const std::string& Caption(int column) const { return captions_.at(column); }
    bool Bold(int column) const { return sorted_ && *sorted_ == column; }

    // The sorted column and its direction.
    std::optional<int> SortedColumn() const { return sorted_; }
    bool Ascending() const { return sorted_ && ascending_; }

    // A click on the label of `column`: the first click sorts it ascending, a further click
    // reverses the direction, and the previously sorted column is no longer marked. Returns
    // the direction to sort in.
    bool Click(int column);

  private:
    void SetCaption(int column);

    std::vector<std::string> plain_;
    std::vector<std::string> captions_;
    std::optional<int> sorted_;
    bool ascending_ = true;
};

// A row's sort key in a column compared by value: its numbers (a fare's berths in turn), or
// none (a fare not offered), and its text, which orders rows without a number among
// themselves and is the whole key of a text column.
struct SortValue {
    std::string text;
    std::optional<std::array<std::int64_t, 3>> number;
};

// The order the partition sort (as QuickSortGridRows does it) puts keys 0..n-1 in: by text
// (GBK bytes unsigned, a proper prefix first), or by number with rows that have none after
// every number when ascending and before them when descending. Element k of the result is
// the index of the key that goes to position k.
std::vector<int> SortOrder(const std::vector<SortValue>& keys, bool ascending, bool byNumber);

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
