// The timetable as the journey planner reads it: every train as a daily run over its stops
// with each stop's minutes since the origin's departure, trains with identical stop lists and
// identical offsets gathered into one route (their runs differ only in the origin's clock
// time), and for every station the routes that call there with the stop's position.
//
// Times: a train's origin departure T0 is its first stop's D_Time; a stop's arrival is
// T0 + R_Date and its departure the arrival plus the dwell (D_Time - A_Time, modulo 24 h).
// The origin has only a departure, the terminus only an arrival. Every train runs every day,
// so a run of a route leaves its origin at T0 + 1440 * d for any whole day d.
//
// Built once over the typed timetable, whose station and train numbers it uses, and
// read-only afterwards; build a new index after a reload.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/schema.h"
#include "journey/journey_fares.h"
#include "journey/journey_ids.h"
#include "timetable/timetable.h"

namespace korvel {

inline constexpr int kMinutesPerDay = 1440;

class JourneyIndex {
  public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // One call of a route at a station: the route and the stop's position on it.
    struct Call {
        RouteIdx route;
        std::uint32_t stop;
    };
    // A run of a route: the origin's clock time (0..1439) and the train it is.
    struct Trip {
        std::int32_t originMinute;
        TrainIdx train;
    };

    // Reads the trains in number order with their stops, and the same-city groups. Trains
    // without a train-list row, with fewer than two stops or an unreadable origin time are
    // left out, as the direct query leaves them out.
    explicit JourneyIndex(std::shared_ptr<const Timetable> timetable);
    // Over a typed timetable of its own, built from the tables.
    explicit JourneyIndex(const StoredTables& tables);

    const Timetable& Typed() const { return *tt_; }
    const std::shared_ptr<const Timetable>& SharedTyped() const { return tt_; }

    // Whether the index was built from these tables as they stand (same tables, and no load
    // since: their generation numbers are unchanged).
    bool Covers(const StoredTables& tables) const { return tt_->BuiltFrom(tables); }

    // --- stations (the typed timetable's numbers) ---
    std::uint32_t StationCount() const { return tt_->StationCount(); }
    // kNoStation when no usable train calls there.
    StationIdx StationId(std::string_view name) const;
    const std::string& StationName(StationIdx station) const { return tt_->Name(station); }
    // The other stations of the station's same-city group that trains call at.
    std::span<const StationIdx> GroupMates(StationIdx station) const { return mates_[station]; }
    std::span<const Call> Calls(StationIdx station) const { return calls_[station]; }
    // The stations a train reaches this station from without stopping in between, with the
    // shortest such ride (dwells left out): what a lower bound on the rest of a journey
    // walks backwards over.
    struct Hop {
        StationIdx station;
        std::int32_t minutes;
    };
    std::span<const Hop> HopsInto(StationIdx station) const { return hopsInto_[station]; }

    // --- routes ---
    std::uint32_t RouteCount() const { return static_cast<std::uint32_t>(routeFirst_.size()); }
    std::uint32_t StopCount(RouteIdx route) const { return routeStops_[route.Value()]; }
    // The stops of all routes numbered one after another: route r's stop s is number
    // FirstStop(r) + s of TotalStops().
    std::uint32_t FirstStop(RouteIdx route) const { return routeFirst_[route.Value()]; }
    std::uint32_t TotalStops() const { return static_cast<std::uint32_t>(stopStation_.size()); }
    StationIdx StopStation(RouteIdx route, std::uint32_t stop) const {
        return stopStation_[FirstStop(route) + stop];
    }
    // Minutes from the origin's departure to the arrival at / departure from a stop.
    std::int32_t ArriveOffset(RouteIdx route, std::uint32_t stop) const {
        return arrive_[FirstStop(route) + stop];
    }
    std::int32_t DepartOffset(RouteIdx route, std::uint32_t stop) const {
        return depart_[FirstStop(route) + stop];
    }
    // The origin has no arrival, the terminus (and a stop without D_Time) no departure.
    bool CanAlight(RouteIdx route, std::uint32_t stop) const {
        return (flags_[FirstStop(route) + stop] & kAlight) != 0;
    }
    bool CanBoard(RouteIdx route, std::uint32_t stop) const {
        return (flags_[FirstStop(route) + stop] & kBoard) != 0;
    }
    // The runs of a route ordered by the origin's clock time.
    const Trip* Trips(RouteIdx route) const { return &trips_[tripFirst_[route.Value()]]; }
    std::uint32_t TripCount(RouteIdx route) const {
        return tripFirst_[route.Value() + 1] - tripFirst_[route.Value()];
    }
    // The first run whose departure from `stop` is at `minute` (absolute, day 0 starting at
    // 0) or later: its trip number and the absolute minute it leaves the origin.
    struct Catch {
        std::uint32_t trip;
        std::int32_t originTime;
    };
    Catch EarliestRun(RouteIdx route, std::uint32_t stop, std::int32_t minute) const {
        const std::int32_t x = minute - DepartOffset(route, stop);
        std::int32_t day =
            x >= 0 ? x / kMinutesPerDay : -((kMinutesPerDay - 1 - x) / kMinutesPerDay);
        const std::int32_t clock = x - day * kMinutesPerDay;
        const Trip* first = Trips(route);
        const Trip* last = first + TripCount(route);
        const Trip* it = first;
        // Most routes have a few runs: a plain walk beats halving for them.
        if (last - first > 16) {
            it = std::lower_bound(first, last, clock,
                                  [](const Trip& t, std::int32_t m) { return t.originMinute < m; });
        } else {
            while (it != last && it->originMinute < clock) ++it;
        }
        if (it == last) {
            it = first;
            ++day;
        }
        return {static_cast<std::uint32_t>(it - first), it->originMinute + day * kMinutesPerDay};
    }

