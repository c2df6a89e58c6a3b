#include "views/grid_sort.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "data/decimal.h"

namespace korvel {

HeaderLabels::HeaderLabels(std::vector<std::string> plainCaptions)
    : plain_(std::move(plainCaptions)), captions_(plain_) {}

void HeaderLabels::SetCaption(int column) {
    captions_[column] = plain_[column];
    if (sorted_ == column) captions_[column] += ascending_ ? kArrowUp : kArrowDown;
}

bool HeaderLabels::Click(int column) {
    if (column < 0 || column >= Count()) return true;
    const std::optional<int> before = sorted_;
    ascending_ = before == column ? !ascending_ : true;
    sorted_ = column;
    if (before) SetCaption(*before);
    SetCaption(column);
    return ascending_;
}

void SwapGridRows(TextGrid& grid, int a, int b) {
    grid.SwapRows(a, b);
}

namespace {

// A cell's value in a numeric column: a decimal number, blanks around it and a '+' before
// it allowed; nothing for any other text. Empty text reads as 0, like the "0" the sort
// writes into an empty cell.
std::optional<double> CellValue(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.empty()) return 0.0;
    if (s.front() == '+' && (s.size() < 2 || s[1] != '-')) s.remove_prefix(1);
    return DecimalNumber(s);
}

}  // namespace

namespace {

// The sort column of one row, read once: its text and, in numeric mode, its value. The
// order: text by unsigned bytes; numbers by value, before non-numbers, which order among
// themselves by text.
struct RowKey {
    const std::string* text = nullptr;
    std::optional<double> value;
};

// The partition sort works on row numbers and keys read once per row; the grid's rows are
// moved into the resulting order once at the end. The procedure and therefore the order of
// rows with equal keys are those of exchanging whole rows at every step.
class RowSorter {
  public:
    RowSorter(TextGrid& grid, int first, int last, const SortKey& key)
        : grid_(grid), key_(key), first_(first) {
        for (int r = first; r <= last; ++r) {
            rows_.push_back(r);
            keys_.push_back(ReadKey(r));
        }
    }

