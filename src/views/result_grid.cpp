#include "views/result_grid.h"

#include <string>

namespace korvel {

void ResultGrid::Reset() {
    ClearCells();
    SetRowCount(kMinRows);
    ClearSelection();
    SetTopRow(0, 1);  // a new result is shown from its first row
    shown_ = 0;
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
    return column == 8 || column == 9 || column == 11;
}

namespace {

constexpr std::initializer_list<int> kMainNumeric = {8, 9, 11};

const std::string& FareOrDash(const std::string& fare) {
    static const std::string kDash = "-";
    return fare.empty() ? kDash : fare;
}

bool IsEmuNumber(const std::string& trainNo) {
    if (trainNo.empty()) return false;
    char c = trainNo.front();
    return c == 'C' || c == 'D' || c == 'G';
}

}  // namespace

bool RowPassesFilters(const ResultRow& row, const FilterBoxes& boxes, QueryKindValue queryKind,
                      std::string_view transferStation, std::string_view fromTyped,
                      std::string_view toTyped, std::string_view czTrimmed) {
    // Every comparison is of whole texts, byte for byte; an empty text equals only an empty
    // text. Kinds other than 1 and 3 (the train-number query) pass the three station boxes.
    if (boxes.OriginatesFilter) {
        bool keep = true;
        if (queryKind == QueryKindValue::Direct) {
            keep = row.StartStation == row.FromStation || row.FromStation == transferStation;
        } else if (queryKind == QueryKindValue::Station) {
            keep = row.StartStation == czTrimmed || row.FromStation == transferStation;
        }
        if (!keep) return false;
    }
    if (boxes.TerminatesFilter) {
        bool keep = true;
        if (queryKind == QueryKindValue::Direct) {
            keep = row.EndStation == row.ToStation || row.ToStation == transferStation;
        } else if (queryKind == QueryKindValue::Station) {
            keep = row.EndStation == czTrimmed || row.ToStation == transferStation;
        }
        if (!keep) return false;
    }
    if (boxes.ExactNamesFilter) {
        bool keep = true;
        if (queryKind == QueryKindValue::Direct) {
            if (transferStation.empty()) {
                keep = row.FromStation == fromTyped && row.ToStation == toTyped;
            } else {
                keep = (row.FromStation == fromTyped || row.FromStation == transferStation) &&
                       (row.ToStation == toTyped || row.ToStation == transferStation);
            }
        } else if (queryKind == QueryKindValue::Station) {
            keep = row.FromStation == czTrimmed || row.ToStation == czTrimmed;
        }
        if (!keep) return false;
    }
    if (boxes.EmuOnlyFilter && !IsEmuNumber(row.TrainNo)) return false;
    return boxes.timeClass.Passes(row.TrainNo, row.FromDTime);
}

int FillResultGrid(const ResultList& results, const FilterBoxes& boxes, QueryKindValue queryKind,
                   const std::string& transferStation, const std::string& fromTyped,
                   const std::string& toTyped, const std::string& czTrimmed, ResultGrid& grid,
                   HeaderLabels& labels) {
    grid.Reset();
    int shown = 0;
    for (const ResultRow& r : results) {
        if (!RowPassesFilters(r, boxes, queryKind, transferStation, fromTyped, toTyped,
                              czTrimmed)) {
            continue;
        }
        if (shown >= grid.RowCount()) grid.SetRowCount(shown + 1);
        const int y = shown;
        grid.SetCell(0, y, r.TrainNo);
        grid.SetCell(1, y, r.StartStation);
        grid.SetCell(2, y, r.EndStation);
        grid.SetCell(3, y, r.TypeName);
        grid.SetCell(4, y, r.FromStation);
        grid.SetCell(5, y, r.FromDTime);
        grid.SetCell(6, y, r.ToStation);
        grid.SetCell(7, y, r.ToATime);
        grid.SetCell(8, y, std::to_string(r.StopCount));
        grid.SetCell(9, y, std::to_string(r.SpanKm));
        grid.SetCell(10, y, r.SpanTime);
        grid.SetCell(11, y, FareOrDash(r.Fare1));
        grid.SetCell(12, y, FareOrDash(r.Fare2));
        grid.SetCell(13, y, FareOrDash(r.Fare3));
        grid.SetCell(14, y, FareOrDash(r.Fare4));
        ++shown;
    }
    grid.SetShownCount(shown);
    ReapplySort(grid, labels);
    return shown;
}

bool HeaderClicked(ResultGrid& grid, HeaderLabels& labels, int labelNumber) {
    return SortByHeaderClick(grid, grid.ShownCount(), labels, labelNumber - 1, kMainNumeric);
}

bool ReapplySort(ResultGrid& grid, const HeaderLabels& labels) {
    return ReapplyHeaderSort(grid, grid.ShownCount(), labels, kMainNumeric);
}

}  // namespace korvel
