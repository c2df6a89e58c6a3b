// The column sort orders row numbers with keys read once and moves the rows once at the end.
// Here it is compared with the partition sort done literally, exchanging whole rows of the
// grid at every step, over many grids full of equal keys, empty cells, "-" fares and
// numbers, in both directions: the same rows must come out in the same order, including
// the "0" the numeric sort writes into empty cells.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "views/grid_sort.h"
#include "views/text_grid.h"

namespace korvel {
namespace {

std::optional<double> PlainValue(const std::string& s) {
    if (s.empty()) return 0.0;
    if (s.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
    if (s.find_first_of("0123456789") == std::string::npos) return std::nullopt;
    if (s.find('.') != s.rfind('.')) return std::nullopt;
    double v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

bool PlainLess(const std::string& a, const std::string& b, bool numeric) {
    if (!numeric) return a < b;
    const auto va = PlainValue(a), vb = PlainValue(b);
    if (va && vb) return *va < *vb;
    if (va.has_value() != vb.has_value()) return va.has_value();
    return a < b;
}

// The procedure as written: pivot text copied from the middle row, strict scans, whole rows
// exchanged while i <= j, then both parts.
void PlainSort(TextGrid& g, int first, int last, int c, bool asc, bool numeric) {
    auto before = [&](const std::string& x, const std::string& y) {
        return asc ? PlainLess(x, y, numeric) : PlainLess(y, x, numeric);
    };
    int i = first, j = last;
    std::string pivot = g.Cell(c, first + (last - first) / 2);
    if (numeric && pivot.empty()) pivot = "0";
    do {
        if (numeric) {
            if (g.Cell(c, i).empty()) g.SetCell(c, i, "0");
            if (g.Cell(c, j).empty()) g.SetCell(c, j, "0");
        }
        while (i < last && before(g.Cell(c, i), pivot)) ++i;
        while (j > first && before(pivot, g.Cell(c, j))) --j;
        if (i <= j) {
            g.SwapRows(i, j);
            ++i;
            --j;
        }
    } while (i <= j);
    if (first < j) PlainSort(g, first, j, c, asc, numeric);
    if (i < last) PlainSort(g, i, last, c, asc, numeric);
}

std::string Dump(const TextGrid& g) {
    std::string s;
    for (int r = 0; r < g.RowCount(); ++r) {
        for (int c = 0; c < g.ColumnCount(); ++c) s += g.Cell(c, r) + "|";
        s += "\n";
    }
    return s;
}

TEST(GridSortEquality, KeysReadOnceGiveTheRowExchangingOrder) {
    static const char* kValues[] = {
        "",  "-",        "0", "7", "12", "12.5", "95", "100", "09:30", "10:05", "\xB1\xB1\xBE\xA9",
        "a", "38/41/43", "12"};
    std::uint32_t seed = 7;
    auto next = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    int sorts = 0;
    for (int round = 0; round < 3000; ++round) {
        const int rows = 1 + static_cast<int>(next(round % 10 == 0 ? 400 : 30));
        TextGrid a(4, rows + 2);
        for (int r = 0; r < rows + 2; ++r) {
            a.SetCell(0, r, kValues[next(std::size(kValues))]);
            a.SetCell(1, r, kValues[next(4)]);   // many equal keys
            a.SetCell(2, r, std::to_string(r));  // tells the rows apart
            a.SetCell(3, r, kValues[next(std::size(kValues))]);
        }
        TextGrid b = a;
        static const int kColumns[] = {0, 1, 3};
        const int column = kColumns[next(3)];
        const bool asc = next(2) == 0;
        const bool numeric = next(2) == 0;
        const int first = static_cast<int>(next(2));
        const int count = rows;
        PlainSort(a, first, first + count - 1, column, asc, numeric);
        SortGridByColumn(b, first, count, column, asc, numeric);
        ASSERT_EQ(Dump(a), Dump(b)) << "round " << round << " column " << column
                                    << (asc ? " up" : " down") << (numeric ? " numeric" : "");
        ++sorts;
    }
    EXPECT_EQ(sorts, 3000);
}

}  // namespace
}  // namespace korvel
