// The least fares still to pay to the arrival side, for the search with fares: with one train
// left (the cheapest train from a station there), with a change first (the cheapest last
// train from a station or another of its city), and with two trains left. The search prunes a
// pair by them against the journeys found; they ignore times, so they hold for any run.
//
// Worked out per search, from the spans that end on the arrival side (and, for two trains,
// the spans that end where a last train leaves, when first asked for a station).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "journey/journey_fares.h"
#include "journey/search_parts.h"

namespace korvel::search {

// The fare of riding a route's train of `group` between two stops of an index that may be the
// backward copy (whose stops count from the other end).
inline std::int32_t RouteLegFare(const JourneyIndex& ix, const RouteFares& fares, bool backward,
                                 std::uint32_t group, RouteIdx r, std::uint32_t board,
                                 std::uint32_t alight) {
    if (!backward) return fares.Fare(group, board, alight);
    const std::uint32_t last = ix.StopCount(r) - 1;
    return fares.Fare(group, last - alight, last - board);
}

class FareBounds {
  public:
    // A station where a last train can be boarded after a change, and the change's minutes.
    struct LastWay {
        StationIdx station;
        std::int32_t minutes;
    };

    // Refills the bounds for one search; `setup` is prepared for it and outlives the search.
    void Prepare(const JourneyIndex& ix, const RouteFares& fares, bool backward,
                 const SearchSetup& setup, const JourneySides& sides, const JourneyOptions& o);

    // The cheapest train from the station to the arrival side, kNever when none goes.
    std::int32_t Direct(StationIdx station) const { return direct_[station]; }
    // The cheapest last train after alighting at a station off both sides: from there or
    // from another station of its city (kNever for a station on a side).
    std::int32_t AfterChange(StationIdx station) const { return afterChange_[station]; }
    // The least minutes from alighting at such a station to the arrival side with one train.
    std::int32_t AfterChangeMinutes(StationIdx station) const { return afterMinutes_[station]; }
    // Where that last train can be boarded: there or at another station of its city, wherever
    // one leaves.
    std::span<const LastWay> LastWays(StationIdx station) const {
        const std::uint32_t first = lastWayFirst_[station.Value()];
        return {lastWays_.data() + first, lastWayFirst_[station.Value() + 1] - first};
    }
    // By stop number of all routes: the least AfterChange of the stops after it.
    std::int32_t OnwardAfterChange(std::uint32_t stop) const { return onwardAfterChange_[stop]; }
    // The cheapest way from the station to the arrival side with one or two trains.
    std::int32_t WithTwo(StationIdx station) {
        const std::int32_t known = withTwo_[station];
        return known != kUnknown ? known : FindWithTwo(station);
    }

  private:
    static constexpr std::int32_t kUnknown = -2;

    void FindDirect(const JourneySides& sides);
    void FindAfterChange(const JourneyOptions& o);
    std::int32_t FindWithTwo(StationIdx station);
    std::int32_t LegFare(std::uint32_t group, RouteIdx r, std::uint32_t board,
                         std::uint32_t alight) const {
        return RouteLegFare(*ix_, *fares_, backward_, group, r, board, alight);
    }

    const JourneyIndex* ix_ = nullptr;
    const RouteFares* fares_ = nullptr;
    bool backward_ = false;
    const SearchSetup* setup_ = nullptr;
    ByStation<std::int32_t> direct_;
    ByStation<std::int32_t> withTwo_;  // kUnknown until asked
    ByStation<std::int32_t> afterChange_;
    ByStation<std::int32_t> afterMinutes_;
    std::vector<std::uint32_t> lastWayFirst_;  // by station number, plus an end
    std::vector<LastWay> lastWays_;
    std::vector<std::int32_t> onwardAfterChange_;
};

}  // namespace korvel::search
