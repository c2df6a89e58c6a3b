#include "views/transfer_window.h"

#include "data/decimal.h"
#include "query/fare_tariff.h"
#include "views/row_text.h"

namespace korvel {

void TransferWindowModel::Fill(const TransferData& data, std::string_view fromTyped,
                               std::string_view toTyped) {
    for (const TransferCandidate& z : data.TransferList) {
        if (!data.timetable) break;
        const std::string& station = StationText(*data.timetable, z.station);
        if (z.Count2 <= 0 || station == fromTyped || station == toTyped) continue;
        AddRow(Row{station, std::to_string(z.Dist1), std::to_string(z.Dist2),
                   std::to_string(z.DistAll), RideTimeText(z.Time1), RideTimeText(z.Time2),
                   RideTimeText(z.TimeAll()), std::to_string(z.Count1), std::to_string(z.Count2)});
    }
    FinishFill();
}

namespace {

// Columns compared as numbers: the distances and counts, and the riding times (as minutes).
bool IsNumberColumn(int column) {
    return column >= 1 && column <= 8;
}
bool IsTimeColumn(int column) {
    return column >= 4 && column <= 6;
}

int DecimalOrZero(const std::string& text) {
    return WholeInteger<int>(text).value_or(0);
}

}  // namespace

TransferWindowModel::TransferWindowModel()
    : grid_(kColumns, kInitialRows),
      labels_({
          "\xD6\xD0\xD7\xAA\xD5\xBE",          // 中转站
          "\xC7\xB0\xC0\xEF\xB3\xCC",          // 前里程
          "\xBA\xF3\xC0\xEF\xB3\xCC",          // 后里程
          "\xD7\xDC\xC0\xEF\xB3\xCC",          // 总里程
          "\xC7\xB0\xC0\xFA\xCA\xB1",          // 前历时
          "\xBA\xF3\xC0\xFA\xCA\xB1",          // 后历时
          "\xD7\xDC\xC0\xFA\xCA\xB1",          // 总历时
          "\xB7\xA2\xD5\xBE\xB3\xB5\xCA\xFD",  // 发站车数
          "\xB5\xBD\xD5\xBE\xB3\xB5\xCA\xFD",  // 到站车数
      }) {}

void TransferWindowModel::AddRow(const Row& row) {
    ++stationCount_;
    if (stationCount_ > grid_.RowCount()) grid_.SetRowCount(stationCount_);
    for (int c = 0; c < kColumns; ++c) grid_.SetCell(c, stationCount_ - 1, row[c]);
}

void TransferWindowModel::FinishFill() {
    HeaderClick(1);
}

std::string TransferWindowModel::Caption() const {
    // 两地共有<N>个中转站供选择:
    return "\xC1\xBD\xB5\xD8\xB9\xB2\xD3\xD0<" + std::to_string(stationCount_) +
           ">\xB8\xF6\xD6\xD0\xD7\xAA\xD5\xBE\xB9\xA9\xD1\xA1\xD4\xF1:";
}

std::string TransferWindowModel::InfoText() {
    // 中转换乘牵涉因素较多，请综合各种因素进行换乘站选择。
    return "\xD6\xD0\xD7\xAA\xBB\xBB\xB3\xCB\xC7\xA3\xC9\xE6\xD2\xF2\xCB\xD8\xBD\xCF\xB6\xE0"
           "\xA3\xAC\xC7\xEB\xD7\xDB\xBA\xCF\xB8\xF7\xD6\xD6\xD2\xF2\xCB\xD8\xBD\xF8\xD0\xD0"
           "\xBB\xBB\xB3\xCB\xD5\xBE\xD1\xA1\xD4\xF1\xA1\xA3";
}

std::string TransferWindowModel::GridHint() {
    // 点击标题栏，可以根据各种条件排序。
    return "\xB5\xE3\xBB\xF7\xB1\xEA\xCC\xE2\xC0\xB8\xA3\xAC\xBF\xC9\xD2\xD4\xB8\xF9\xBE\xDD"
           "\xB8\xF7\xD6\xD6\xCC\xF5\xBC\xFE\xC5\xC5\xD0\xF2\xA1\xA3";
}

bool TransferWindowModel::HeaderClick(int labelNumber) {
    const int column = labelNumber - 1;
    if (stationCount_ < 1 || column < 0 || column >= labels_.Count()) return false;
    const bool ascending = labels_.Click(column);
    std::vector<SortValue> keys(static_cast<std::size_t>(stationCount_));
    for (int r = 0; r < stationCount_; ++r) {
        SortValue& k = keys[static_cast<std::size_t>(r)];
        k.text = grid_.Cell(column, r);
        if (!IsNumberColumn(column)) continue;
        const std::optional<std::int64_t> v =
            IsTimeColumn(column) ? std::optional<std::int64_t>(ElapsedToMinutes(k.text))
                                 : WholeInteger<std::int64_t>(k.text);
        if (v) k.number = std::array<std::int64_t, 3>{*v, 0, 0};
    }
    grid_.ReorderRows(0, SortOrder(keys, ascending, IsNumberColumn(column)));
    return true;
}

std::optional<TransferPick> TransferWindowModel::Pick(int row) const {
    if (row < 0 || row >= stationCount_ || grid_.Cell(0, row).empty()) return std::nullopt;
    return TransferPick{grid_.Cell(0, row), DecimalOrZero(grid_.Cell(7, row)),
                        DecimalOrZero(grid_.Cell(8, row))};
}

std::optional<TransferPick> TransferWindowModel::PickCurrent() {
    std::optional<int> row = grid_.Selection();
    if (!row) return std::nullopt;
    std::optional<TransferPick> pick = Pick(*row);
    if (pick && onPick) onPick(*pick);
    return pick;
}

std::optional<TransferPick> TransferWindowModel::ClickRow(int row) {
    grid_.Select(row);  // a refused click keeps the current row
    return PickCurrent();
}

std::optional<TransferPick> TransferWindowModel::WheelUp(int visibleRows) {
    if (grid_.WheelUp(visibleRows) != WheelResult::SelectionMoved) return std::nullopt;
    return PickCurrent();
}

std::optional<TransferPick> TransferWindowModel::WheelDown(int visibleRows) {
    if (grid_.WheelDown(visibleRows) != WheelResult::SelectionMoved) return std::nullopt;
    return PickCurrent();
}

}  // namespace korvel
