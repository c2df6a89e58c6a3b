// The search with fares: range McRAPTOR. It walks the same rounds over routes as the plain
// range RAPTOR, minute by minute from the latest departure to the earliest, but a station
// keeps a bag per round instead of one time: every (ready time, fare) pair that no other in
// that round or an earlier one beats. A pair from a later departure minute beats an earlier
// one's pair that is no sooner and no cheaper, so the bags carry over from minute to minute
// as the times do in the plain search, and only pairs new in this minute board trains.
//
// Why fares do not fit the plain search: riding the earliest run of a route is no longer
// enough. Runs of one route can belong to trains priced differently, so a pair boards the
// earliest run of each fare group of the route (trains priced alike on every span, usually
// one group per route). And a fare is not a sum over the stops ridden (the tariff charges by
// distance bands), so two passengers on the same run compare only when they boarded at the
// same stop.
//
// Pruning: a pair is dropped when a journey already found arrives no later than the pair
// could at best (its time plus the riding-time bound to the arrival side) and costs no more
// than the pair has already paid; the journeys found form a bag per number of trains.
#include <algorithm>
#include <utility>

#include "journey/search_parts.h"

namespace korvel::search {

namespace {

constexpr std::uint32_t kNone = JourneyIndex::kNone;

// A train ridden to a stop: the ride, the fare paid up to there, the label it boarded from.
struct Label {
    Ride ride;
    std::uint32_t parent = kNone;
    std::int32_t fare = 0;
    std::uint32_t run = 0;  // the departure minute's number that made it
    std::uint8_t round = 0;
};

// A pair in a station's bag: ready to board at `ready` having paid `fare`.
struct Entry {
    std::int32_t ready;
    std::int32_t fare;
    std::uint32_t label;
    std::uint32_t run;
};

// A passenger on a run of the route being scanned.
struct Riding {
    std::uint32_t group;
    std::uint32_t trip;
    std::int32_t originTime;
    std::uint32_t board;
    std::int32_t fare;
    std::uint32_t parent;
};

using Bag = std::vector<Entry>;

// The memory of one search, kept per thread (every array is refilled).
struct FareScratch {
    ByStation<Side> side;
    ByStation<std::int32_t> bound;
    std::vector<std::int32_t> onward;
    IdxVector<RouteIdx, std::uint32_t> lastTo;
    std::vector<Departure> departures;
    std::vector<Label> labels;
    std::array<std::vector<Bag>, kMaxRounds + 1> bags;  // by station number
    std::array<ByStation<std::uint8_t>, kMaxRounds + 1> marked;
    std::array<std::vector<StationIdx>, kMaxRounds + 1> markedList;
    std::array<std::vector<std::uint32_t>, kMaxRounds + 1> target;  // labels, at most k trains
    IdxVector<RouteIdx, std::uint32_t> routeStart;
    std::vector<RouteIdx> routeList;
    std::vector<StationIdx> boardList;
    std::vector<Riding> riding;
};

FareScratch& ThreadFareScratch() {
    thread_local FareScratch scratch;
    return scratch;
}

class FareRaptor {
  public:
    FareRaptor(const JourneyIndex& ix, const JourneySides& sides, const JourneyOptions& o,
               Window window, bool backward, FareScratch& s)
        : ix_(ix),
          fares_(ix.Fares(*o.fareClass)),
          o_(o),
          backward_(backward),
          rounds_(o.maxTransfers + 1),
          s_(s) {
        const std::size_t n = ix.StationCount();
        s_.side.assign(n, Side::None);
        for (StationIdx x : sides.from) s_.side[x] = Side::From;
        for (StationIdx x : sides.to) s_.side[x] = Side::To;
        s_.labels.clear();
        for (int k = 0; k <= kMaxRounds; ++k) {
            s_.bags[k].resize(n);
            for (Bag& b : s_.bags[k]) b.clear();
            s_.marked[k].assign(n, 0);
            s_.markedList[k].clear();
            s_.target[k].clear();
        }
        s_.routeStart.assign(ix.RouteCount(), kNone);
        s_.routeList.clear();
        s_.lastTo.assign(ix.RouteCount(), 0);
        for (StationIdx x : sides.to) {
            for (const JourneyIndex::Call& c : ix.Calls(x)) {
                if (ix.CanAlight(c.route, c.stop))
                    s_.lastTo[c.route] = std::max(s_.lastTo[c.route], c.stop);
            }
        }
        LowerBounds(ix, sides.to, o.cityTransfer, s_.bound);
        RouteBounds(ix, s_.bound, s_.onward);
        CollectDepartures(ix, sides.from, window, s_.departures);
    }

