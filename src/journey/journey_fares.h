// A leg's fare as the direct query's grid shows it, and the same fares laid out for the
// planner: every span of every route in one class, as numbers.
//
// A leg's fare is the grid's for that train between those two stops (the row the direct
// query would build, priced by the tariff); a sleeper class counts its lowest listed berth.
// The planner cannot afford to build a row for every span it rides, so the tables below are
// filled once per class from those same rows and read as plain numbers afterwards. Trains of
// one route whose fare inputs are identical (a train under two numbers, the copies of a
// scaled timetable) share one table.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "journey/journey_ids.h"
#include "query/fare_tariff.h"
#include "timetable/timetable.h"

namespace korvel {

class JourneyIndex;

// No fare: the class is not sold on that train between those stops.
inline constexpr std::int32_t kNoFare = -1;

// The fare request of the train between two of its stops (0 the origin), priced through the
// tariff's text form: the fares as the grid writes them.
FareRequest LegRow(const Timetable& tt, TrainIdx train, std::uint32_t boardStop,
                   std::uint32_t alightStop);

// The fare the grid shows in one class for the train between two of its stops (0 the
// origin), read from the typed timetable and priced by the tariff: its lowest value in tenths
// of a yuan (a sleeper's lowest berth), kNoFare when the class is not sold there.
std::int32_t LegFare(const Timetable& tt, TrainIdx train, std::uint32_t boardStop,
                     std::uint32_t alightStop, FareClass c);

// The lowest value of a fare text in tenths of a yuan ("38/41/43.5" gives 380), kNoFare when
// the text holds no value above 0 ("", "-").
std::int32_t LowestTenths(std::string_view fareText);

// The text of one class in a row that FillFares priced.
const std::string& FareText(const FareRequest& row, FareClass c);

// The four classes as the command line and the window name them (硬座, 软座, 硬卧, 软卧), GBK.
const std::array<std::string, 4>& FareClassNames();
// The class of a GBK name; false for any other text.
bool FareClassByName(std::string_view gbkName, FareClass& out);

// Every span's fare in one class for the routes of a (forward) journey index. A span is
// priced on its first use and kept: a search prices a part of all spans, and pricing them
// all up front costs more than many searches. Safe to use from any thread.
class RouteFares {
  public:
    RouteFares(const JourneyIndex& forward, FareClass fareClass);
    ~RouteFares();

    FareClass Class() const { return class_; }
    // The fare group of a train (the table its spans are priced by); every train of a route
    // is in one of that route's groups.
    std::uint32_t GroupOf(TrainIdx train) const { return groupOf_[train.Value()]; }
    // The groups of a route, each once.
    std::span<const std::uint32_t> RouteGroups(RouteIdx route) const {
        return {routeGroups_.data() + routeGroupFirst_[route.Value()],
                routeGroupFirst_[route.Value() + 1] - routeGroupFirst_[route.Value()]};
    }
    // The fare of riding a train of `group` from forward stop `board` to `alight` (board <
    // alight), kNoFare where the class is not sold or the stops are no boarding / alighting.
    std::int32_t Fare(std::uint32_t group, std::uint32_t board, std::uint32_t alight) const;
    // The same when the span is priced already; kNotPriced when it is not (pricing a span
    // costs far more than reading one, which a search can avoid for spans it may not need).
    static constexpr std::int32_t kNotPriced = -2;
    std::int32_t PricedFare(std::uint32_t group, std::uint32_t board, std::uint32_t alight) const;

  private:
    struct Group {
        RouteIdx route;
        TrainIdx train;           // the first train of the group: the one priced
        std::uint32_t stops;      // the route's stop count
        std::uint64_t firstSpan;  // where its spans start
    };
    // Where the span from stop `board` to stop `alight` of a group's route is kept.
    static std::uint64_t Span(const Group& g, std::uint32_t board, std::uint32_t alight);
    std::int32_t Price(const Group& g, std::uint32_t board, std::uint32_t alight,
                       std::uint64_t span) const;

    const JourneyIndex& ix_;
    FareClass class_;
    std::vector<std::uint32_t> groupOf_;  // by train; unused trains 0
    std::vector<std::uint32_t> routeGroupFirst_;
    std::vector<std::uint32_t> routeGroups_;
    std::vector<Group> groups_;
    struct Shared;  // the lazily filled part
    std::unique_ptr<Shared> shared_;
};

}  // namespace korvel
