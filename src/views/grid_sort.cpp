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

int ColumnFromLabelName(std::string_view labelName) {
    if (labelName.size() < 4) return -1;
    std::string_view digits = labelName.substr(3, 2);
    int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value < 1) return -1;
    return value - 1;
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

// Total order of the sort: text by unsigned bytes; numbers by value, before non-numbers,
// which order among themselves by text.
bool Less(const std::string& a, const std::string& b, bool numeric) {
    if (!numeric) return a < b;  // char_traits<char> compares bytes as unsigned
    std::optional<double> va = ParseDecimal(a);
    std::optional<double> vb = ParseDecimal(b);
    if (va && vb) return *va < *vb;
    if (va.has_value() != vb.has_value()) return va.has_value();
    return a < b;
}

}  // namespace

void QuickSortGridRows(TextGrid& grid, int first, int last, const SortKey& key) {
    const int c = key.column;
    // "x comes before y" in the requested direction.
    auto before = [&](const std::string& x, const std::string& y) {
        return key.ascending ? Less(x, y, key.numeric) : Less(y, x, key.numeric);
    };
    int i = first;
    int j = last;
    std::string pivot = grid.CellRef(c, first + (last - first) / 2);
    if (key.numeric && pivot.empty()) pivot = "0";
    do {
        if (key.numeric) {
            if (grid.CellRef(c, i).empty()) grid.CellRef(c, i) = "0";
            if (grid.CellRef(c, j).empty()) grid.CellRef(c, j) = "0";
        }
        while (i < last && before(grid.CellRef(c, i), pivot)) ++i;
        while (j > first && before(pivot, grid.CellRef(c, j))) --j;
        if (i <= j) {
            SwapGridRows(grid, i, j);
            ++i;
            --j;
        }
    } while (i <= j);
    if (first < j) QuickSortGridRows(grid, first, j, key);
    if (i < last) QuickSortGridRows(grid, i, last, key);
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
