// The main result grid: fifteen text columns filled from the result list through the four
// filter boxes, red/blue row colours, selection and wheel rules, and the column sort.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "query/grid_result.h"
#include "views/grid_sort.h"
#include "views/text_grid.h"
#include "views/time_class_filter.h"

namespace korvel {

enum class RowColour {
    Normal,  // window-text colour
    Red,     // RGB FF0000: the train starts at the boarding station
    Blue,    // RGB 0000FF: the train boards at the chosen transfer station
};

// The grid model. ShownCount (the number of rows written by the last fill, i.e. the valid
// result rows) lives here with the rows it counts; printing, export, the advanced menu and
// the sort read it from the grid.
class ResultGrid : public SelectableGrid {
  public:
    static constexpr int kColumns = 15;
    static constexpr int kMinRows = 16;      // rows after a reset
    static constexpr int kInitialRows = 20;  // rows when the window is created

    ResultGrid() : SelectableGrid(kColumns, kInitialRows) {}

    // ResetResultGrid: every cell empty, 16 rows, no row selected, scrolled to the top,
    // nothing shown.
    void Reset();

    int ShownCount() const { return shown_; }
    void SetShownCount(int n) { shown_ = n; }

    // The result rows shown, in grid order, and the timetable they refer to (none before a
    // fill).
    const std::vector<ResultRow>& ShownRows() const { return rows_; }
    const std::shared_ptr<const Timetable>& ShownTimetable() const { return timetable_; }
    void SetShownRows(std::shared_ptr<const Timetable> timetable, std::vector<ResultRow> rows) {
        timetable_ = std::move(timetable);
        rows_ = std::move(rows);
        shown_ = static_cast<int>(rows_.size());
    }
    // Sorts the shown rows by one column: the numbers, times, ride times and fares by value,
    // the rest as text.
    void SortShown(int column, bool ascending);

    // Text colour of a row that is not selected: Red when column 4 equals column 1, else
    // Blue when column 4 equals transferStation, else Normal (exact byte comparison; an empty
    // text equals only an empty text).
    RowColour RowColourOf(int row, std::string_view transferStation) const;

    // The row a double-click opens: the selected row, when there is one, it lies within the
    // result list and it is not empty. Without a selection a double-click does nothing.
    std::optional<int> DoubleClickRow(std::size_t resultCount) const;

  private:
    int shown_ = 0;
    std::shared_ptr<const Timetable> timetable_;
    std::vector<ResultRow> rows_;
};

// "结果:" followed by the count in decimal.
std::string ResultLabelText(int shownCount);

// The header labels of the main grid: "车 次", "始发站", ... "软卧上/下".
HeaderLabels MainHeaderLabels();
// The captions of main columns 3 to 12 (车型 ... 软座): the same on the screen and on paper.
const std::vector<std::string>& MainMiddleCaptions();
// Main-grid columns that sort by value: times, 停站, 里程, 历时 and the fares.
bool IsMainNumericColumn(int column);

// The four filter check boxes below the grid.
struct FilterBoxes {
    bool OriginatesFilter = false;  // "始发车": the train starts at the row's boarding side
    bool TerminatesFilter = false;  // "终到车": the train ends at the row's alighting side
    bool ExactNamesFilter = false;  // "精确站名": the row's stations are exactly the typed ones
    bool EmuOnlyFilter = false;     // "仅动车": EMU trains only (number begins with C, D or G)
    // The departure-time window and the train classes beside the boxes.
    TimeClassFilter timeClass;
};

// Whether a result row passes the filters for the kind of query that filled the list.
bool RowPassesFilters(const Timetable& tt, const ResultRow& row, const FilterBoxes& boxes,
                      QueryKindValue queryKind, std::string_view transferStation,
                      std::string_view fromTyped, std::string_view toTyped,
                      std::string_view czTrimmed);

// FillResultGrid: empties the grid (as ResetResultGrid does), writes the rows that pass the
// filters from row 0 in list order, raises the row count above 16 when needed, sorts the
// written rows again by the marked header, and returns the number written (also stored as
// grid.ShownCount()). The result label then reads ResultLabelText(count).
int FillResultGrid(const ResultList& results, const FilterBoxes& boxes, QueryKindValue queryKind,
                   const std::string& transferStation, const std::string& fromTyped,
                   const std::string& toTyped, const std::string& czTrimmed, ResultGrid& grid,
                   HeaderLabels& labels);

// Header click on label HeaderN (labelNumber N = 1..15, column N - 1). Does nothing when no row
// is shown. Returns whether it sorted.
bool HeaderClicked(ResultGrid& grid, HeaderLabels& labels, int labelNumber);

// Sorts the shown rows again by the marked header (if any).
bool ReapplySort(ResultGrid& grid, const HeaderLabels& labels);

}  // namespace korvel
