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
//
// An arrival window is the same search run backwards in time: over the index's backward copy
// (every route reversed, times negated) from the arrival side to the departure side, with the
// window negated, the earliest arrivals are the latest departures, and the Pareto rule is the
// same rule. Writing a second, mirrored search would double the code that has to stay right;
// the backward copy costs one pass over the routes, once. The journeys are turned forward as
// they are rebuilt.
#include "journey/planner.h"

#include <algorithm>
#include <utility>

#include "journey/search_parts.h"

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

using namespace search;

constexpr std::uint32_t kNone = JourneyIndex::kNone;

// The arrays of one search, kept per thread from one search to the next so that a search
// reuses the memory of the last instead of allocating its own (every array is refilled).
template <class T>
using ByRound = std::array<ByStation<T>, kMaxRounds + 1>;

struct Scratch {
    SearchSetup setup;
    ByRound<std::int32_t> arrive;
    ByRound<Ride> rideTo;
    ByRound<std::int32_t> ready;
    ByRound<StationIdx> readyFrom;
    ByRound<std::int32_t> readyBefore;
    ByStation<std::uint8_t> arrivalMarked;
    std::vector<StationIdx> arrivalList;
    ByStation<std::uint8_t> readyMarked;
    std::vector<StationIdx> readyList;
    std::vector<StationIdx> boardList;
    IdxVector<RouteIdx, std::uint32_t> routeStart;
    std::vector<RouteIdx> routeList;
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

class RangeRaptor {
  public:
    // Over the backward index (`backward`), `sides` holds the arrival side as `from` and the
    // window is negated; the journeys come out turned forward again.
    RangeRaptor(const JourneyIndex& ix, const JourneySides& sides, const JourneyOptions& o,
                Window window, bool backward, Scratch& scratch)
        : ix_(ix),
          o_(o),
          window_(window),
          backward_(backward),
          rounds_(o.maxTransfers + 1),
          side_(scratch.setup.side),
          bound_(scratch.setup.bound),
          onward_(scratch.setup.onward),
          lastTo_(scratch.setup.lastTo),
          departures_(scratch.setup.departures),
          arrive_(scratch.arrive),
          rideTo_(scratch.rideTo),
          ready_(scratch.ready),
          readyFrom_(scratch.readyFrom),
          readyBefore_(scratch.readyBefore),
          arrivalMarked_(scratch.arrivalMarked),
          arrivalList_(scratch.arrivalList),
          readyMarked_(scratch.readyMarked),
          readyList_(scratch.readyList),
          boardList_(scratch.boardList),
          routeStart_(scratch.routeStart),
          routeList_(scratch.routeList) {
        scratch.setup.Prepare(ix, sides, o, window);
        for (std::vector<StationIdx>* list : {&arrivalList_, &readyList_, &boardList_})
            list->clear();
        routeList_.clear();
        const std::size_t n = ix.StationCount();
        for (int k = 0; k <= rounds_; ++k) {
            arrive_[k].assign(n, kNever);
            ready_[k].assign(n, kNever);
            readyBefore_[k].assign(n, kNever);
            rideTo_[k].assign(n, Ride{});
            readyFrom_[k].assign(n, kNoStation);
        }
        arrivalMarked_.assign(n, 0);
        readyMarked_.assign(n, 0);
        routeStart_.assign(ix.RouteCount(), kNone);
        targetBest_.fill(kNever);
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
    // Whether a train boarded at this stop at `ready` or later could still arrive before the
    // best arrival with k trains.
    bool Promising(int k, RouteIdx r, std::uint32_t stop, std::int32_t ready) const {
        const std::int32_t onward = onward_[ix_.FirstStop(r) + stop];
        return onward < kNever && ready - ix_.DepartOffset(r, stop) + onward < targetBest_[k];
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
        for (StationIdx s : boardList_) {
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
        for (RouteIdx r : routeList_) {
            const std::uint32_t start = routeStart_[r];
            routeStart_[r] = kNone;
            ScanRoute(k, r, start);
        }
        for (StationIdx s : boardList_) readyMarked_[s] = 0;
        boardList_.clear();
        if (k < rounds_) {
            Relax(k);
        } else {
            for (StationIdx s : arrivalList_) arrivalMarked_[s] = 0;
            arrivalList_.clear();
        }
    }

    // Whether boarding this stop in round k could give anything new: the station became
    // ready earlier in this run, a run leaves from there that the readiness before this run
    // did not catch, and it could still arrive in time. Gives that run.
    bool Boardable(int k, RouteIdx r, std::uint32_t stop, StationIdx station,
                   JourneyIndex::Catch& run) const {
        if (!readyMarked_[station] || !ix_.CanBoard(r, stop)) return false;
        const std::int32_t ready = ready_[k - 1][station];
        if (!Promising(k, r, stop, ready)) return false;
        run = ix_.EarliestRun(r, stop, ready);
        return run.originTime + ix_.DepartOffset(r, stop) < readyBefore_[k - 1][station];
    }

    void ScanRoute(int k, RouteIdx r, std::uint32_t start) {
        const ByStation<std::int32_t>& ready = ready_[k - 1];
        bool riding = false;
        Ride ride;
        ride.route = r;
        const std::uint32_t stops = k == rounds_ ? lastTo_[r] + 1 : ix_.StopCount(r);
        for (std::uint32_t q = start; q < stops; ++q) {
            const StationIdx station = ix_.StopStation(r, q);
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

    void Arrive(int k, StationIdx station, std::int32_t at, const Ride& ride) {
        const Side side = side_[station];
        if (side == Side::To) {
            if (at < targetBest_[k]) {
                targetRide_[k] = ride;
                for (int j = k; j <= rounds_; ++j) targetBest_[j] = std::min(targetBest_[j], at);
            }
            return;
        }
        // A station off the arrival side is worth keeping only for a later train that could
        // still arrive before the best with that many trains.
        if (side == Side::From || k == rounds_ || at + bound_[station] >= targetBest_[k + 1])
            return;
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
        for (StationIdx s : arrivalList_) {
            arrivalMarked_[s] = 0;
            const std::int32_t at = arrive_[k][s];
            Ready(k, s, at + o_.minTransfer, s);
            for (StationIdx mate : ix_.GroupMates(s)) {
                if (side_[mate] == Side::None) Ready(k, mate, at + o_.cityTransfer, s);
            }
        }
        arrivalList_.clear();
    }

    void Ready(int k, StationIdx station, std::int32_t at, StationIdx from) {
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
        for (StationIdx s : readyList_) readyMarked_[s] = 0;
        readyList_.clear();
    }

    // The journey whose last train reached the arrival side in round k of this run.
    Journey Reconstruct(int k) const {
        std::vector<JourneyLeg> legs;
        Ride ride = targetRide_[k];
        for (int round = k;; --round) {
            legs.push_back(LegOf(ix_, ride, backward_));
            if (round == 1) break;
            const StationIdx came = readyFrom_[round - 1][ix_.StopStation(ride.route, ride.board)];
            ride = rideTo_[round - 1][came];
        }
        return Assemble(std::move(legs), backward_);
    }

    const JourneyIndex& ix_;
    const JourneyOptions& o_;
    const Window window_;
    const bool backward_;
    const int rounds_;
    ByStation<Side>& side_;
    ByStation<std::int32_t>& bound_;              // LowerBounds
    std::vector<std::int32_t>& onward_;           // RouteBounds
    IdxVector<RouteIdx, std::uint32_t>& lastTo_;  // last arrival-side stop of each route (0: none)
    std::vector<Departure>& departures_;

    // Per round (1..rounds_): earliest arrival at a station with at most that many trains,
    // the ride that gave it, the earliest time the next train can be boarded there and the
    // station whose arrival allows it.
    ByRound<std::int32_t>& arrive_;
    ByRound<Ride>& rideTo_;
    ByRound<std::int32_t>& ready_;
    ByRound<StationIdx>& readyFrom_;
    // The readiness with at most that many trains before the current run improved it.
    ByRound<std::int32_t>& readyBefore_;
    // Best arrival on the arrival side with at most that many trains, and the ride that
    // reached it in that round.
    std::array<std::int32_t, kMaxRounds + 1> targetBest_;
    std::array<Ride, kMaxRounds + 1> targetRide_;

    ByStation<std::uint8_t>& arrivalMarked_;
    std::vector<StationIdx>& arrivalList_;
    ByStation<std::uint8_t>& readyMarked_;
    std::vector<StationIdx>& readyList_;
    std::vector<StationIdx>& boardList_;
    IdxVector<RouteIdx, std::uint32_t>& routeStart_;
    std::vector<RouteIdx>& routeList_;
};

}  // namespace

std::vector<Journey> PlanJourneys(const JourneyIndex& index, const JourneySides& sides,
                                  const JourneyOptions& asked) {
    if (CheckJourneyOptions(asked) != JourneyOptionError::None) return {};
    JourneyOptions options = asked;
    if (sides.sameCity) options.maxTransfers = 0;
    for (StationIdx s : sides.from) {
        if (s.Value() >= index.StationCount()) return {};
        if (std::find(sides.to.begin(), sides.to.end(), s) != sides.to.end()) return {};
    }
    for (StationIdx s : sides.to) {
        if (s.Value() >= index.StationCount()) return {};
    }
    if (sides.from.empty() || sides.to.empty()) return {};
    const Window window = WindowInterval(options);
    if (options.fareClass) {
        if (options.windowOf == JourneyWindowOf::Departure)
            return PlanWithFares(index, sides, options, window, false);
        const JourneySides backward{sides.to, sides.from, sides.sameCity};
        return PlanWithFares(index.Backward(), backward, options, {-window.last, -window.first},
                             true);
    }
    if (options.windowOf == JourneyWindowOf::Departure)
        return RangeRaptor(index, sides, options, window, false, ThreadScratch()).Run();
    const JourneySides backward{sides.to, sides.from, sides.sameCity};
    return RangeRaptor(index.Backward(), backward, options, {-window.last, -window.first}, true,
                       ThreadScratch())
        .Run();
}

}  // namespace korvel
