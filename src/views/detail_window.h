// The train detail window model: the whole stop list of one train with day counts, running
// times and speeds, the route and section summary lines, and the queried section in blue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "timetable/timetable.h"
#include "views/text_grid.h"

namespace korvel {

class ResultGrid;

// Average speed in km/h over a distance and a running time (H:M or minutes), rounded half
// up; empty text when either is not a positive number.
std::string AverageSpeed(std::string_view distance, std::string_view runTime);
// Speed between two stops from their distances and running times since the origin; empty
// when the distance or time difference is not positive.
std::string SectionSpeed(std::string_view prevKm, std::string_view curKm, std::string_view prevTime,
                         std::string_view curTime);

// The stretch of a train the detail window is opened for (a result row or a journey's leg):
// the train, the station boarded at, and the stops, km and minutes ridden from there.
struct DetailSection {
    TrainId train = TrainId::None();
    StationId boarding = StationId::None();
    std::int32_t stopCount = 0;
    std::int32_t km = 0;
    std::int32_t rideMinutes = 0;
};
// The section of a shown row of the grid (no train for a row beyond the shown rows).
DetailSection DetailSectionFromRow(const ResultGrid& grid, int row);

// Columns: 0 站序, 1 车站, 2 里程, 3 到时, 4 发时, 5 天数, 6 历时, 7 时速.
class DetailWindowModel {
  public:
    static constexpr int kColumns = 8;
    static constexpr int kInitialRows = 20;

    // Reads the train's stops from the typed timetable the section's numbers refer to.
    // Nothing when there is no train or it has no stop.
    static std::optional<DetailWindowModel> Build(const Timetable& tt,
                                                  const DetailSection& section);

    // "车次:" + train number.
    const std::string& Caption() const { return caption_; }
    // "全程：<km>km/历时<time>/速度<speed>km/h"
    const std::string& RouteLine() const { return routeLine_; }
    // "区间：<km>km/历时<time>/速度<speed>km/h"
    const std::string& SectionLine() const { return sectionLine_; }
    // What a printed or exported stop list is headed with: the caption and the train's route,
    // "车次:Z9  北京西—汉口".
    std::string Heading() const;

    const SelectableGrid& Stops() const { return grid_; }
    SelectableGrid& Stops() { return grid_; }
    int StopRowCount() const { return stopRowCount_; }
    // Stop numbers of the boarding and alighting stations (0 when the boarding station is
    // not among the stops, and then no row is in the section).
    int SectionFirst() const { return sectionFirst_; }
    int SectionLast() const { return sectionLast_; }
    // Whether a row is drawn blue: column 0 holds a stop number within the section.
    bool RowInSection(int row) const;

    // Header captions of the stop list: "站序", "车站", ... "时速".
    static std::vector<std::string> HeaderCaptions();

  private:
    DetailWindowModel() : grid_(kColumns, kInitialRows) {}
    SelectableGrid grid_;
    std::string caption_, routeLine_, sectionLine_;
    int stopRowCount_ = 0;
    int sectionFirst_ = 0;
    int sectionLast_ = 0;
};

// The double-click on the main grid: the detail model for the selected result row, or
// nothing (no selection, empty row, row beyond the result list, unknown train).
std::optional<DetailWindowModel> OpenDetailForSelection(const ResultGrid& grid,
                                                        std::size_t resultCount);

}  // namespace korvel
