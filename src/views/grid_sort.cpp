#include "views/grid_sort.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

namespace korvel {

HeaderLabels::HeaderLabels(std::vector<std::string> plainCaptions)
    : captions_(std::move(plainCaptions)), bold_(captions_.size(), 0) {}

std::optional<int> HeaderLabels::SortedColumn() const {
    for (int i = 0; i < Count(); ++i) {
        if (bold_[i]) return i;
    }
    return std::nullopt;
}

bool HeaderLabels::Ascending() const {
    std::optional<int> c = SortedColumn();
    return c && captions_[*c].ends_with(kArrowUp);
}

static void ReplaceArrow(std::string& caption, std::string_view arrow) {
    caption.resize(caption.size() >= 2 ? caption.size() - 2 : 0);
    caption += arrow;
}

bool HeaderLabels::Click(int column) {
    bool ascending = true;
    for (int i = 0; i < Count(); ++i) {
        std::string& caption = captions_[i];
        if (!bold_[i]) {
            if (i == column) {
                bold_[i] = 1;
                caption += kArrowUp;
            }
        } else if (i != column) {
            bold_[i] = 0;
            caption.resize(caption.size() >= 2 ? caption.size() - 2 : 0);
        } else if (caption.ends_with(kArrowUp)) {
            ascending = false;
            ReplaceArrow(caption, kArrowDown);
        } else if (caption.ends_with(kArrowDown)) {
            ReplaceArrow(caption, kArrowUp);
        }
    }
    return ascending;
}

void SwapGridRows(TextGrid& grid, int a, int b) {
    grid.SwapRows(a, b);
}

namespace {

// A decimal number with "." as decimal point and optional exponent, blanks around it
// allowed; nothing for any other text. Empty text reads as 0, like the "0" the sort writes.
std::optional<double> ParseDecimal(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (s.empty()) return 0.0;
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    // Only digits, one point and an exponent: from_chars alone would also take "inf"/"nan".
    std::size_t p = 0, mantissaDigits = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++mantissaDigits;
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++mantissaDigits;
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        ++p;
        if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
        std::size_t expDigits = 0;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9') ++p, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (p != s.size()) return std::nullopt;
    double value = 0;
    std::string_view body = s;
    if (body.front() == '.') {
        // from_chars needs a digit before the point.
        std::string padded = "0" + std::string(body);
        auto r = std::from_chars(padded.data(), padded.data() + padded.size(), value);
        if (r.ec != std::errc()) return std::nullopt;
    } else {
        auto r = std::from_chars(body.data(), body.data() + body.size(), value);
        if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range) return std::nullopt;
    }
    return negative ? -value : value;
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
        if (key_.numeric) k.value = ParseDecimal(*k.text);
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

}  // namespace

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
