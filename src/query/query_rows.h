// The row building shared by the queries: the fields they read, resolved once per query,
// and the parts of a result row filled from a stop or a train record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "data/schema.h"
#include "query/center.h"
#include "query/grid_result.h"
#include "query/stations.h"
#include "query/stop_index.h"

namespace korvel::query_rows {

// The times, distance and fares a stop record and a train record both carry.
struct TimedFields {
    Field& atime;
    Field& dtime;
    Field& rdate;
    Field& distance;
    Field& p1;
    Field& p2;
    Field& p3;
    Field& p4;
    explicit TimedFields(MemTable& t)
        : atime(t.FieldByName("A_Time")),
          dtime(t.FieldByName("D_Time")),
          rdate(t.FieldByName("R_Date")),
          distance(t.FieldByName("Distance")),
          p1(t.FieldByName("P1")),
          p2(t.FieldByName("P2")),
          p3(t.FieldByName("P3")),
          p4(t.FieldByName("P4")) {}
};

// The KMTrain fields a query reads, resolved once per query.
struct StopFields : TimedFields {
    Field& id;
    Field& station;
    Field& sno;
    explicit StopFields(MemTable& t)
        : TimedFields(t),
          id(t.FieldByName("ID")),
          station(t.FieldByName("Station")),
          sno(t.FieldByName("S_No")) {}
};

// The KMList fields, resolved once per query.
struct TrainFields : TimedFields {
    Field& id;
    Field& ntype;
    Field& start;
    Field& end;
    explicit TrainFields(MemTable& t)
        : TimedFields(t),
          id(t.FieldByName("ID")),
          ntype(t.FieldByName("NType")),
          start(t.FieldByName("StartStation")),
          end(t.FieldByName("endStation")) {}
};

// The stop and train tables on the indexes a full scan reads them in, with their fields.
struct ScanTables {
    MemTable& T;
    MemTable& KL;
    StopFields S;
    TrainFields L;
    explicit ScanTables(Timetable& tables)
        : T(Indexed(tables.KMTrain, "SIDNo")), KL(Indexed(tables.KMList, "SID")), S(T), L(KL) {}

