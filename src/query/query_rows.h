// The row building shared by the queries: the parts of a result row filled from the typed
// timetable's trains and stops, and the stations a side matches.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/run_time.h"
#include "data/schema.h"
#include "query/fare_tariff.h"
#include "query/grid_result.h"
#include "query/stations.h"
#include "query/stop_index.h"

namespace korvel::query_rows {

inline bool Loaded(const MemTable& t) {
    return !t.Fields().empty();
}

// Both sides share a group, or neither has one: match the typed names only.
inline MatchMode ChooseExactMode(StationSide& FromSide, StationSide& ToSide) {
    if (FromSide.GroupId != ToSide.GroupId) return MatchMode::Grouped;
    FromSide.Members.clear();
    ToSide.Members.clear();
    return MatchMode::Exact;
}

// The names a side matches: its group, or its typed name alone.
template <class Side>
std::vector<std::string_view> SideNames(const Side& side, MatchMode mode) {
    std::vector<std::string_view> names;
    if (mode != MatchMode::Exact && !side.Members.empty()) {
        names.assign(side.Members.begin(), side.Members.end());
    } else {
        names.push_back(side.TypedName);
    }
    return names;
}

// --- rows from the typed timetable ---

// The typed timetable a query reads: the index's when it covers the tables, else one built
// for this query alone from the tables as they stand (a query before the indexes exist).
inline std::shared_ptr<const Timetable> TypedFor(const StoredTables& tables,
                                                 const StopIndex* index) {
    if (index != nullptr && index->Covers(tables)) return index->SharedTyped();
    return std::make_shared<const Timetable>(tables);
}

// A run time in minutes the way a journey time reads it: at most two minute digits of a
// text the column keeps as it was.
inline std::int32_t RideClock(const RunTimeColumn& column, std::uint32_t row) {
    if (column.OddCount() == 0) return column.Minutes(row);
    const std::string text = column.Text(row);
    return RunTimeMinutes(text, 2);
}

// The run time at the departure from stop `s`: its run time (which counts to the arrival)
// plus the dwell, D_Time - A_Time over midnight.
inline std::int32_t DepartureRun(const Timetable& tt, StopId s) {
    const std::uint32_t i = s.Value();
    const std::int16_t a = tt.Arrivals().Minutes(i);
    const std::int16_t d = tt.Departures().Minutes(i);
    const int dwell = a < 0 || d < 0 ? 0 : ((d - a) % 1440 + 1440) % 1440;
    return RideClock(tt.RunTimes(), i) + dwell;
}

// The train fields of a row from train-list row `row`.
inline void FillTrainRow(ResultRow& r, const Timetable& tt, std::uint32_t row) {
    r.listRow = row;
    r.train = tt.RowTrain(row);
}

// The train fields of a row; the train has a train-list row.
inline void FillTrainPart(ResultRow& r, const Timetable& tt, TrainId t) {
    FillTrainRow(r, tt, tt.ListRow(t));
}

// The boarding part of a row at stop `s`.
inline void FillFromStop(ResultRow& r, const Timetable& tt, StopId s) {
    r.fromStop = s;
    r.fromStation = tt.Station(s);
    r.fromStopNo = tt.StopNumber(s);
    r.departure = tt.Departures().Minutes(s.Value());
    r.fromKm = tt.Km(s);
}

// The boarding part at the train's origin, from its train-list values.
inline void FillFromOrigin(ResultRow& r, const Timetable& tt, TrainId t) {
    r.fromStop = StopId::None();
    r.fromStation = tt.Origin(t);
    r.fromStopNo = 1;
    r.departure = tt.TrainDepartures().Minutes(tt.ListRow(t));
    r.fromKm = 0;
}

// The alighting part of a row at stop `s`.
inline void FillToStop(ResultRow& r, const Timetable& tt, StopId s) {
    r.toStop = s;
    r.toStation = tt.Station(s);
    r.toStopNo = tt.StopNumber(s);
    r.arrival = tt.Arrivals().Minutes(s.Value());
    r.toKm = tt.Km(s);
}

// The fares of a row whose stops are filled: the alighting stop's stored fares when the
// train is boarded at its origin and they offer a class, otherwise the tariff's estimate.
inline void FillRowFares(ResultRow& r, const Timetable& tt) {
    const Fares& stop = tt.StopFares();
    const std::uint32_t to = r.toStop.Value();
    const StationId origin = tt.RowOrigin(r.listRow);
    const bool atOrigin = origin == r.fromStation || (!origin.IsNone() && !r.fromStation.IsNone() &&
                                                      tt.Name(origin) == tt.Name(r.fromStation));
    if (atOrigin) {
        for (int c = 0; c < 4; ++c) {
            if (stop.classes[c].State(to) != FareState::NotOffered) {
                r.fareSource = FareSource::AlightingStop;
                for (int k = 0; k < 4; ++k) r.fares[k] = StoredFareValue(stop.classes[k], to);
                return;
            }
        }
    }
    SpanFareInputs in;
    const std::string& number = tt.Number(r.train);
    in.prefix = number.empty() ? '\0' : number.front();
    in.g100 = number.compare(0, 4, "G100") == 0;
    in.nType = tt.RowType(r.listRow);
    in.trainKm = tt.RowDistance(r.listRow);
    in.spanKm = r.SpanKm();
    const Fares& train = tt.TrainFares();
    for (int c = 0; c < 4; ++c) {
        in.train[c] = ReadFare(train.classes[c], r.listRow);
        if (!r.fromStop.IsNone()) in.from[c] = ReadFare(stop.classes[c], r.fromStop.Value());
        in.to[c] = ReadFare(stop.classes[c], to);
    }
    r.fareSource = FareSource::Computed;
    r.fares = SpanFareValues(in);
}

// Ride time and fares of a row whose stops are filled.
inline void FinishRow(ResultRow& r, const Timetable& tt) {
    const std::int32_t from = r.fromStop.IsNone() ? 0 : DepartureRun(tt, r.fromStop);
    const std::int64_t ride = std::int64_t{RideClock(tt.RunTimes(), r.toStop.Value())} - from;
    r.rideMinutes =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(ride, -2147483647, 2147483647));
    FillRowFares(r, tt);
}

// Ascending stops at any of the names; false when a name is empty (an empty stop name never
// counts as a found station; the callers walk every stop for that case).
inline bool StopsAt(const Timetable& tt, const std::vector<std::string_view>& names,
                    std::vector<std::uint32_t>& positions) {
    positions.clear();
    std::vector<StationId> ids;
    for (std::string_view name : names) {
        if (name.empty()) return false;
        const StationId id = tt.FindStation(name);
        if (id.IsNone() || std::find(ids.begin(), ids.end(), id) != ids.end()) continue;
        ids.push_back(id);
        for (StopId s : tt.StopsAt(id)) positions.push_back(s.Value());
    }
    if (ids.size() > 1) std::sort(positions.begin(), positions.end());
    return true;
}

}  // namespace korvel::query_rows
