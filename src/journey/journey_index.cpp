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
    std::uint32_t station;
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

JourneyIndex::JourneyIndex(Timetable& tables) {
    tables_ = &tables;
    MemTable& T = tables.KMTrain;
    MemTable& L = tables.KMList;
    stopGeneration_ = T.Generation();
    listGeneration_ = L.Generation();
    tripFirst_.push_back(0);
    const std::vector<std::uint32_t>* order = T.IndexOrder("SIDNo");
    if (T.Fields().empty() || L.Fields().empty() || order == nullptr) return;

    std::unordered_map<std::string_view, std::uint32_t> listOf;
    Field& listId = L.FieldByName("ID");
    for (std::uint32_t r = 0; r < L.RecordCount(); ++r) listOf.try_emplace(listId.ViewAt(r), r);

    Field& id = T.FieldByName("ID");
    Field& station = T.FieldByName("Station");
    Field& atime = T.FieldByName("A_Time");
    Field& dtime = T.FieldByName("D_Time");
    Field& rdate = T.FieldByName("R_Date");

    auto stationId = [this](std::string_view name) {
        auto [it, added] =
            ids_.try_emplace(std::string(name), static_cast<std::uint32_t>(names_.size()));
        if (added) names_.emplace_back(name);
        return it->second;
    };

    std::unordered_map<std::string, std::uint32_t> routeOf;
    std::vector<std::vector<Trip>> routeTrips;
    std::vector<PlanStop> stops;
    const std::size_t n = order->size();
    for (std::size_t begin = 0; begin < n;) {
        const std::string_view trainNo = id.ViewAt((*order)[begin]);
        std::size_t end = begin + 1;
        while (end < n && id.ViewAt((*order)[end]) == trainNo) ++end;
        const std::size_t first = begin;
        begin = end;

        auto listed = listOf.find(trainNo);
        const int origin = StopClock(dtime.ViewAt((*order)[first]));
        if (listed == listOf.end() || end - first < 2 || origin < 0) continue;

        // Offsets from the origin, kept from running backwards so that no ride takes less
        // than no time (the shipped data never needs this).
        stops.clear();
        std::int32_t lastDepart = 0;
        for (std::size_t pos = first; pos < end; ++pos) {
            const std::uint32_t rec = (*order)[pos];
            PlanStop s{stationId(station.ViewAt(rec)), 0, 0, 0};
            const int a = StopClock(atime.ViewAt(rec));
            const int d = StopClock(dtime.ViewAt(rec));
            if (pos != first) {
                s.arrive = std::max<std::int32_t>(ElapsedToMinutes(rdate.ViewAt(rec)), lastDepart);
                s.flags |= kAlight;
            }
            s.depart = s.arrive;
            if (pos + 1 < end && d >= 0) {
                if (pos != first && a >= 0)
                    s.depart += ((d - a) % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
                s.flags |= kBoard;
            }
            lastDepart = s.depart;
            stops.push_back(s);
        }

        const auto train = static_cast<std::uint32_t>(trainId_.size());
        trainId_.emplace_back(trainNo);
        listRecord_.push_back(listed->second);
        trainFirstStop_.push_back(static_cast<std::uint32_t>(stopRecord_.size()));
        for (std::size_t pos = first; pos < end; ++pos) stopRecord_.push_back((*order)[pos]);

        std::string key;
        for (const PlanStop& s : stops) {
            AppendKey(key, s.station);
            AppendKey(key, s.arrive);
            AppendKey(key, s.depart);
            AppendKey(key, s.flags);
        }
        auto [it, added] = routeOf.try_emplace(key, static_cast<std::uint32_t>(routeFirst_.size()));
        if (added) {
            routeFirst_.push_back(static_cast<std::uint32_t>(stopStation_.size()));
            routeStops_.push_back(static_cast<std::uint32_t>(stops.size()));
            for (const PlanStop& s : stops) {
                stopStation_.push_back(s.station);
                arrive_.push_back(s.arrive);
                depart_.push_back(s.depart);
                flags_.push_back(s.flags);
            }
            routeTrips.emplace_back();
        }
        routeTrips[it->second].push_back({origin, train});
    }

    for (auto& trips : routeTrips) {
        std::sort(trips.begin(), trips.end(), [](const Trip& a, const Trip& b) {
            return a.originMinute != b.originMinute ? a.originMinute < b.originMinute
                                                    : a.train < b.train;
        });
        trips_.insert(trips_.end(), trips.begin(), trips.end());
        tripFirst_.push_back(static_cast<std::uint32_t>(trips_.size()));
    }

    calls_.resize(names_.size());
    for (std::uint32_t r = 0; r < RouteCount(); ++r) {
        for (std::uint32_t s = 0; s < routeStops_[r]; ++s)
            calls_[StopStation(r, s)].push_back({r, s});
    }

    hopsInto_.resize(names_.size());
    for (std::uint32_t r = 0; r < RouteCount(); ++r) {
        for (std::uint32_t s = 0; s + 1 < routeStops_[r]; ++s) {
            const std::uint32_t from = StopStation(r, s);
            const std::uint32_t to = StopStation(r, s + 1);
            const std::int32_t minutes = ArriveOffset(r, s + 1) - DepartOffset(r, s);
            std::vector<Hop>& hops = hopsInto_[to];
            auto it = std::find_if(hops.begin(), hops.end(),
                                   [from](const Hop& h) { return h.station == from; });
            if (it == hops.end()) {
                hops.push_back({from, minutes});
            } else {
                it->minutes = std::min(it->minutes, minutes);
            }
        }
    }

    mates_.resize(names_.size());
    if (tables.KMSM.Fields().empty()) return;
    MemTable& G = tables.KMSM;
    Field& member = G.FieldByName("Station");
    Field& gp = G.FieldByName("Gp");
    std::map<std::int32_t, std::vector<std::uint32_t>> groups;
    for (std::uint32_t r = 0; r < G.RecordCount(); ++r) {
        const std::uint32_t s = StationId(member.ViewAt(r));
        if (s != kNone) groups[gp.IntegerAt(r)].push_back(s);
    }
    for (const auto& [gpNo, members] : groups) {
        for (std::uint32_t s : members) {
            for (std::uint32_t other : members) {
                if (other != s) mates_[s].push_back(other);
            }
        }
    }
}

bool JourneyIndex::Covers(const Timetable& tables) const {
    return tables_ == &tables && stopGeneration_ == tables.KMTrain.Generation() &&
           listGeneration_ == tables.KMList.Generation();
}

std::uint32_t JourneyIndex::StationId(std::string_view name) const {
    auto it = ids_.find(std::string(name));
    return it == ids_.end() ? kNone : it->second;
}

}  // namespace korvel