    std::vector<Journey> Run() {
        std::vector<Journey> out;
        const std::vector<Departure>& deps = s_.departures;
        for (std::size_t i = 0; i < deps.size();) {
            std::size_t end = i;
            while (end < deps.size() && deps[end].at == deps[i].at) ++end;
            ++run_;
            FirstRound(i, end);
            for (int k = 2; k <= rounds_ && !s_.markedList[k - 1].empty(); ++k) Round(k);
            for (int k = 1; k <= rounds_; ++k) Unmark(k);
            for (int k = 1; k <= rounds_; ++k) {
                for (std::uint32_t l : s_.target[k]) {
                    if (s_.labels[l].run == run_ && s_.labels[l].round == k)
                        out.push_back(Reconstruct(l));
                }
            }
            i = end;
        }
        std::sort(out.begin(), out.end(), [](const Journey& a, const Journey& b) {
            if (a.depart != b.depart) return a.depart < b.depart;
            if (a.arrive != b.arrive) return a.arrive < b.arrive;
            if (a.transfers != b.transfers) return a.transfers < b.transfers;
            return a.fare < b.fare;
        });
        return out;
    }

  private:
    // The fare of riding a route's train of `group` between two stops of this index.
    std::int32_t LegFare(std::uint32_t group, RouteIdx r, std::uint32_t board,
                         std::uint32_t alight) const {
        if (!backward_) return fares_.Fare(group, board, alight);
        const std::uint32_t last = ix_.StopCount(r) - 1;
        return fares_.Fare(group, last - alight, last - board);
    }

    std::uint32_t GroupOfTrip(RouteIdx r, std::uint32_t trip) const {
        return fares_.GroupOf(ix_.Trips(r)[trip].train);
    }

    // Whether a journey found with at most k trains arrives by `at` for at most `fare`.
    bool Beaten(int k, std::int32_t at, std::int32_t fare) const {
        for (std::uint32_t l : s_.target[k]) {
            const Label& t = s_.labels[l];
            if (ArriveOf(t) <= at && t.fare <= fare) return true;
        }
        return false;
    }

    std::int32_t ArriveOf(const Label& l) const {
        return l.ride.originTime + ix_.ArriveOffset(l.ride.route, l.ride.alight);
    }

    void FirstRound(std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const Departure& d = s_.departures[i];
            const std::uint32_t group = GroupOfTrip(d.route, d.trip);
            Ride ride{d.route, d.trip, d.at - ix_.DepartOffset(d.route, d.stop), d.stop, 0};
            for (std::uint32_t q = d.stop + 1; q < ix_.StopCount(d.route); ++q) {
                if (!ix_.CanAlight(d.route, q)) continue;
                const std::int32_t fare = LegFare(group, d.route, d.stop, q);
                if (fare == kNoFare) continue;
                ride.alight = q;
                Arrive(1, ix_.StopStation(d.route, q),
                       ride.originTime + ix_.ArriveOffset(d.route, q), fare, ride, kNone);
            }
        }
    }

