// The parts both searches of the planner share (the plain range RAPTOR and the one with fares):
// the window as minutes, the first trains that leave within it, and the lower bounds on the
// rest of the way that let both drop what cannot arrive in time.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "journey/journey_index.h"
#include "journey/planner.h"

namespace korvel::search {

inline constexpr int kMaxRounds = kMaxJourneyTransfers + 1;
inline constexpr RouteIdx kNoRoute{JourneyIndex::kNone};
inline constexpr std::int32_t kNever = std::numeric_limits<std::int32_t>::max() / 2;

template <class T>
using ByStation = IdxVector<StationIdx, T>;

// Which box a station belongs to.
enum class Side : std::uint8_t { None, From, To };

// The window as an interval of minutes: the end on the next day when it runs past midnight.
struct Window {
    std::int32_t first;
    std::int32_t last;
};
Window WindowInterval(const JourneyOptions& o);

// A first train that leaves a departure-side station within the window.
struct Departure {
    std::int32_t at;
    RouteIdx route;
    std::uint32_t stop;
    std::uint32_t trip;
};
// Every run of every route from the departure side within the window, the latest first.
void CollectDepartures(const JourneyIndex& ix, const std::vector<StationIdx>& from, Window window,
                       std::vector<Departure>& out);

// The shortest time from every station to the arrival side, riding without waits or dwells
// (a change of station within a city costs its minimum): a journey reaching a station at t
// cannot arrive before t + bound.
void LowerBounds(const JourneyIndex& ix, const std::vector<StationIdx>& to,
                 std::int32_t cityTransfer, ByStation<std::int32_t>& bound);

// For every stop of every route, the earliest the arrival side can be reached after riding on
// from it, counted from the run's origin time: boarding there at b cannot arrive before
// b - DepartOffset + onward.
void RouteBounds(const JourneyIndex& ix, const ByStation<std::int32_t>& bound,
                 std::vector<std::int32_t>& onward);

// What both searches know before their first run: the sides, the lower bounds, the last stop
// of each route on the arrival side (0 when it has none: the last train must reach it) and the
// departures within the window. Kept in a search's per-thread memory and refilled each time.
struct SearchSetup {
    ByStation<Side> side;
    ByStation<std::int32_t> bound;              // LowerBounds
    std::vector<std::int32_t> onward;           // RouteBounds
    IdxVector<RouteIdx, std::uint32_t> lastTo;  // by route
    std::vector<Departure> departures;          // CollectDepartures

    void Prepare(const JourneyIndex& ix, const JourneySides& sides, const JourneyOptions& o,
                 Window window);
};

// How a station was reached: the route, its run and the stops ridden.
struct Ride {
    RouteIdx route = kNoRoute;
    std::uint32_t trip = 0;
    std::int32_t originTime = 0;
    std::uint32_t board = 0;
    std::uint32_t alight = 0;
};

// A ride as a leg of the journey, turned forward when the search runs backward.
JourneyLeg LegOf(const JourneyIndex& ix, const Ride& ride, bool backward);

// The journey of legs collected from the last train back (a backward search's last train is
// the first): ordered, with the waits, times and changes filled.
Journey Assemble(std::vector<JourneyLeg> legs, bool backward);

// The plain search ranks journeys by departure, arrival and changes; the one with fares also
// by the fare of a class. Runs the search with fares when the options ask for a class.
std::vector<Journey> PlanWithFares(const JourneyIndex& ix, const JourneySides& sides,
                                   const JourneyOptions& o, Window window, bool backward);

}  // namespace korvel::search