    void Sort(int l, int r) {
        int i = l;
        int j = r;
        RowKey pivot = keys_[Slot(l + (r - l) / 2)];
        if (key_.numeric && pivot.text->empty()) pivot = RowKey{&kZero, 0.0};
        do {
            if (key_.numeric) {
                ZeroIfEmpty(i);
                ZeroIfEmpty(j);
            }
            while (i < r && Before(keys_[Slot(i)], pivot)) ++i;
            while (j > l && Before(pivot, keys_[Slot(j)])) --j;
            if (i <= j) {
                std::swap(rows_[Slot(i)], rows_[Slot(j)]);
                std::swap(keys_[Slot(i)], keys_[Slot(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j) Sort(l, j);
        if (i < r) Sort(i, r);
    }

    // Moves the rows into the order reached.
    void Apply() { grid_.ReorderRows(first_, rows_); }

  private:
    static const std::string kZero;

    std::size_t Slot(int position) const { return static_cast<std::size_t>(position - first_); }

    RowKey ReadKey(int row) {
        RowKey k;
        k.text = &grid_.CellRef(key_.column, row);
        if (key_.numeric) k.value = CellValue(*k.text);
        return k;
    }

    // An empty cell met at the start of a pass is written "0" (its value is 0 either way).
    void ZeroIfEmpty(int position) {
        std::string& cell = grid_.CellRef(key_.column, rows_[Slot(position)]);
        if (cell.empty()) cell = "0";
    }

    bool Less(const RowKey& a, const RowKey& b) const {
        if (!key_.numeric) return *a.text < *b.text;
        if (a.value && b.value) return *a.value < *b.value;
        if (a.value.has_value() != b.value.has_value()) return a.value.has_value();
        return *a.text < *b.text;
    }
    bool Before(const RowKey& x, const RowKey& y) const {
        return key_.ascending ? Less(x, y) : Less(y, x);
    }

    TextGrid& grid_;
    SortKey key_;
    int first_;
    std::vector<int> rows_;     // position -> grid row
    std::vector<RowKey> keys_;  // position -> key of that row
};

const std::string RowSorter::kZero = "0";

// The same procedure over keys given beforehand.
class ValueSorter {
  public:
    ValueSorter(const std::vector<SortValue>& keys, bool ascending, bool byNumber)
        : keys_(keys), ascending_(ascending), byNumber_(byNumber) {
        for (std::size_t i = 0; i < keys.size(); ++i) order_.push_back(static_cast<int>(i));
    }

    void Sort(int l, int r) {
        int i = l;
        int j = r;
        const SortValue& pivot = keys_[order_[l + (r - l) / 2]];
        do {
            while (i < r && Before(keys_[order_[i]], pivot)) ++i;
            while (j > l && Before(pivot, keys_[order_[j]])) --j;
            if (i <= j) {
                std::swap(order_[i], order_[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j) Sort(l, j);
        if (i < r) Sort(i, r);
    }

    std::vector<int> Order() const { return order_; }

  private:
    bool Less(const SortValue& a, const SortValue& b) const {
        if (!byNumber_) return a.text < b.text;
        if (a.number && b.number) return *a.number < *b.number;
        if (a.number.has_value() != b.number.has_value()) return a.number.has_value();
        return a.text < b.text;
    }
    bool Before(const SortValue& x, const SortValue& y) const {
        return ascending_ ? Less(x, y) : Less(y, x);
    }

    const std::vector<SortValue>& keys_;
    bool ascending_;
    bool byNumber_;
    std::vector<int> order_;
};

}  // namespace

std::vector<int> SortOrder(const std::vector<SortValue>& keys, bool ascending, bool byNumber) {
    ValueSorter sorter(keys, ascending, byNumber);
    if (!keys.empty()) sorter.Sort(0, static_cast<int>(keys.size()) - 1);
    return sorter.Order();
}

void QuickSortGridRows(TextGrid& grid, int first, int last, const SortKey& key) {
    if (last < first) return;
    RowSorter sorter(grid, first, last, key);
    try {
        sorter.Sort(first, last);
    } catch (...) {
        sorter.Apply();  // the rows keep the order reached
        throw;
    }
    sorter.Apply();
}

void SortGridByColumn(TextGrid& grid, int first, int rowCount, int column, bool ascending,
                      bool numeric) {
    first = std::max(first, 0);
    int last = std::min(first + rowCount, grid.RowCount()) - 1;
    if (last < first || column < 0 || column >= grid.ColumnCount()) return;
    try {
        QuickSortGridRows(grid, first, last, SortKey{column, ascending, numeric});
    } catch (...) {
        // The sort never reports failure; the rows keep the order reached.
    }
}

static bool IsNumericColumn(int column, std::initializer_list<int> numericColumns) {
    return std::find(numericColumns.begin(), numericColumns.end(), column) != numericColumns.end();
}

bool SortByHeaderClick(TextGrid& grid, int shownCount, HeaderLabels& labels, int column,
                       std::initializer_list<int> numericColumns) {
    if (shownCount < 1 || column < 0 || column >= labels.Count()) return false;
    bool ascending = labels.Click(column);
    SortGridByColumn(grid, 0, shownCount, column, ascending,
                     IsNumericColumn(column, numericColumns));
    return true;
}

bool ReapplyHeaderSort(TextGrid& grid, int shownCount, const HeaderLabels& labels,
                       std::initializer_list<int> numericColumns) {
    if (shownCount < 1) return false;
    std::optional<int> column = labels.SortedColumn();
    if (!column) return false;
    SortGridByColumn(grid, 0, shownCount, *column, labels.Ascending(),
                     IsNumericColumn(*column, numericColumns));
    return true;
}

}  // namespace korvel
