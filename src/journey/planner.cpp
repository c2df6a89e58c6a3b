// The search is range RAPTOR (rounds over routes, one round per train ridden, repeated for
// every departure minute of the window from the latest to the earliest, keeping the labels
// of the later minutes).
//
// Why this and not the connection scan: every train runs every day and a journey can take
// three days or more (the longest trains run 67 hours), so a connection scan would have to
// walk each day's connections several times over, and its profile form keeps a Pareto set
// per station and change count. RAPTOR walks only the routes that call at stations reached
// in the previous round; the daily repetition is a lookup of the next run in a route's sorted
// origin times, and trains that share their stop list and offsets (the copies of a scaled
// timetable, or one train under two numbers) are scanned once as one route. The range form
// gives the whole Pareto set over (departure, arrival, changes) for the window: a journey is
// reported exactly when the run for its departure minute improves the best arrival with that
// many trains and beats every journey with fewer.
//
// Three things keep the runs cheap: a lower bound on the rest of the way from every station
// (riding without waits) drops labels that cannot beat the best arrival known; a route is
// boarded again only where the earlier readiness of this run catches a run of it that the
// later minutes did not (everything else was ridden already); and the last round rides only
// routes that still reach the arrival side.
#include "journey/planner.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <queue>

namespace korvel {

JourneyOptionError CheckJourneyOptions(const JourneyOptions& o) {
    if (o.windowStart < 0 || o.windowStart >= kMinutesPerDay || o.windowEnd < 0 ||
        o.windowEnd >= kMinutesPerDay) {
        return JourneyOptionError::Window;
    }
    if (o.maxTransfers < 0 || o.maxTransfers > kMaxJourneyTransfers) {
        return JourneyOptionError::MaxTransfers;
    }
    if (o.minTransfer < 0 || o.minTransfer > kMaxChangeMinutes) {
        return JourneyOptionError::MinTransfer;
    }
    if (o.cityTransfer < 0 || o.cityTransfer > kMaxChangeMinutes) {
        return JourneyOptionError::CityTransfer;
    }
    return JourneyOptionError::None;
}

namespace {

constexpr std::int32_t kNever = std::numeric_limits<std::int32_t>::max() / 2;
constexpr std::uint32_t kNone = JourneyIndex::kNone;
constexpr int kMaxRounds = kMaxJourneyTransfers + 1;

std::int32_t Modulo(std::int32_t x, std::int32_t m) {
    return (x % m + m) % m;
}

enum Side : std::uint8_t { kNoSide = 0, kFromSide = 1, kToSide = 2 };

// How a station was reached in a round: the route, its run and the stops ridden.
struct Ride {
    std::uint32_t route = kNone;
    std::uint32_t trip = 0;
    std::int32_t originTime = 0;
    std::uint32_t board = 0;
    std::uint32_t alight = 0;
};

// A first train that leaves a departure-side station within the window.
struct Departure {
    std::int32_t at;
    std::uint32_t route;
    std::uint32_t stop;
    std::uint32_t trip;
};

// The window as an interval of minutes: the end on the next day when it runs past midnight.
struct Window {
    std::int32_t first;
    std::int32_t last;
};

Window WindowInterval(const JourneyOptions& o) {
    return {o.windowStart,
            o.windowEnd >= o.windowStart ? o.windowEnd : o.windowEnd + kMinutesPerDay};
}

class RangeRaptor {
  public:
    // Over the backward index (`backward`), `sides` holds the arrival side as `from` and the
    // window is negated; the journeys come out turned forward again.
    RangeRaptor(const JourneyIndex& ix, const JourneySides& sides, const JourneyOptions& o,
                Window window, bool backward)
        : ix_(ix),
          o_(o),
          window_(window),
          backward_(backward),
          rounds_(o.maxTransfers + 1),
          side_(ix.StationCount(), kNoSide) {
        for (std::uint32_t s : sides.from) side_[s] = kFromSide;
        for (std::uint32_t s : sides.to) side_[s] = kToSide;
        const std::size_t n = ix.StationCount();
        for (int k = 0; k <= rounds_; ++k) {
            arrive_[k].assign(n, kNever);
            ready_[k].assign(n, kNever);
            readyBefore_[k].assign(n, kNever);
            rideTo_[k].resize(n);
            readyFrom_[k].assign(n, kNone);
        }
        arrivalMarked_.assign(n, 0);
        readyMarked_.assign(n, 0);
        routeStart_.assign(ix.RouteCount(), kNone);
        lastTo_.assign(ix.RouteCount(), 0);
        for (std::uint32_t s : sides.to) {
            for (const JourneyIndex::Call& c : ix.Calls(s)) {
                if (ix.CanAlight(c.route, c.stop))
                    lastTo_[c.route] = std::max(lastTo_[c.route], c.stop);
            }
        }
        targetBest_.fill(kNever);
        LowerBounds(sides.to);
        RouteBounds();
        CollectDepartures(sides.from);
    }

