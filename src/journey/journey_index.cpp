#include "journey/journey_index.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace korvel {

namespace {

// One stop of a train as the planner sees it.
struct PlanStop {
    StationIdx station;
    std::int32_t arrive;
    std::int32_t depart;
    std::uint8_t flags;
};

// Appends the bytes of a value to a route key.
template <class T>
void AppendKey(std::string& key, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    key.append(bytes, sizeof(T));
}

}  // namespace

struct JourneyIndex::Build {
    std::unordered_map<std::string, std::uint32_t> routeOf;  // key: the stops' bytes
    std::vector<std::vector<Trip>> routeTrips;
    std::vector<PlanStop> stops;
};

JourneyIndex::JourneyIndex(const StoredTables& tables)
    : JourneyIndex(std::make_shared<const Timetable>(tables)) {}

JourneyIndex::JourneyIndex(std::shared_ptr<const Timetable> timetable) : tt_(std::move(timetable)) {
    tripFirst_.push_back(0);
    Build build;
    for (TrainIdx t(0); t < TrainIdx(tt_->TrainCount()); ++t) AddTrain(build, t);
    StoreTrips(build.routeTrips);
    BuildCalls();
    BuildHops();
    BuildMates();
}

// A usable train's stops read into one route (a new one or the one with identical stops)
// and its run added to that route's trips.
void JourneyIndex::AddTrain(Build& b, TrainIdx train) {
    const Timetable& tt = *tt_;
    const std::uint32_t first = tt.FirstStop(train).Value();
    const std::uint32_t end = tt.EndStop(train).Value();
    if (!tt.Listed(train) || end - first < 2) return;
    const int origin = tt.Departures().Minutes(first);
    if (origin < 0) return;

    // Offsets from the origin, kept from running backwards so that no ride takes less than
    // no time (the shipped data never needs this).
    b.stops.clear();
    std::int32_t lastDepart = 0;
    for (std::uint32_t pos = first; pos < end; ++pos) {
        PlanStop s{tt.Station(StopId(pos)), 0, 0, 0};
        const int a = tt.Arrivals().Minutes(pos);
        const int d = tt.Departures().Minutes(pos);
        if (pos != first) {
            s.arrive = std::max<std::int32_t>(tt.RunTimes().Minutes(pos), lastDepart);
            s.flags |= kAlight;
        }
        s.depart = s.arrive;
        if (pos + 1 < end && d >= 0) {
            if (pos != first && a >= 0)
                s.depart += ((d - a) % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
            s.flags |= kBoard;
        }
        lastDepart = s.depart;
        b.stops.push_back(s);
    }
    ++usableTrains_;

    std::string key;
    for (const PlanStop& s : b.stops) {
        AppendKey(key, s.station);
        AppendKey(key, s.arrive);
        AppendKey(key, s.depart);
        AppendKey(key, s.flags);
    }
    auto [it, added] = b.routeOf.try_emplace(key, static_cast<std::uint32_t>(routeFirst_.size()));
    if (added) {
        routeFirst_.push_back(static_cast<std::uint32_t>(stopStation_.size()));
        routeStops_.push_back(static_cast<std::uint32_t>(b.stops.size()));
        for (const PlanStop& s : b.stops) {
            stopStation_.push_back(s.station);
            arrive_.push_back(s.arrive);
            depart_.push_back(s.depart);
            flags_.push_back(s.flags);
        }
        b.routeTrips.emplace_back();
    }
    b.routeTrips[it->second].push_back({origin, train});
}

// Each route's runs in the order of the origin's clock time, one route after another.
void JourneyIndex::StoreTrips(std::vector<std::vector<Trip>>& routeTrips) {
    tripFirst_.assign(1, 0);
    trips_.clear();
    for (auto& trips : routeTrips) {
        std::sort(trips.begin(), trips.end(), [](const Trip& a, const Trip& b) {
            return a.originMinute != b.originMinute ? a.originMinute < b.originMinute
                                                    : a.train < b.train;
        });
        trips_.insert(trips_.end(), trips.begin(), trips.end());
        tripFirst_.push_back(static_cast<std::uint32_t>(trips_.size()));
    }
}

void JourneyIndex::BuildCalls() {
    std::vector<std::vector<Call>> calls(StationCount());  // by station
    for (RouteIdx r(0); r < RouteIdx(RouteCount()); ++r) {
        for (std::uint32_t s = 0; s < StopCount(r); ++s)
            calls[StopStation(r, s).Value()].push_back({r, s});
    }
    calls_.Assign(calls);
}

void JourneyIndex::BuildHops() {
    std::vector<std::vector<Hop>> hopsInto(StationCount());
    for (RouteIdx r(0); r < RouteIdx(RouteCount()); ++r) {
        for (std::uint32_t s = 0; s + 1 < StopCount(r); ++s) {
            const StationIdx from = StopStation(r, s);
            const StationIdx to = StopStation(r, s + 1);
            const std::int32_t minutes = ArriveOffset(r, s + 1) - DepartOffset(r, s);
            std::vector<Hop>& hops = hopsInto[to.Value()];
            auto it = std::find_if(hops.begin(), hops.end(),
                                   [from](const Hop& h) { return h.station == from; });
            if (it == hops.end()) {
                hops.push_back({from, minutes});
            } else {
                it->minutes = std::min(it->minutes, minutes);
            }
        }
    }
    hopsInto_.Assign(hopsInto);
}

// Every station's group mates that trains call at: the group's other stations in the
// same-city table's stored order.
void JourneyIndex::BuildMates() {
    std::vector<std::vector<StationIdx>> mates(StationCount());
    std::map<std::int32_t, std::vector<StationIdx>> groups;
    for (const Timetable::GroupRow& row : tt_->GroupRows()) {
        if (!calls_[row.station].empty())
            groups[tt_->GroupNumber(row.group)].push_back(row.station);
    }
    for (const auto& [gpNo, members] : groups) {
        for (StationIdx s : members) {
            for (StationIdx other : members) {
                if (other != s) mates[s.Value()].push_back(other);
            }
        }
    }
    mates_.Assign(mates);
}

JourneyIndex::JourneyIndex(const JourneyIndex& f, BackwardTag)
    : tt_(f.tt_),
      usableTrains_(f.usableTrains_),
      mates_(f.mates_),
      routeFirst_(f.routeFirst_),
      routeStops_(f.routeStops_),
      forward_(&f) {
    std::vector<std::vector<Trip>> routeTrips(f.RouteCount());
    for (RouteIdx r(0); r < RouteIdx(f.RouteCount()); ++r) {
        const std::uint32_t n = f.StopCount(r);
        const std::int32_t end = f.ArriveOffset(r, n - 1);
        for (std::uint32_t q = n; q-- > 0;) {
            stopStation_.push_back(f.StopStation(r, q));
            arrive_.push_back(end - f.DepartOffset(r, q));
            depart_.push_back(end - f.ArriveOffset(r, q));
            flags_.push_back(static_cast<std::uint8_t>((f.CanBoard(r, q) ? kAlight : 0) |
                                                       (f.CanAlight(r, q) ? kBoard : 0)));
        }
        const Trip* trips = f.Trips(r);
        for (std::uint32_t j = 0; j < f.TripCount(r); ++j) {
            const std::int32_t back = -(trips[j].originMinute + end);
            const std::int32_t clock = (back % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
            routeTrips[r.Value()].push_back({clock, trips[j].train});
        }
    }
    StoreTrips(routeTrips);
    BuildCalls();
    BuildHops();
}

const JourneyIndex& JourneyIndex::Backward() const {
    std::call_once(backwardOnce_,
                   [this] { backward_.reset(new JourneyIndex(*this, BackwardTag{})); });
    return *backward_;
}

const RouteFares& JourneyIndex::Fares(FareClass fareClass) const {
    if (forward_ != nullptr) return forward_->Fares(fareClass);
    const auto c = static_cast<std::size_t>(fareClass);
    std::call_once(faresOnce_[c], [this, fareClass, c] {
        fares_[c] = std::make_unique<const RouteFares>(*this, fareClass);
    });
    return *fares_[c];
}

StationIdx JourneyIndex::StationId(std::string_view name) const {
    const StationIdx s = tt_->FindStation(name);
    return s.IsNone() || calls_[s].empty() ? kNoStation : s;
}

}  // namespace korvel
