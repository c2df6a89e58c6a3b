#include "journey/journey_index.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "data/clock.h"
#include "query/center.h"

namespace korvel {

namespace {

// A stop's "HH:MM" as minutes since midnight; -1 for any other text (no time there).
int StopClock(std::string_view text) {
    return ClockMinutes(text).value_or(-1);
}

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
    const std::vector<std::uint32_t>& order;  // KMTrain records in SIDNo order
    std::unordered_map<std::string_view, std::uint32_t> listOf;
    Field& id;
    Field& station;
    Field& atime;
    Field& dtime;
    Field& rdate;
    std::unordered_map<std::string, std::uint32_t> routeOf;  // key: the stops' bytes
    std::vector<std::vector<Trip>> routeTrips;
    std::vector<PlanStop> stops;

    Build(StoredTables& tables, const std::vector<std::uint32_t>& o)
        : order(o),
          id(tables.KMTrain.FieldByName("ID")),
          station(tables.KMTrain.FieldByName("Station")),
          atime(tables.KMTrain.FieldByName("A_Time")),
          dtime(tables.KMTrain.FieldByName("D_Time")),
          rdate(tables.KMTrain.FieldByName("R_Date")) {
        MemTable& L = tables.KMList;
        Field& listId = L.FieldByName("ID");
        for (std::uint32_t r = 0; r < L.RecordCount(); ++r) listOf.try_emplace(listId.ViewAt(r), r);
    }
};

JourneyIndex::JourneyIndex(StoredTables& tables) {
    tables_ = &tables;
    MemTable& T = tables.KMTrain;
    MemTable& L = tables.KMList;
    stopGeneration_ = T.Generation();
    listGeneration_ = L.Generation();
    tripFirst_.push_back(0);
    const std::vector<std::uint32_t>* order = T.IndexOrder("SIDNo");
    if (T.Fields().empty() || L.Fields().empty() || order == nullptr) return;

    Build build(tables, *order);
    ReadTrains(build);
    StoreTrips(build.routeTrips);
    BuildCalls();
    BuildHops();
    BuildMates(tables.KMSM);
}

StationIdx JourneyIndex::AddStation(std::string_view name) {
    auto [it, added] =
        ids_.try_emplace(std::string(name), StationIdx(static_cast<std::uint32_t>(names_.size())));
    if (added) names_.emplace_back(name);
    return it->second;
}

// Every usable train, its stops read into one route (a new one or the one with identical
// stops) and its run added to that route's trips.
void JourneyIndex::ReadTrains(Build& b) {
    const std::size_t n = b.order.size();
    for (std::size_t begin = 0; begin < n;) {
        const std::string_view trainNo = b.id.ViewAt(b.order[begin]);
        std::size_t end = begin + 1;
        while (end < n && b.id.ViewAt(b.order[end]) == trainNo) ++end;
        AddTrain(b, begin, end);
        begin = end;
    }
}

void JourneyIndex::AddTrain(Build& b, std::size_t first, std::size_t end) {
    const std::string_view trainNo = b.id.ViewAt(b.order[first]);
    auto listed = b.listOf.find(trainNo);
    const int origin = StopClock(b.dtime.ViewAt(b.order[first]));
    if (listed == b.listOf.end() || end - first < 2 || origin < 0) return;

    // Offsets from the origin, kept from running backwards so that no ride takes less than
    // no time (the shipped data never needs this).
    b.stops.clear();
    std::int32_t lastDepart = 0;
    for (std::size_t pos = first; pos < end; ++pos) {
        const std::uint32_t rec = b.order[pos];
        PlanStop s{AddStation(b.station.ViewAt(rec)), 0, 0, 0};
        const int a = StopClock(b.atime.ViewAt(rec));
        const int d = StopClock(b.dtime.ViewAt(rec));
        if (pos != first) {
            s.arrive = std::max<std::int32_t>(ElapsedToMinutes(b.rdate.ViewAt(rec)), lastDepart);
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

    const TrainIdx train(static_cast<std::uint32_t>(trainId_.size()));
    trainId_.emplace_back(trainNo);
    listRecord_.push_back(listed->second);
    trainFirstStop_.push_back(static_cast<std::uint32_t>(stopRecord_.size()));
    for (std::size_t pos = first; pos < end; ++pos) stopRecord_.push_back(b.order[pos]);

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
    std::vector<std::vector<Call>> calls(names_.size());  // by station
    for (RouteIdx r(0); r < RouteIdx(RouteCount()); ++r) {
        for (std::uint32_t s = 0; s < StopCount(r); ++s)
            calls[StopStation(r, s).Value()].push_back({r, s});
    }
    calls_.Assign(calls);
}

void JourneyIndex::BuildHops() {
    std::vector<std::vector<Hop>> hopsInto(names_.size());
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

void JourneyIndex::BuildMates(MemTable& G) {
    std::vector<std::vector<StationIdx>> mates(names_.size());
    if (!G.Fields().empty()) {
        Field& member = G.FieldByName("Station");
        Field& gp = G.FieldByName("Gp");
        std::map<std::int32_t, std::vector<StationIdx>> groups;
        for (std::uint32_t r = 0; r < G.RecordCount(); ++r) {
            const StationIdx s = StationId(member.ViewAt(r));
            if (s != kNoStation) groups[gp.IntegerAt(r)].push_back(s);
        }
        for (const auto& [gpNo, members] : groups) {
            for (StationIdx s : members) {
                for (StationIdx other : members) {
                    if (other != s) mates[s.Value()].push_back(other);
                }
            }
        }
    }
    mates_.Assign(mates);
}

JourneyIndex::JourneyIndex(const JourneyIndex& f, BackwardTag)
    : tables_(f.tables_),
      stopGeneration_(f.stopGeneration_),
      listGeneration_(f.listGeneration_),
      names_(f.names_),
      ids_(f.ids_),
      mates_(f.mates_),
      routeFirst_(f.routeFirst_),
      routeStops_(f.routeStops_) {
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

bool JourneyIndex::Covers(const StoredTables& tables) const {
    return tables_ == &tables && stopGeneration_ == tables.KMTrain.Generation() &&
           listGeneration_ == tables.KMList.Generation();
}

StationIdx JourneyIndex::StationId(std::string_view name) const {
    auto it = ids_.find(std::string(name));
    return it == ids_.end() ? kNoStation : it->second;
}

}  // namespace korvel