    std::vector<Journey> Run() {
        std::vector<Journey> out;
        for (std::size_t i = 0; i < departures_.size();) {
            const std::int32_t t = departures_[i].at;
            std::size_t end = i;
            while (end < departures_.size() && departures_[end].at == t) ++end;
            std::array<std::int32_t, kMaxRounds + 1> before = targetBest_;
            FirstRound(i, end);
            for (int k = 2; k <= rounds_ && !readyList_.empty(); ++k) Round(k);
            ClearReady();
            for (int k = 1; k <= rounds_; ++k) {
                if (targetBest_[k] < before[k] && targetBest_[k] < targetBest_[k - 1]) {
                    out.push_back(Reconstruct(k));
                }
            }
            i = end;
        }
        std::sort(out.begin(), out.end(), [](const Journey& a, const Journey& b) {
            if (a.depart != b.depart) return a.depart < b.depart;
            return a.arrive < b.arrive;
        });
        return out;
    }

  private:
    // The shortest time from every station to the arrival side, riding without waits or
    // dwells (a change of station within a city costs its minimum): a journey reaching a
    // station at t cannot arrive before t + bound.
    void LowerBounds(const std::vector<std::uint32_t>& to) {
        bound_.assign(ix_.StationCount(), kNever);
        using Item = std::pair<std::int32_t, std::uint32_t>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
        for (std::uint32_t s : to) {
            bound_[s] = 0;
            queue.push({0, s});
        }
        auto reach = [&](std::uint32_t s, std::int32_t at) {
            if (at < bound_[s]) {
                bound_[s] = at;
                queue.push({at, s});
            }
        };
        while (!queue.empty()) {
            const auto [at, s] = queue.top();
            queue.pop();
            if (at > bound_[s]) continue;
            for (const JourneyIndex::Hop& h : ix_.HopsInto(s)) reach(h.station, at + h.minutes);
            for (std::uint32_t mate : ix_.GroupMates(s)) reach(mate, at + o_.cityTransfer);
        }
    }

    // For every stop of every route, the earliest the arrival side can be reached after
    // riding on from it, counted from the run's origin time: boarding there at b cannot
    // arrive before b - DepartOffset + onward.
    void RouteBounds() {
        onward_.assign(ix_.TotalStops(), kNever);
        for (std::uint32_t r = 0; r < ix_.RouteCount(); ++r) {
            const std::uint32_t base = ix_.FirstStop(r);
            std::int32_t best = kNever;
            for (std::uint32_t q = ix_.StopCount(r); q-- > 0;) {
                onward_[base + q] = best;
                const std::int32_t b = bound_[ix_.StopStation(r, q)];
                if (ix_.CanAlight(r, q) && b < kNever) {
                    best = std::min(best, ix_.ArriveOffset(r, q) + b);
                }
            }
        }
    }

