#include "journey/fare_bounds.h"

#include <algorithm>

namespace korvel::search {

void FareBounds::Prepare(const JourneyIndex& ix, const RouteFares& fares, bool backward,
                         const SearchSetup& setup, const JourneySides& sides,
                         const JourneyOptions& o) {
    ix_ = &ix;
    fares_ = &fares;
    backward_ = backward;
    setup_ = &setup;
    FindDirect(sides);
    FindAfterChange(o);
    withTwo_.assign(ix.StationCount(), kUnknown);
}

void FareBounds::FindDirect(const JourneySides& sides) {
    const JourneyIndex& ix = *ix_;
    direct_.assign(ix.StationCount(), kNever);
    for (StationIdx to : sides.to) {
        for (const JourneyIndex::Call& c : ix.Calls(to)) {
            if (!ix.CanAlight(c.route, c.stop)) continue;
            for (std::uint32_t q = 0; q < c.stop; ++q) {
                if (!ix.CanBoard(c.route, q)) continue;
                std::int32_t& best = direct_[ix.StopStation(c.route, q)];
                for (std::uint32_t g : fares_->RouteGroups(c.route)) {
                    const std::int32_t fare = LegFare(g, c.route, q, c.stop);
                    if (fare != kNoFare) best = std::min(best, fare);
                }
            }
        }
    }
}

void FareBounds::FindAfterChange(const JourneyOptions& o) {
    const JourneyIndex& ix = *ix_;
    const SearchSetup& setup = *setup_;
    const std::uint32_t n = ix.StationCount();
    afterChange_.assign(n, kNever);
    afterMinutes_.assign(n, kNever);
    lastWayFirst_.assign(n + 1, 0);
    lastWays_.clear();
    for (StationIdx x(0); x < StationIdx(n); ++x) {
        lastWayFirst_[x.Value()] = static_cast<std::uint32_t>(lastWays_.size());
        if (setup.side[x] != Side::None) continue;
        std::int32_t cheapest = direct_[x];
        std::int32_t soonest = o.minTransfer + setup.bound[x];
        if (direct_[x] < kNever) lastWays_.push_back({x, o.minTransfer});
        for (StationIdx mate : ix.GroupMates(x)) {
            if (setup.side[mate] != Side::None) continue;
            cheapest = std::min(cheapest, direct_[mate]);
            soonest = std::min(soonest, o.cityTransfer + setup.bound[mate]);
            if (direct_[mate] < kNever) lastWays_.push_back({mate, o.cityTransfer});
        }
        afterChange_[x] = cheapest;
        afterMinutes_[x] = std::min(soonest, kNever);
    }
    lastWayFirst_.back() = static_cast<std::uint32_t>(lastWays_.size());
    onwardAfterChange_.assign(ix.TotalStops(), kNever);
    for (RouteIdx r(0); r < RouteIdx(ix.RouteCount()); ++r) {
        const std::uint32_t base = ix.FirstStop(r);
        std::int32_t best = kNever;
        for (std::uint32_t q = ix.StopCount(r); q-- > 0;) {
            onwardAfterChange_[base + q] = best;
            if (ix.CanAlight(r, q)) best = std::min(best, afterChange_[ix.StopStation(r, q)]);
        }
    }
}

// Only the stops with a last train on are priced.
std::int32_t FareBounds::FindWithTwo(StationIdx station) {
    const JourneyIndex& ix = *ix_;
    std::int32_t best = direct_[station];
    for (const JourneyIndex::Call& c : ix.Calls(station)) {
        if (!ix.CanBoard(c.route, c.stop)) continue;
        for (std::uint32_t a = c.stop + 1; a < ix.StopCount(c.route); ++a) {
            const StationIdx there = ix.StopStation(c.route, a);
            if (setup_->side[there] != Side::None || !ix.CanAlight(c.route, a)) continue;
            const std::int32_t last = afterChange_[there];
            if (last >= best) continue;
            for (std::uint32_t g : fares_->RouteGroups(c.route)) {
                const std::int32_t fare = LegFare(g, c.route, c.stop, a);
                if (fare != kNoFare) best = std::min(best, fare + last);
            }
        }
    }
    return withTwo_[station] = best;
}

}  // namespace korvel::search
