#include "views/result_grid.h"

#include <string>

#include "views/row_text.h"

namespace korvel {

void ResultGrid::Reset() {
    ClearCells();
    SetRowCount(kMinRows);
    ClearSelection();
    SetTopRow(0, 1);  // a new result is shown from its first row
    shown_ = 0;
    rows_.clear();
    timetable_.reset();
}

namespace {

// A row's value in a main-grid column that sorts by value; none for a fare the row lacks.
std::optional<std::array<std::int64_t, 3>> MainValue(const ResultRow& r, MainColumn column) {
    auto one = [](std::int64_t v) { return std::array<std::int64_t, 3>{v, 0, 0}; };
    switch (column) {
        case MainColumn::Departure:
            return one(r.departure);
        case MainColumn::Arrival:
            return one(r.arrival);
        case MainColumn::Stops:
            return one(r.StopCount());
        case MainColumn::Distance:
            return one(r.SpanKm());
        case MainColumn::RideTime:
            return one(r.rideMinutes);
        case MainColumn::HardSeat:
        case MainColumn::SoftSeat:
        case MainColumn::HardSleeper:
        case MainColumn::SoftSleeper: {
            const FareValue& f =
                r.fares[static_cast<int>(column) - static_cast<int>(MainColumn::HardSeat)];
            if (!f.HasFare()) return std::nullopt;
            return f.tenths;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

void ResultGrid::SortShown(int column, bool ascending) {
    if (shown_ < 1 || column < 0 || column >= kColumns) return;
    const bool byValue = IsMainNumericColumn(column);
    std::vector<SortValue> keys(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        keys[i].text = Cell(column, static_cast<int>(i));
        if (byValue) keys[i].number = MainValue(rows_[i], MainColumn(column));
    }
    const std::vector<int> order = SortOrder(keys, ascending, byValue);
    ReorderRows(0, order);
    std::vector<ResultRow> sorted;
    sorted.reserve(rows_.size());
    for (int i : order) sorted.push_back(rows_[static_cast<std::size_t>(i)]);
    rows_ = std::move(sorted);
}

RowColour ResultGrid::RowColourOf(int row, std::string_view transferStation) const {
    const std::string& boarding = Cell(4, row);
    if (boarding == Cell(1, row)) return RowColour::Red;
    if (boarding == transferStation) return RowColour::Blue;
    return RowColour::Normal;
}

std::optional<int> ResultGrid::DoubleClickRow(std::size_t resultCount) const {
    std::optional<int> row = Selection();
    if (!row || static_cast<std::size_t>(*row) >= resultCount || Cell(0, *row).empty()) {
        return std::nullopt;
    }
    return row;
}

std::string ResultLabelText(int shownCount) {
    return "\xBD\xE1\xB9\xFB:" + std::to_string(shownCount);  // 结果:
}

const std::vector<std::string>& MainMiddleCaptions() {
    static const std::vector<std::string> captions = {
        "\xB3\xB5\xD0\xCD",  // 车型
        "\xB7\xA2\xD5\xBE",  // 发站
        "\xB7\xA2\xCA\xB1",  // 发时
        "\xB5\xBD\xD5\xBE",  // 到站
        "\xB5\xBD\xCA\xB1",  // 到时
        "\xCD\xA3\xD5\xBE",  // 停站
        "\xC0\xEF\xB3\xCC",  // 里程
        "\xC0\xFA\xCA\xB1",  // 历时
        "\xD3\xB2\xD7\xF9",  // 硬座
        "\xC8\xED\xD7\xF9",  // 软座
    };
    return captions;
}

HeaderLabels MainHeaderLabels() {
    std::vector<std::string> captions = {
        "\xB3\xB5 \xB4\xCE",         // 车 次
        "\xCA\xBC\xB7\xA2\xD5\xBE",  // 始发站
        "\xD6\xD5\xB5\xBD\xD5\xBE",  // 终到站
    };
    captions.insert(captions.end(), MainMiddleCaptions().begin(), MainMiddleCaptions().end());
    captions.push_back("\xD3\xB2\xCE\xD4\xC9\xCF/\xD6\xD0/\xCF\xC2");  // 硬卧上/中/下
    captions.push_back("\xC8\xED\xCE\xD4\xC9\xCF/\xCF\xC2");           // 软卧上/下
    return HeaderLabels(std::move(captions));
}

bool IsMainNumericColumn(int column) {
    switch (MainColumn(column)) {
        case MainColumn::Departure:
        case MainColumn::Arrival:
        case MainColumn::Stops:
        case MainColumn::Distance:
        case MainColumn::RideTime:
        case MainColumn::HardSeat:
        case MainColumn::SoftSeat:
        case MainColumn::HardSleeper:
        case MainColumn::SoftSleeper:
            return true;
        default:
            return false;
    }
}

namespace {

bool IsEmuNumber(const std::string& trainNo) {
    if (trainNo.empty()) return false;
    char c = trainNo.front();
    return c == 'C' || c == 'D' || c == 'G';
}

}  // namespace

bool RowPassesFilters(const Timetable& tt, const ResultRow& row, const FilterBoxes& boxes,
                      QueryKindValue queryKind, std::string_view transferStation,
                      std::string_view fromTyped, std::string_view toTyped,
                      std::string_view czTrimmed) {
    // Every comparison is of whole names, byte for byte; an empty text equals only an empty
    // text. Kinds other than 1 and 3 (the train-number query) pass the three station boxes.
    const std::string& start = StationText(tt, tt.RowOrigin(row.listRow));
    const std::string& end = StationText(tt, tt.RowTerminus(row.listRow));
    const std::string& from = StationText(tt, row.fromStation);
    const std::string& to = StationText(tt, row.toStation);
    if (boxes.OriginatesFilter) {
        bool keep = true;
        if (queryKind == QueryKindValue::Direct) {
            keep = start == from || from == transferStation;
        } else if (queryKind == QueryKindValue::Station) {
            keep = start == czTrimmed || from == transferStation;
        }
        if (!keep) return false;
    }
    if (boxes.TerminatesFilter) {
        bool keep = true;
        if (queryKind == QueryKindValue::Direct) {
            keep = end == to || to == transferStation;
        } else if (queryKind == QueryKindValue::Station) {
            keep = end == czTrimmed || to == transferStation;
        }
        if (!keep) return false;
    }
    if (boxes.ExactNamesFilter) {
        bool keep = true;
        if (queryKind == QueryKindValue::Direct) {
            if (transferStation.empty()) {
                keep = from == fromTyped && to == toTyped;
            } else {
                keep = (from == fromTyped || from == transferStation) &&
                       (to == toTyped || to == transferStation);
            }
        } else if (queryKind == QueryKindValue::Station) {
            keep = from == czTrimmed || to == czTrimmed;
        }
        if (!keep) return false;
    }
    const std::string& number = tt.Number(row.train);
    if (boxes.EmuOnlyFilter && !IsEmuNumber(number)) return false;
    if (boxes.timeClass.PassesAll()) return true;
    return boxes.timeClass.Passes(number, DepartureText(tt, row));
}

int FillResultGrid(const ResultList& results, const FilterBoxes& boxes, QueryKindValue queryKind,
                   const std::string& transferStation, const std::string& fromTyped,
                   const std::string& toTyped, const std::string& czTrimmed, ResultGrid& grid,
                   HeaderLabels& labels) {
    grid.Reset();
    int shown = 0;
    std::vector<ResultRow> rows;
    if (results.timetable) {
        const Timetable& tt = *results.timetable;
        for (const ResultRow& r : results) {
            if (!RowPassesFilters(tt, r, boxes, queryKind, transferStation, fromTyped, toTyped,
                                  czTrimmed)) {
                continue;
            }
            if (shown >= grid.RowCount()) grid.SetRowCount(shown + 1);
            for (int c = 0; c < kMainColumnCount; ++c)
                grid.SetCell(c, shown, MainCellText(tt, r, MainColumn(c)));
            rows.push_back(r);
            ++shown;
        }
    }
    grid.SetShownRows(results.timetable, std::move(rows));
    ReapplySort(grid, labels);
    return shown;
}

bool HeaderClicked(ResultGrid& grid, HeaderLabels& labels, int labelNumber) {
    const int column = labelNumber - 1;
    if (grid.ShownCount() < 1 || column < 0 || column >= labels.Count()) return false;
    grid.SortShown(column, labels.Click(column));
    return true;
}

bool ReapplySort(ResultGrid& grid, const HeaderLabels& labels) {
    if (grid.ShownCount() < 1 || !labels.SortedColumn()) return false;
    grid.SortShown(*labels.SortedColumn(), labels.Ascending());
    return true;
}

}  // namespace korvel