    // Whether a train boarded at this stop at `ready` or later could still arrive before the
    // best arrival with k trains.
    bool Promising(int k, std::uint32_t r, std::uint32_t stop, std::int32_t ready) const {
        const std::int32_t onward = onward_[ix_.FirstStop(r) + stop];
        return onward < kNever && ready - ix_.DepartOffset(r, stop) + onward < targetBest_[k];
    }

    void CollectDepartures(const std::vector<std::uint32_t>& from) {
        for (std::uint32_t s : from) {
            for (const JourneyIndex::Call& c : ix_.Calls(s)) {
                if (!ix_.CanBoard(c.route, c.stop)) continue;
                const JourneyIndex::Trip* trips = ix_.Trips(c.route);
                const std::int32_t offset = ix_.DepartOffset(c.route, c.stop);
                for (std::uint32_t j = 0; j < ix_.TripCount(c.route); ++j) {
                    // The run's departure on the window's first day or the day after.
                    const std::int32_t at =
                        window_.first +
                        Modulo(trips[j].originMinute + offset - window_.first, kMinutesPerDay);
                    if (at > window_.last) continue;
                    departures_.push_back({at, c.route, c.stop, j});
                }
            }
        }
        std::sort(departures_.begin(), departures_.end(),
                  [](const Departure& a, const Departure& b) { return a.at > b.at; });
    }

    // Round 1: only the trains leaving at this minute, ridden from where they are boarded.
    void FirstRound(std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const Departure& d = departures_[i];
            Ride ride;
            ride.route = d.route;
            ride.trip = d.trip;
            ride.originTime = d.at - ix_.DepartOffset(d.route, d.stop);
            ride.board = d.stop;
            for (std::uint32_t q = d.stop + 1; q < ix_.StopCount(d.route); ++q) {
                if (!ix_.CanAlight(d.route, q)) continue;
                ride.alight = q;
                Arrive(1, ix_.StopStation(d.route, q),
                       ride.originTime + ix_.ArriveOffset(d.route, q), ride);
            }
        }
        Relax(1);
    }

    // Round k >= 2: every route through a station whose readiness improved in round k - 1.
    void Round(int k) {
        // The stations whose readiness improved in round k - 1 of this run: only there can a
        // train be boarded that no later departure minute has already tried.
        boardList_.swap(readyList_);
        readyList_.clear();
        routeList_.clear();
        for (std::uint32_t s : boardList_) {
            for (const JourneyIndex::Call& c : ix_.Calls(s)) {
                // The last train must reach the arrival side after boarding.
                if (k == rounds_ && lastTo_[c.route] <= c.stop) continue;
                JourneyIndex::Catch run;
                if (!Boardable(k, c.route, c.stop, s, run)) continue;
                std::uint32_t& start = routeStart_[c.route];
                if (start == kNone) routeList_.push_back(c.route);
                start = std::min(start, c.stop);
            }
        }
        for (std::uint32_t r : routeList_) {
            const std::uint32_t start = routeStart_[r];
            routeStart_[r] = kNone;
            ScanRoute(k, r, start);
        }
        for (std::uint32_t s : boardList_) readyMarked_[s] = 0;
        boardList_.clear();
        if (k < rounds_) {
            Relax(k);
        } else {
            for (std::uint32_t s : arrivalList_) arrivalMarked_[s] = 0;
            arrivalList_.clear();
        }
    }

    // Whether boarding this stop in round k could give anything new: the station became
    // ready earlier in this run, a run leaves from there that the readiness before this run
    // did not catch, and it could still arrive in time. Gives that run.
    bool Boardable(int k, std::uint32_t r, std::uint32_t stop, std::uint32_t station,
                   JourneyIndex::Catch& run) const {
        if (!readyMarked_[station] || !ix_.CanBoard(r, stop)) return false;
        const std::int32_t ready = ready_[k - 1][station];
        if (!Promising(k, r, stop, ready)) return false;
        run = ix_.EarliestRun(r, stop, ready);
        return run.originTime + ix_.DepartOffset(r, stop) < readyBefore_[k - 1][station];
    }