    // --- trains (the typed timetable's numbers) ---
    // How many trains the planner rides.
    std::uint32_t TrainCount() const { return usableTrains_; }
    const std::string& TrainId(TrainIdx train) const { return tt_->Number(train); }
    // The train-list record of the train and the stops-table record of its stop number
    // `stop` (0 the origin).
    std::uint32_t ListRecord(TrainIdx train) const { return tt_->ListRecord(train); }
    std::uint32_t StopRecord(TrainIdx train, std::uint32_t stop) const {
        return tt_->StopRecord(StopId(tt_->FirstStop(train).Value() + stop));
    }

    // The same routes with time running backwards: a route's stops in reverse order, a stop's
    // arrival the forward departure and its departure the forward arrival, both counted back
    // from the terminus, and a run that reaches the terminus at clock T leaving (backwards)
    // at -T. A journey from A to B leaving at d and arriving at a is a backward journey from
    // B to A leaving at -a and arriving at -d, so the latest departures for an arrival are
    // the earliest arrivals of the backward index. Route numbers stay; route stop q is
    // backward stop StopCount - 1 - q; the trains' table records are not kept. Built on the
    // first call, once, safely from any thread.
    const JourneyIndex& Backward() const;

    // Every span's fare in one class, by forward stop numbers (the backward copy gives the
    // forward index's tables). Built on the first call for the class, once, safely from any
    // thread.
    const RouteFares& Fares(FareClass fareClass) const;

  private:
    struct Build;  // the state of one build from the tables
    struct BackwardTag {};
    JourneyIndex(const JourneyIndex& forward, BackwardTag);

    // The stages of the build, in order.
    void AddTrain(Build& build, TrainIdx train);
    void StoreTrips(std::vector<std::vector<Trip>>& routeTrips);
    void BuildCalls();
    void BuildHops();
    void BuildMates();

    static constexpr std::uint8_t kBoard = 1;
    static constexpr std::uint8_t kAlight = 2;

    std::shared_ptr<const Timetable> tt_;
    std::uint32_t usableTrains_ = 0;

    FlatLists<StationIdx, StationIdx> mates_;
    FlatLists<StationIdx, Call> calls_;
    FlatLists<StationIdx, Hop> hopsInto_;

    std::vector<std::uint32_t> routeFirst_;  // first stop of each route in the stop arrays
    std::vector<std::uint32_t> routeStops_;
    std::vector<StationIdx> stopStation_;
    std::vector<std::int32_t> arrive_;
    std::vector<std::int32_t> depart_;
    std::vector<std::uint8_t> flags_;
    std::vector<std::uint32_t> tripFirst_;  // plus one end entry
    std::vector<Trip> trips_;

    mutable std::once_flag backwardOnce_;
    mutable std::unique_ptr<const JourneyIndex> backward_;
    const JourneyIndex* forward_ = nullptr;  // in the backward copy: the index it turns round
    mutable std::array<std::once_flag, 4> faresOnce_;
    mutable std::array<std::unique_ptr<const RouteFares>, 4> fares_;
};

}  // namespace korvel
