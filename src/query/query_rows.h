// The row building shared by the queries: the parts of a result row filled from the typed
// timetable's trains and stops, and the stations a side matches.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "data/schema.h"
#include "query/fare_tariff.h"
#include "query/grid_result.h"
#include "query/stations.h"
#include "query/stop_index.h"

namespace korvel::query_rows {

inline bool Loaded(const MemTable& t) {
    return !t.Fields().empty();
}

// Stop count, km, journey time and fares of a row whose other fields are filled.
inline void FinishRow(ResultRow& r) {
    r.StopCount = r.ToSNo - r.FromSNo;
    r.SpanKm = r.ToDistance - r.FromDistance;
    r.SpanTime = ElapsedText(r.FromRDate, r.ToRDate);
    FillFares(r);
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
inline const Timetable& TypedFor(const StoredTables& tables, const StopIndex* index,
                                 std::optional<Timetable>& own) {
    if (index != nullptr && index->Covers(tables)) return index->Typed();
    return own.emplace(tables);
}

// The train fields of a row from train-list row `row`.
inline void FillTrainRow(ResultRow& r, const Timetable& tt, std::uint32_t row) {
    r.TrainNo = tt.Number(tt.RowTrain(row));
    r.NType = tt.RowType(row);
    r.TypeName = TrainTypeName(r.NType);
    r.StartStation = tt.Name(tt.RowOrigin(row));
    r.EndStation = tt.Name(tt.RowTerminus(row));
    r.TrainRDate = tt.TrainRunTimes().Text(row);
    r.TrainDistance = tt.RowDistance(row);
    const Fares& f = tt.TrainFares();
    r.TrainP1 = f[FareClass::HardSeat].Text(row);
    r.TrainP2 = f[FareClass::SoftSeat].Text(row);
    r.TrainP3 = f[FareClass::HardSleeper].Text(row);
    r.TrainP4 = f[FareClass::SoftSleeper].Text(row);
}

// The train fields of a row; the train has a train-list row.
inline void FillTrainPart(ResultRow& r, const Timetable& tt, TrainId t) {
    FillTrainRow(r, tt, tt.ListRow(t));
}

// The boarding part of a row at stop `s`.
inline void FillFromStop(ResultRow& r, const Timetable& tt, StopId s) {
    const std::uint32_t i = s.Value();
    r.FromStation = tt.Name(tt.Station(s));
    r.FromSNo = tt.StopNumber(s);
    r.FromDTime = tt.Departures().Text(i);
    r.FromRDate = DepartureRunTime(tt.RunTimes().Text(i), tt.Arrivals().Text(i), r.FromDTime);
    r.FromDistance = tt.Km(s);
    const Fares& f = tt.StopFares();
    r.FromP1 = f[FareClass::HardSeat].Text(i);
    r.FromP2 = f[FareClass::SoftSeat].Text(i);
    r.FromP3 = f[FareClass::HardSleeper].Text(i);
    r.FromP4 = f[FareClass::SoftSleeper].Text(i);
}

// The boarding part at the train's origin, from its train-list values.
inline void FillFromOrigin(ResultRow& r, const Timetable& tt, TrainId t) {
    r.FromStation = tt.Name(tt.Origin(t));
    r.FromSNo = 1;
    r.FromDTime = tt.TrainDepartures().Text(tt.ListRow(t));
    r.FromRDate = "0";
    r.FromDistance = 0;
    r.FromP1.clear();
    r.FromP2.clear();
    r.FromP3.clear();
    r.FromP4.clear();
}

// The alighting part of a row at stop `s`.
inline void FillToStop(ResultRow& r, const Timetable& tt, StopId s) {
    const std::uint32_t i = s.Value();
    r.ToStation = tt.Name(tt.Station(s));
    r.ToSNo = tt.StopNumber(s);
    r.ToATime = tt.Arrivals().Text(i);
    r.ToRDate = tt.RunTimes().Text(i);
    r.ToDistance = tt.Km(s);
    const Fares& f = tt.StopFares();
    r.ToP1 = f[FareClass::HardSeat].Text(i);
    r.ToP2 = f[FareClass::SoftSeat].Text(i);
    r.ToP3 = f[FareClass::HardSleeper].Text(i);
    r.ToP4 = f[FareClass::SoftSleeper].Text(i);
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
