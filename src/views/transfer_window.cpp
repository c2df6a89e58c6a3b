#include "views/transfer_window.h"

#include "data/decimal.h"

namespace korvel {

namespace {

constexpr std::initializer_list<int> kTransferNumeric = {1, 2, 3, 7, 8};

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
    return SortByHeaderClick(grid_, stationCount_, labels_, labelNumber - 1, kTransferNumeric);
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
