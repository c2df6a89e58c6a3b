#include "journey/search_parts.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <utility>

namespace korvel::search {

namespace {

std::int32_t Modulo(std::int32_t x, std::int32_t m) {
    return (x % m + m) % m;
}

}  // namespace

Window WindowInterval(const JourneyOptions& o) {
    return {o.windowStart,
            o.windowEnd >= o.windowStart ? o.windowEnd : o.windowEnd + kMinutesPerDay};
}

void CollectDepartures(const JourneyIndex& ix, const std::vector<StationIdx>& from, Window window,
                       std::vector<Departure>& out) {
    out.clear();
    for (StationIdx s : from) {
        for (const JourneyIndex::Call& c : ix.Calls(s)) {
            if (!ix.CanBoard(c.route, c.stop)) continue;
            const JourneyIndex::Trip* trips = ix.Trips(c.route);
            const std::int32_t offset = ix.DepartOffset(c.route, c.stop);
            for (std::uint32_t j = 0; j < ix.TripCount(c.route); ++j) {
                // The run's departure on the window's first day or the day after.
                const std::int32_t at =
                    window.first +
                    Modulo(trips[j].originMinute + offset - window.first, kMinutesPerDay);
                if (at > window.last) continue;
                out.push_back({at, c.route, c.stop, j});
            }
        }
    }
    std::sort(out.begin(), out.end(),
              [](const Departure& a, const Departure& b) { return a.at > b.at; });
}

void LowerBounds(const JourneyIndex& ix, const std::vector<StationIdx>& to,
                 std::int32_t cityTransfer, ByStation<std::int32_t>& bound) {
    bound.assign(ix.StationCount(), kNever);
    using Item = std::pair<std::int32_t, StationIdx>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (StationIdx s : to) {
        bound[s] = 0;
        queue.push({0, s});
    }
    auto reach = [&](StationIdx s, std::int32_t at) {
        if (at < bound[s]) {
            bound[s] = at;
            queue.push({at, s});
        }
    };
    while (!queue.empty()) {
        const auto [at, s] = queue.top();
        queue.pop();
        if (at > bound[s]) continue;
        for (const JourneyIndex::Hop& h : ix.HopsInto(s)) reach(h.station, at + h.minutes);
        for (StationIdx mate : ix.GroupMates(s)) reach(mate, at + cityTransfer);
    }
}

void RouteBounds(const JourneyIndex& ix, const ByStation<std::int32_t>& bound,
                 std::vector<std::int32_t>& onward) {
    onward.assign(ix.TotalStops(), kNever);
    for (RouteIdx r(0); r < RouteIdx(ix.RouteCount()); ++r) {
        const std::uint32_t base = ix.FirstStop(r);
        std::int32_t best = kNever;
        for (std::uint32_t q = ix.StopCount(r); q-- > 0;) {
            onward[base + q] = best;
            const std::int32_t b = bound[ix.StopStation(r, q)];
            if (ix.CanAlight(r, q) && b < kNever) {
                best = std::min(best, ix.ArriveOffset(r, q) + b);
            }
        }
    }
}

void SearchSetup::Prepare(const JourneyIndex& ix, const JourneySides& sides,
                          const JourneyOptions& o, Window window) {
    side.assign(ix.StationCount(), Side::None);
    for (StationIdx s : sides.from) side[s] = Side::From;
    for (StationIdx s : sides.to) side[s] = Side::To;
    lastTo.assign(ix.RouteCount(), 0);
    for (StationIdx s : sides.to) {
        for (const JourneyIndex::Call& c : ix.Calls(s)) {
            if (ix.CanAlight(c.route, c.stop)) lastTo[c.route] = std::max(lastTo[c.route], c.stop);
        }
    }
    LowerBounds(ix, sides.to, o.cityTransfer, bound);
    RouteBounds(ix, bound, onward);
    CollectDepartures(ix, sides.from, window, departures);
}

JourneyLeg LegOf(const JourneyIndex& ix, const Ride& ride, bool backward) {
    JourneyLeg leg;
    leg.train = ix.Trips(ride.route)[ride.trip].train;
    leg.boardStop = ride.board;
    leg.alightStop = ride.alight;
    leg.fromStation = ix.StopStation(ride.route, ride.board);
    leg.toStation = ix.StopStation(ride.route, ride.alight);
    leg.depart = ride.originTime + ix.DepartOffset(ride.route, ride.board);
    leg.arrive = ride.originTime + ix.ArriveOffset(ride.route, ride.alight);
    if (backward) {
        const std::uint32_t last = ix.StopCount(ride.route) - 1;
        std::swap(leg.fromStation, leg.toStation);
        leg.boardStop = last - ride.alight;
        leg.alightStop = last - ride.board;
        const std::int32_t depart = -leg.arrive;
        leg.arrive = -leg.depart;
        leg.depart = depart;
    }
    return leg;
}

Journey Assemble(std::vector<JourneyLeg> legs, bool backward) {
    Journey j;
    j.legs = std::move(legs);
    if (!backward) std::reverse(j.legs.begin(), j.legs.end());
    for (std::size_t i = 0; i + 1 < j.legs.size(); ++i) {
        j.legs[i].wait = j.legs[i + 1].depart - j.legs[i].arrive;
    }
    j.depart = j.legs.front().depart;
    j.arrive = j.legs.back().arrive;
    j.minutes = j.arrive - j.depart;
    j.transfers = static_cast<std::int32_t>(j.legs.size()) - 1;
    return j;
}

}  // namespace korvel::search