    void ScanRoute(int k, std::uint32_t r, std::uint32_t start) {
        const std::vector<std::int32_t>& ready = ready_[k - 1];
        bool riding = false;
        Ride ride;
        ride.route = r;
        const std::uint32_t stops = k == rounds_ ? lastTo_[r] + 1 : ix_.StopCount(r);
        for (std::uint32_t q = start; q < stops; ++q) {
            const std::uint32_t station = ix_.StopStation(r, q);
            if (riding && ix_.CanAlight(r, q)) {
                ride.alight = q;
                Arrive(k, station, ride.originTime + ix_.ArriveOffset(r, q), ride);
            }
            if (!readyMarked_[station]) continue;
            const std::int32_t at = ready[station];
            if (riding && at > ride.originTime + ix_.DepartOffset(r, q)) continue;
            JourneyIndex::Catch c;
            if (!Boardable(k, r, q, station, c)) continue;
            if (!riding || c.originTime < ride.originTime) {
                riding = true;
                ride.trip = c.trip;
                ride.originTime = c.originTime;
                ride.board = q;
            }
        }
    }

    void Arrive(int k, std::uint32_t station, std::int32_t at, const Ride& ride) {
        const std::uint8_t side = side_[station];
        if (side == kToSide) {
            if (at < targetBest_[k]) {
                targetRide_[k] = ride;
                for (int j = k; j <= rounds_; ++j) targetBest_[j] = std::min(targetBest_[j], at);
            }
            return;
        }
        // A station off the arrival side is worth keeping only for a later train that could
        // still arrive before the best with that many trains.
        if (side == kFromSide || k == rounds_ || at + bound_[station] >= targetBest_[k + 1]) return;
        for (int j = 1; j <= k; ++j) {
            if (arrive_[j][station] <= at) return;
        }
        arrive_[k][station] = at;
        rideTo_[k][station] = ride;
        if (!arrivalMarked_[station]) {
            arrivalMarked_[station] = 1;
            arrivalList_.push_back(station);
        }
    }

    // Readiness for the next train after the arrivals of round k: at the same station, or
    // at another station of its city.
    void Relax(int k) {
        for (std::uint32_t s : arrivalList_) {
            arrivalMarked_[s] = 0;
            const std::int32_t at = arrive_[k][s];
            Ready(k, s, at + o_.minTransfer, s);
            for (std::uint32_t mate : ix_.GroupMates(s)) {
                if (side_[mate] == kNoSide) Ready(k, mate, at + o_.cityTransfer, s);
            }
        }
        arrivalList_.clear();
    }

    void Ready(int k, std::uint32_t station, std::int32_t at, std::uint32_t from) {
        if (at + bound_[station] >= targetBest_[k + 1]) return;
        std::int32_t best = kNever;
        for (int j = 1; j <= k; ++j) best = std::min(best, ready_[j][station]);
        if (best <= at) return;
        ready_[k][station] = at;
        readyFrom_[k][station] = from;
        if (!readyMarked_[station]) {
            readyBefore_[k][station] = best;
            readyMarked_[station] = 1;
            readyList_.push_back(station);
        }
    }

    void ClearReady() {
        for (std::uint32_t s : readyList_) readyMarked_[s] = 0;
        readyList_.clear();
    }

    // A ride as a leg of the journey, turned forward when the search runs backward.
    JourneyLeg Leg(const Ride& ride) const {
        JourneyLeg leg;
        leg.train = ix_.Trips(ride.route)[ride.trip].train;
        leg.boardStop = ride.board;
        leg.alightStop = ride.alight;
        leg.fromStation = ix_.StopStation(ride.route, ride.board);
        leg.toStation = ix_.StopStation(ride.route, ride.alight);
        leg.depart = ride.originTime + ix_.DepartOffset(ride.route, ride.board);
        leg.arrive = ride.originTime + ix_.ArriveOffset(ride.route, ride.alight);
        if (backward_) {
            const std::uint32_t last = ix_.StopCount(ride.route) - 1;
            std::swap(leg.fromStation, leg.toStation);
            leg.boardStop = last - ride.alight;
            leg.alightStop = last - ride.board;
            const std::int32_t depart = -leg.arrive;
            leg.arrive = -leg.depart;
            leg.depart = depart;
        }
        return leg;
    }

