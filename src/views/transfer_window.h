// The transfer window model: one row per candidate transfer station with the distances,
// riding times and train counts of both legs, sortable by header, pickable by row.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "query/queries.h"
#include "views/grid_sort.h"
#include "views/text_grid.h"

namespace korvel {

// The station and leg counts of a picked row, for ShowTransferLegs.
struct TransferPick {
    std::string station;
    int count1 = 0;
    int count2 = 0;
};

// Columns: 0 中转站, 1 前里程, 2 后里程, 3 总里程, 4 前历时, 5 后历时, 6 总历时, 7 发站车数,
// 8 到站车数. Columns 1, 2, 3, 7, 8 sort by value, the others as text.
class TransferWindowModel {
  public:
    static constexpr int kColumns = 9;
    static constexpr int kInitialRows = 20;
    using Row = std::array<std::string, kColumns>;

    TransferWindowModel();

    // Appends one filled row (raising the row count past 20 as needed).
    void AddRow(const Row& row);

    // Fills the window from the candidate list of a transfer query: takes the entries with
    // Count2 > 0 whose station is neither typed name, in list order, then sorts by station
    // as a header click on "中转站" does (no marker when nothing was taken).
    void Fill(const TransferData& data, std::string_view fromTyped, std::string_view toTyped);
    // The initial sort by station (after AddRow calls).
    void FinishFill();

    int StationCount() const { return stationCount_; }
    const SelectableGrid& Grid() const { return grid_; }
    SelectableGrid& Grid() { return grid_; }
    const HeaderLabels& Labels() const { return labels_; }

    // "两地共有<N>个中转站供选择:"
    std::string Caption() const;
    // "中转换乘牵涉因素较多，请综合各种因素进行换乘站选择。"
    static std::string InfoText();
    // "点击标题栏，可以根据各种条件排序。"
    static std::string GridHint();

    // Header click on label HeaderN (N = 1..9). Nothing happens with an empty list.
    bool HeaderClick(int labelNumber);

    // The station of a filled row; nothing for a blank row.
    std::optional<TransferPick> Pick(int row) const;

    // A click on a row: selects it when it may be selected, then picks the current row
    // (which stays the previous one when the click was refused). Nothing is picked while no
    // row has been selected. The pick handler, when set, runs with the result.
    std::optional<TransferPick> ClickRow(int row);
    // The wheel: without a selection the list scrolls; with one the selection moves and the
    // new row is picked as by a click.
    std::optional<TransferPick> WheelUp(int visibleRows);
    std::optional<TransferPick> WheelDown(int visibleRows);

    // Called for every pick from ClickRow and the wheel (the controller loads the legs).
    std::function<void(const TransferPick&)> onPick;

  private:
    std::optional<TransferPick> PickCurrent();
    SelectableGrid grid_;
    HeaderLabels labels_;
    int stationCount_ = 0;
};

}  // namespace korvel