  private:
    static MemTable& Indexed(MemTable& t, const char* index) {
        t.SetIndexName(index);
        return t;
    }
};

// Answers from the stop index when it covers the tables; false when the caller has to scan
// (no index, a stale one, or a name it does not hold), with `out` left empty.
template <class Query>
bool AnsweredByIndex(const StopIndex* index, Timetable& tables, ResultList& out, Query query) {
    if (index == nullptr || !index->Covers(tables)) return false;
    if (query(*index)) return true;
    out.clear();
    return false;
}

inline bool Loaded(const MemTable& t) {
    return !t.Fields().empty();
}

// The train fields of a row from KMList record `rec` (the cursor's record, or one the stop
// index found), leaving the cursor alone.
inline void FillTrainPartAt(TPub_GridResult& r, const TrainFields& L, std::uint32_t rec) {
    r.TrainNo.assign(L.id.ViewAt(rec));
    r.NType = L.ntype.IntegerAt(rec);
    r.TypeName = TrainTypeName(r.NType);
    r.StartStation.assign(L.start.ViewAt(rec));
    r.EndStation.assign(L.end.ViewAt(rec));
    r.TrainRDate.assign(L.rdate.ViewAt(rec));
    r.TrainDistance = L.distance.IntegerAt(rec);
    r.TrainP1.assign(L.p1.ViewAt(rec));
    r.TrainP2.assign(L.p2.ViewAt(rec));
    r.TrainP3.assign(L.p3.ViewAt(rec));
    r.TrainP4.assign(L.p4.ViewAt(rec));
}

// The boarding part of a row from stop record `rec` (a load position of KMTrain).
inline void FillFromPart(TPub_GridResult& r, const StopFields& S, std::uint32_t rec) {
    r.FromStation.assign(S.station.ViewAt(rec));
    r.FromSNo = S.sno.IntegerAt(rec);
    r.FromDTime.assign(S.dtime.ViewAt(rec));
    r.FromRDate = DepartureRunTime(S.rdate.ViewAt(rec), S.atime.ViewAt(rec), S.dtime.ViewAt(rec));
    r.FromDistance = S.distance.IntegerAt(rec);
    r.FromP1.assign(S.p1.ViewAt(rec));
    r.FromP2.assign(S.p2.ViewAt(rec));
    r.FromP3.assign(S.p3.ViewAt(rec));
    r.FromP4.assign(S.p4.ViewAt(rec));
}

// The boarding part at the train's origin, from its KMList record `rec`.
inline void FillFromOrigin(TPub_GridResult& r, const TrainFields& L, std::uint32_t rec) {
    r.FromStation.assign(L.start.ViewAt(rec));
    r.FromSNo = 1;
    r.FromDTime.assign(L.atime.ViewAt(rec));
    r.FromRDate = "0";
    r.FromDistance = 0;
    r.FromP1.clear();
    r.FromP2.clear();
    r.FromP3.clear();
    r.FromP4.clear();
}

// The alighting part of a row from stop record `rec`.
inline void FillToPart(TPub_GridResult& r, const StopFields& S, std::uint32_t rec) {
    r.ToStation.assign(S.station.ViewAt(rec));
    r.ToSNo = S.sno.IntegerAt(rec);
    r.ToATime.assign(S.atime.ViewAt(rec));
    r.ToRDate.assign(S.rdate.ViewAt(rec));
    r.ToDistance = S.distance.IntegerAt(rec);
    r.ToP1.assign(S.p1.ViewAt(rec));
    r.ToP2.assign(S.p2.ViewAt(rec));
    r.ToP3.assign(S.p3.ViewAt(rec));
    r.ToP4.assign(S.p4.ViewAt(rec));
}

// Stop count, km, journey time and fares of a row whose other fields are filled.
inline void FinishRow(TPub_GridResult& r) {
    r.StopCount = r.ToSNo - r.FromSNo;
    r.SpanKm = r.ToDistance - r.FromDistance;
    r.SpanTime = ElapsedText(r.FromRDate, r.ToRDate);
    FillFares(r);
}

// Both sides share a group, or neither has one: match the typed names only.
inline MatchMode ChooseExactMode(TPub_FZStruct& FromSide, TPub_DZStruct& ToSide) {
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

// Ascending positions of the stops at any of the names; false when a name is empty (an
// empty stop name never counts as a found station; the plain scan handles that case).
inline bool StopsAt(const StopIndex& ix, const std::vector<std::string_view>& names,
                    std::vector<std::uint32_t>& positions) {
    positions.clear();
    std::vector<std::uint32_t> ids;
    for (std::string_view name : names) {
        if (name.empty()) return false;
        const std::uint32_t id = ix.StationId(name);
        if (id == StopIndex::kNoStation || std::find(ids.begin(), ids.end(), id) != ids.end()) {
            continue;
        }
        ids.push_back(id);
        for (StopId s : ix.Positions(id)) positions.push_back(s.Value());
    }
    if (ids.size() > 1) std::sort(positions.begin(), positions.end());
    return true;
}

// The plain scans leave the train list's cursor on the last train they looked up; so do
// the indexed paths, which look trains up through the index instead.
inline void LeaveListCursor(const StopIndex& ix, MemTable& KL, const StopFields& S,
                            std::uint32_t train) {
    if (train != StopIndex::kNoStation)
        KL.Locate("ID", S.id.ViewAt(ix.Record(ix.TrainBegin(train))));
}

// --- rows from the typed timetable ---

// The typed timetable a query reads: the index's when it covers the tables, else one built
// for this query alone from the tables as they stand (a query before the indexes exist).
inline const TypedTimetable& TypedFor(const Timetable& tables, const StopIndex* index,
                                      std::optional<TypedTimetable>& own) {
    if (index != nullptr && index->Covers(tables)) return index->Typed();
    return own.emplace(tables);
}

// The train fields of a row; the train has a train-list row.
inline void FillTrainPart(TPub_GridResult& r, const TypedTimetable& tt, TrainId t) {
    const std::uint32_t i = t.Value();
    r.TrainNo = tt.Number(t);
    r.NType = tt.Type(t);
    r.TypeName = TrainTypeName(r.NType);
    r.StartStation = tt.Name(tt.Origin(t));
    r.EndStation = tt.Name(tt.Terminus(t));
    r.TrainRDate = tt.TrainRunTimes().Text(i);
    r.TrainDistance = tt.Distance(t);
    const Fares& f = tt.TrainFares();
    r.TrainP1 = f[FareClass::HardSeat].Text(i);
    r.TrainP2 = f[FareClass::SoftSeat].Text(i);
    r.TrainP3 = f[FareClass::HardSleeper].Text(i);
    r.TrainP4 = f[FareClass::SoftSleeper].Text(i);
}

// The boarding part of a row at stop `s`.
inline void FillFromStop(TPub_GridResult& r, const TypedTimetable& tt, StopId s) {
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
inline void FillFromOrigin(TPub_GridResult& r, const TypedTimetable& tt, TrainId t) {
    r.FromStation = tt.Name(tt.Origin(t));
    r.FromSNo = 1;
    r.FromDTime = tt.TrainDepartures().Text(t.Value());
    r.FromRDate = "0";
    r.FromDistance = 0;
    r.FromP1.clear();
    r.FromP2.clear();
    r.FromP3.clear();
    r.FromP4.clear();
}

// The alighting part of a row at stop `s`.
inline void FillToStop(TPub_GridResult& r, const TypedTimetable& tt, StopId s) {
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
inline bool StopsAt(const TypedTimetable& tt, const std::vector<std::string_view>& names,
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