    // The journey whose last train reached the arrival side in round k of this run.
    Journey Reconstruct(int k) const {
        Journey j;
        Ride ride = targetRide_[k];
        for (int round = k;; --round) {
            j.legs.push_back(Leg(ride));
            if (round == 1) break;
            const std::uint32_t came =
                readyFrom_[round - 1][ix_.StopStation(ride.route, ride.board)];
            ride = rideTo_[round - 1][came];
        }
        // Collected from the last train back; a backward search's last train is the first.
        if (!backward_) std::reverse(j.legs.begin(), j.legs.end());
        for (std::size_t i = 0; i + 1 < j.legs.size(); ++i) {
            j.legs[i].wait = j.legs[i + 1].depart - j.legs[i].arrive;
        }
        j.depart = j.legs.front().depart;
        j.arrive = j.legs.back().arrive;
        j.minutes = j.arrive - j.depart;
        j.transfers = static_cast<std::int32_t>(j.legs.size()) - 1;
        return j;
    }

    const JourneyIndex& ix_;
    const JourneyOptions& o_;
    const Window window_;
    const bool backward_;
    const int rounds_;
    std::vector<std::uint8_t> side_;
    std::vector<std::int32_t> bound_;    // LowerBounds
    std::vector<std::int32_t> onward_;   // RouteBounds
    std::vector<std::uint32_t> lastTo_;  // last arrival-side stop of each route (0: none)
    std::vector<Departure> departures_;

    // Per round (1..rounds_): earliest arrival at a station with at most that many trains,
    // the ride that gave it, the earliest time the next train can be boarded there and the
    // station whose arrival allows it.
    std::array<std::vector<std::int32_t>, kMaxRounds + 1> arrive_;
    std::array<std::vector<Ride>, kMaxRounds + 1> rideTo_;
    std::array<std::vector<std::int32_t>, kMaxRounds + 1> ready_;
    std::array<std::vector<std::uint32_t>, kMaxRounds + 1> readyFrom_;
    // The readiness with at most that many trains before the current run improved it.
    std::array<std::vector<std::int32_t>, kMaxRounds + 1> readyBefore_;
    // Best arrival on the arrival side with at most that many trains, and the ride that
    // reached it in that round.
    std::array<std::int32_t, kMaxRounds + 1> targetBest_;
    std::array<Ride, kMaxRounds + 1> targetRide_;

    std::vector<std::uint8_t> arrivalMarked_;
    std::vector<std::uint32_t> arrivalList_;
    std::vector<std::uint8_t> readyMarked_;
    std::vector<std::uint32_t> readyList_;
    std::vector<std::uint32_t> boardList_;
    std::vector<std::uint32_t> routeStart_;
    std::vector<std::uint32_t> routeList_;
};

}  // namespace

std::vector<Journey> PlanJourneys(const JourneyIndex& index, const JourneySides& sides,
                                  const JourneyOptions& options) {
    if (CheckJourneyOptions(options) != JourneyOptionError::None) return {};
    for (std::uint32_t s : sides.from) {
        if (s >= index.StationCount()) return {};
        if (std::find(sides.to.begin(), sides.to.end(), s) != sides.to.end()) return {};
    }
    for (std::uint32_t s : sides.to) {
        if (s >= index.StationCount()) return {};
    }
    if (sides.from.empty() || sides.to.empty()) return {};
    const Window window = WindowInterval(options);
    if (options.windowOf == JourneyWindowOf::Departure)
        return RangeRaptor(index, sides, options, window, false).Run();
    const JourneySides backward{sides.to, sides.from};
    return RangeRaptor(index.Backward(), backward, options, {-window.last, -window.first}, true)
        .Run();
}

}  // namespace korvel