    // Round k >= 2: the routes through stations whose bag of round k - 1 got new pairs.
    void Round(int k) {
        s_.boardList.swap(s_.markedList[k - 1]);
        s_.markedList[k - 1].clear();
        s_.routeList.clear();
        for (StationIdx x : s_.boardList) {
            for (const JourneyIndex::Call& c : ix_.Calls(x)) {
                if (!ix_.CanBoard(c.route, c.stop)) continue;
                if (k == rounds_ && s_.lastTo[c.route] <= c.stop) continue;
                std::uint32_t& start = s_.routeStart[c.route];
                if (start == kNone) s_.routeList.push_back(c.route);
                start = std::min(start, c.stop);
            }
        }
        for (RouteIdx r : s_.routeList) {
            const std::uint32_t start = s_.routeStart[r];
            s_.routeStart[r] = kNone;
            ScanRoute(k, r, start);
        }
        for (StationIdx x : s_.boardList) s_.marked[k - 1][x] = 0;
        s_.boardList.clear();
    }

    void ScanRoute(int k, RouteIdx r, std::uint32_t start) {
        std::vector<Riding>& riding = s_.riding;
        riding.clear();
        const std::uint32_t stops = k == rounds_ ? s_.lastTo[r] + 1 : ix_.StopCount(r);
        for (std::uint32_t q = start; q < stops; ++q) {
            const StationIdx station = ix_.StopStation(r, q);
            if (!riding.empty() && ix_.CanAlight(r, q)) {
                const std::int32_t offset = ix_.ArriveOffset(r, q);
                for (std::size_t i = 0; i < riding.size(); ++i) {
                    const Riding p = riding[i];
                    const std::int32_t fare = LegFare(p.group, r, p.board, q);
                    if (fare == kNoFare) continue;
                    const Ride ride{r, p.trip, p.originTime, p.board, q};
                    Arrive(k, station, p.originTime + offset, p.fare + fare, ride, p.parent);
                }
            }
            if (s_.marked[k - 1][station] && ix_.CanBoard(r, q)) Board(k, r, q, station);
        }
    }

    // The pairs new in this minute at the station board the earliest run of each fare group
    // they can catch, unless a passenger already on the route from this stop is no later and
    // no dearer.
    void Board(int k, RouteIdx r, std::uint32_t q, StationIdx station) {
        const std::int32_t onward = s_.onward[ix_.FirstStop(r) + q];
        if (onward >= kNever) return;
        const std::int32_t offset = ix_.DepartOffset(r, q);
        for (const Entry& e : s_.bags[k - 1][station.Value()]) {
            if (e.run != run_ || Beaten(k, e.ready - offset + onward, e.fare)) continue;
            for (std::uint32_t g : fares_.RouteGroups(r)) {
                const JourneyIndex::Catch c = EarliestOfGroup(r, q, e.ready, g);
                if (c.trip == kNone) continue;
                const Riding p{g, c.trip, c.originTime, q, e.fare, e.label};
                AddRiding(p);
            }
        }
    }

    void AddRiding(const Riding& p) {
        std::vector<Riding>& riding = s_.riding;
        for (const Riding& o : riding) {
            if (o.group == p.group && o.board == p.board && o.originTime <= p.originTime &&
                o.fare <= p.fare)
                return;
        }
        std::erase_if(riding, [&p](const Riding& o) {
            return o.group == p.group && o.board == p.board && o.originTime >= p.originTime &&
                   o.fare >= p.fare;
        });
        riding.push_back(p);
    }

    // The first run of the group that leaves the stop at `minute` or later.
    JourneyIndex::Catch EarliestOfGroup(RouteIdx r, std::uint32_t q, std::int32_t minute,
                                        std::uint32_t group) const {
        JourneyIndex::Catch c = ix_.EarliestRun(r, q, minute);
        if (fares_.RouteGroups(r).size() == 1) return c;
        const JourneyIndex::Trip* trips = ix_.Trips(r);
        const std::uint32_t n = ix_.TripCount(r);
        for (std::uint32_t step = 0; step < n; ++step) {
            if (fares_.GroupOf(trips[c.trip].train) == group) return c;
            const std::int32_t day = c.originTime - trips[c.trip].originMinute;
            if (++c.trip == n) {
                c.trip = 0;
                c.originTime = trips[0].originMinute + day + kMinutesPerDay;
            } else {
                c.originTime = trips[c.trip].originMinute + day;
            }
        }
        return {kNone, 0};
    }

    void Arrive(int k, StationIdx station, std::int32_t at, std::int32_t fare, const Ride& ride,
                std::uint32_t parent) {
        const Side side = s_.side[station];
        if (side == Side::To) {
            if (Beaten(k, at, fare)) return;
            const std::uint32_t l = AddLabel(k, ride, parent, fare);
            for (int j = k; j <= rounds_; ++j) {
                std::vector<std::uint32_t>& t = s_.target[j];
                std::erase_if(t, [&](std::uint32_t x) {
                    return ArriveOf(s_.labels[x]) >= at && s_.labels[x].fare >= fare;
                });
                t.push_back(l);
            }
            return;
        }
        if (side == Side::From || k == rounds_) return;
        const std::int32_t bound = s_.bound[station];
        if (bound >= kNever || Beaten(k + 1, at + bound, fare)) return;
        std::uint32_t label = kNone;
        Ready(k, station, at + o_.minTransfer, fare, ride, parent, label);
        for (StationIdx mate : ix_.GroupMates(station)) {
            if (s_.side[mate] == Side::None)
                Ready(k, mate, at + o_.cityTransfer, fare, ride, parent, label);
        }
    }

    // A pair for the bag of round k at the station, unless a pair of this round or an earlier
    // one is no later and no dearer; the label is made on the first pair kept.
    void Ready(int k, StationIdx station, std::int32_t at, std::int32_t fare, const Ride& ride,
               std::uint32_t parent, std::uint32_t& label) {
        const std::int32_t bound = s_.bound[station];
        if (bound >= kNever || Beaten(k + 1, at + bound, fare)) return;
        for (int j = 1; j <= k; ++j) {
            for (const Entry& e : s_.bags[j][station.Value()]) {
                if (e.ready <= at && e.fare <= fare) return;
            }
        }
        if (label == kNone) label = AddLabel(k, ride, parent, fare);
        Bag& bag = s_.bags[k][station.Value()];
        std::erase_if(bag, [&](const Entry& e) { return e.ready >= at && e.fare >= fare; });
        bag.push_back({at, fare, label, run_});
        if (!s_.marked[k][station]) {
            s_.marked[k][station] = 1;
            s_.markedList[k].push_back(station);
        }
    }

    std::uint32_t AddLabel(int k, const Ride& ride, std::uint32_t parent, std::int32_t fare) {
        s_.labels.push_back({ride, parent, fare, run_, static_cast<std::uint8_t>(k)});
        return static_cast<std::uint32_t>(s_.labels.size() - 1);
    }

    void Unmark(int k) {
        for (StationIdx x : s_.markedList[k]) s_.marked[k][x] = 0;
        s_.markedList[k].clear();
    }

    Journey Reconstruct(std::uint32_t l) const {
        std::vector<JourneyLeg> legs;
        for (std::uint32_t at = l; at != kNone; at = s_.labels[at].parent) {
            const Label& label = s_.labels[at];
            JourneyLeg leg = LegOf(ix_, label.ride, backward_);
            const std::int32_t before = label.parent == kNone ? 0 : s_.labels[label.parent].fare;
            leg.fare = label.fare - before;
            legs.push_back(std::move(leg));
        }
        Journey j = Assemble(std::move(legs), backward_);
        j.fare = s_.labels[l].fare;
        return j;
    }

    const JourneyIndex& ix_;
    const RouteFares& fares_;
    const JourneyOptions& o_;
    const bool backward_;
    const int rounds_;
    FareScratch& s_;
    std::uint32_t run_ = 0;
};

}  // namespace

std::vector<Journey> PlanWithFares(const JourneyIndex& ix, const JourneySides& sides,
                                   const JourneyOptions& o, Window window, bool backward) {
    return FareRaptor(ix, sides, o, window, backward, ThreadFareScratch()).Run();
}

}  // namespace korvel::search
