#include "query/queries.h"

#include <algorithm>
#include <unordered_map>

#include "data/gbk.h"
#include "query/center.h"

namespace korvel {

namespace {

// The KMTrain fields a query reads, resolved once per query.
struct StopFields {
    Field& id;
    Field& station;
    Field& sno;
    Field& atime;
    Field& dtime;
    Field& rdate;
    Field& distance;
    Field& p1;
    Field& p2;
    Field& p3;
    Field& p4;
    explicit StopFields(MemTable& t)
        : id(t.FieldByName("ID")),
          station(t.FieldByName("Station")),
          sno(t.FieldByName("S_No")),
          atime(t.FieldByName("A_Time")),
          dtime(t.FieldByName("D_Time")),
          rdate(t.FieldByName("R_Date")),
          distance(t.FieldByName("Distance")),
          p1(t.FieldByName("P1")),
          p2(t.FieldByName("P2")),
          p3(t.FieldByName("P3")),
          p4(t.FieldByName("P4")) {}
};

// The KMList fields, resolved once per query.
struct TrainFields {
    Field& id;
    Field& ntype;
    Field& start;
    Field& end;
    Field& atime;
    Field& dtime;
    Field& rdate;
    Field& distance;
    Field& p1;
    Field& p2;
    Field& p3;
    Field& p4;
    explicit TrainFields(MemTable& t)
        : id(t.FieldByName("ID")),
          ntype(t.FieldByName("NType")),
          start(t.FieldByName("StartStation")),
          end(t.FieldByName("endStation")),
          atime(t.FieldByName("A_Time")),
          dtime(t.FieldByName("D_Time")),
          rdate(t.FieldByName("R_Date")),
          distance(t.FieldByName("Distance")),
          p1(t.FieldByName("P1")),
          p2(t.FieldByName("P2")),
          p3(t.FieldByName("P3")),
          p4(t.FieldByName("P4")) {}
};

bool Loaded(const MemTable& t) {
    return !t.Fields().empty();
}

// The train fields of a row from the KMList record under the cursor.
void FillTrainPart(TPub_GridResult& r, const TrainFields& L) {
    r.TrainNo.assign(L.id.View());
    r.NType = L.ntype.AsInteger();
    r.TypeName = TrainTypeName(r.NType);
    r.StartStation.assign(L.start.View());
    r.EndStation.assign(L.end.View());
    r.TrainRDate.assign(L.rdate.View());
    r.TrainDistance = L.distance.AsInteger();
    r.TrainP1.assign(L.p1.View());
    r.TrainP2.assign(L.p2.View());
    r.TrainP3.assign(L.p3.View());
    r.TrainP4.assign(L.p4.View());
}

// The boarding part of a row from stop record `rec` (a load position of KMTrain).
void FillFromPart(TPub_GridResult& r, const StopFields& S, std::uint32_t rec) {
    r.FromStation.assign(S.station.ViewAt(rec));
    r.FromSNo = S.sno.IntegerAt(rec);
    r.FromDTime.assign(S.dtime.ViewAt(rec));
    r.FromRDate.assign(S.rdate.ViewAt(rec));
    r.FromDistance = S.distance.IntegerAt(rec);
    r.FromP1.assign(S.p1.ViewAt(rec));
    r.FromP2.assign(S.p2.ViewAt(rec));
    r.FromP3.assign(S.p3.ViewAt(rec));
    r.FromP4.assign(S.p4.ViewAt(rec));
}

// The boarding part at the train's origin, from its KMList record under the cursor.
void FillFromOrigin(TPub_GridResult& r, const TrainFields& L) {
    r.FromStation.assign(L.start.View());
    r.FromSNo = 1;
    r.FromDTime.assign(L.atime.View());
    r.FromRDate = "0";
    r.FromDistance = 0;
    r.FromP1.clear();
    r.FromP2.clear();
    r.FromP3.clear();
    r.FromP4.clear();
}

// The alighting part of a row from stop record `rec`.
void FillToPart(TPub_GridResult& r, const StopFields& S, std::uint32_t rec) {
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
void FinishRow(TPub_GridResult& r) {
    r.StopCount = r.ToSNo - r.FromSNo;
    r.SpanKm = r.ToDistance - r.FromDistance;
    r.SpanTime = ElapsedText(r.FromRDate, r.ToRDate);
    FillFares(r);
}

// Both sides share a group, or neither has one: match the typed names only.
int ChooseExactMode(TPub_FZStruct& FromSide, TPub_DZStruct& ToSide) {
    if (FromSide.GroupId != ToSide.GroupId) return 0;
    FromSide.Members.clear();
    ToSide.Members.clear();
    return 1;
}

// The names a side matches: its group, or its typed name alone.
template <class Side>
std::vector<std::string_view> SideNames(const Side& side, int exact) {
    std::vector<std::string_view> names;
    if (exact != 1 && !side.Members.empty()) {
        names.assign(side.Members.begin(), side.Members.end());
    } else {
        names.push_back(side.TypedName);
    }
    return names;
}

// Ascending positions of the stops at any of the names; false when a name is empty (an
// empty stop name never counts as a found station; the plain scan handles that case).
bool StopsAt(const StopIndex& ix, const std::vector<std::string_view>& names,
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
        const auto& p = ix.Positions(id);
        positions.insert(positions.end(), p.begin(), p.end());
    }
    if (ids.size() > 1) std::sort(positions.begin(), positions.end());
    return true;
}

bool IndexedDirect(const StopIndex& ix, Timetable& tables, int exact, const TPub_FZStruct& FromSide,
                   const TPub_DZStruct& ToSide, ResultList& out) {
    std::vector<std::uint32_t> departures;
    std::vector<std::uint32_t> arrivals;
    if (!StopsAt(ix, SideNames(FromSide, exact), departures) ||
        !StopsAt(ix, SideNames(ToSide, exact), arrivals)) {
        return false;
    }
    std::vector<std::uint8_t> arrivalSide(ix.StationCount(), 0);
    for (std::uint32_t p : arrivals) arrivalSide[ix.Station(p)] = 1;

    MemTable& KL = tables.KMList;
    KL.SetIndexName("SID");
    const StopFields S(tables.KMTrain);
    const TrainFields L(KL);
    std::uint32_t lastTrain = 0xFFFFFFFFu;
    for (std::uint32_t p : departures) {
        // The first departure-side stop of its train; the last arrival-side stop after it.
        const std::uint32_t train = ix.Train(p);
        if (train == lastTrain) continue;
        lastTrain = train;
        const std::uint32_t end = ix.TrainEnd(train);
        std::uint32_t to = p;
        for (std::uint32_t q = p + 1; q < end; ++q) {
            if (arrivalSide[ix.Station(q)]) to = q;
        }
        if (to == p || !KL.Locate("ID", S.id.ViewAt(ix.Record(p)))) continue;
        TPub_GridResult& r = out.emplace_back();
        FillTrainPart(r, L);
        FillFromPart(r, S, ix.Record(p));
        FillToPart(r, S, ix.Record(to));
        FinishRow(r);
    }
    return true;
}

bool IndexedStation(const StopIndex& ix, Timetable& tables, int exact,
                    const TPub_FZStruct& FromSide, ResultList& out) {
    std::vector<std::uint32_t> stops;
    if (!StopsAt(ix, SideNames(FromSide, exact), stops)) return false;
    MemTable& KL = tables.KMList;
    KL.SetIndexName("SID");
    const StopFields S(tables.KMTrain);
    const TrainFields L(KL);
    // Stops up to here were passed by a ride to a terminus and give no row of their own.
    std::int64_t passed = -1;
    for (std::uint32_t p : stops) {
        if (static_cast<std::int64_t>(p) <= passed) continue;
        const std::uint32_t here = ix.Record(p);
        if (!KL.Locate("ID", S.id.ViewAt(here))) continue;
        TPub_GridResult& r = out.emplace_back();
        FillTrainPart(r, L);
        if (!ix.NoDeparture(p)) {
            FillFromPart(r, S, here);
            const std::uint32_t end = ix.TrainEnd(ix.Train(p));
            std::uint32_t last = p;
            while (last + 1 < end) {
                ++last;
                if (ix.NoDeparture(last)) break;
            }
            FillToPart(r, S, ix.Record(last));
            passed = last;
        } else {
            FillToPart(r, S, here);
            FillFromOrigin(r, L);
        }
        FinishRow(r);
    }
    return true;
}

}  // namespace

bool StationExists(Timetable& tables, std::string_view text) {
    return StationExists(tables.KMPy, text);
}

void SearchDirectTrains(Timetable& tables, std::string_view fromText, std::string_view toText,
                        TPub_FZStruct& FromSide, TPub_DZStruct& ToSide, ResultList& out,
                        const StopIndex* index) {
    out.clear();
    ResolveFromStation(tables.KMSM, fromText, 0, FromSide);
    ResolveToStation(tables.KMSM, toText, 0, ToSide);
    const int exact = ChooseExactMode(FromSide, ToSide);
    if (!Loaded(tables.KMTrain) || !Loaded(tables.KMList)) return;
    if (index && index->Covers(tables)) {
        if (IndexedDirect(*index, tables, exact, FromSide, ToSide, out)) return;
        out.clear();
    }

    MemTable& T = tables.KMTrain;
    MemTable& KL = tables.KMList;
    T.SetIndexName("SIDNo");
    KL.SetIndexName("SID");
    const StopFields S(T);
    const TrainFields L(KL);

    T.First();
    while (!T.Eof()) {
        const std::string_view train = S.id.View();
        bool haveFrom = false;
        bool haveTo = false;
        std::uint32_t fromRec = 0;
        std::uint32_t toRec = 0;
        do {
            // Each stop is tested either as the departure (until one is found) or as an
            // arrival after it; a later arrival-side stop replaces an earlier one.
            const std::string_view name = S.station.View();
            if (!haveFrom) {
                if (StationMatches(name, exact, 1, FromSide, ToSide)) {
                    fromRec = T.CurrentRecord();
                    haveFrom = !name.empty();
                }
            } else if (StationMatches(name, exact, 2, FromSide, ToSide)) {
                toRec = T.CurrentRecord();
                haveTo = !name.empty();
            }
            T.Next();
        } while (!T.Eof() && S.id.View() == train);

        if (!haveFrom || !haveTo || !KL.Locate("ID", train)) continue;
        TPub_GridResult& r = out.emplace_back();
        FillTrainPart(r, L);
        FillFromPart(r, S, fromRec);
        FillToPart(r, S, toRec);
        FinishRow(r);
    }
}

int FindLastStopNumber(Timetable& tables, std::string_view trainNo) {
    MemTable& T = tables.KMTrain;
    if (!Loaded(T)) return 1;
    T.SetIndexName("SIDNo");
    if (!T.Locate("ID", trainNo)) return 1;
    const StopFields S(T);
    // The terminus is the only stop without a departure time; the walk stays within the
    // train, so a train whose terminus lacks that mark ends at its own last stop.
    int result = S.sno.AsInteger();
    while (!T.Eof() && S.id.View() == trainNo) {
        result = S.sno.AsInteger();
        if (S.dtime.View().empty()) break;
        T.Next();
    }
    return result;
}

void QueryByTrainNumber(Timetable& tables, std::string_view eccText, ResultList& out) {
    out.clear();
    if (!Loaded(tables.KMList)) return;
    const std::string key = AsciiUpper(TrimControl(eccText));
    const std::string prefix = key + "/";

    MemTable& KL = tables.KMList;
    KL.SetIndexName("SID");
    const TrainFields L(KL);
    auto emit = [&] {
        TPub_GridResult& r = out.emplace_back();
        FillTrainPart(r, L);
        r.FromStation.assign(L.start.View());
        r.FromSNo = 1;
        r.FromDistance = 0;
        r.FromDTime.assign(L.atime.View());
        r.FromRDate = "0";
        r.ToStation.assign(L.end.View());
        r.ToATime.assign(L.dtime.View());
        r.ToRDate.assign(L.rdate.View());
        r.ToDistance = r.TrainDistance;
        r.ToP1 = r.TrainP1;
        r.ToP2 = r.TrainP2;
        r.ToP3 = r.TrainP3;
        r.ToP4 = r.TrainP4;
        r.SpanKm = r.TrainDistance;
        r.SpanTime = r.TrainRDate;
        r.Fare1 = r.TrainP1;
        r.Fare2 = r.TrainP2;
        r.Fare3 = r.TrainP3;
        r.Fare4 = r.TrainP4;
    };
    auto matches = [&](std::string_view id) {
        return id == key || id.substr(0, prefix.size()) == prefix;
    };
    const std::vector<std::uint32_t>* order = KL.IndexOrder("SID");
    Field* idField = KL.FindField("ID");
    if (order != nullptr && idField != nullptr) {
        // The matches are two runs of the SID order (byte order): the key itself, then the
        // numbers that begin with key + "/". Each run is found by binary search and walked
        // with the cursor, so the rows come in the order of a full scan.
        auto walk = [&](std::string_view first, auto inRun) {
            if (!KL.Locate("ID", first)) return;
            for (; !KL.Eof() && inRun(L.id.View()); KL.Next()) emit();
        };
        walk(key, [&](std::string_view id) { return id == key; });
        const auto it = std::lower_bound(
            order->begin(), order->end(), std::string_view(prefix),
            [&](std::uint32_t rec, std::string_view v) { return idField->ViewAt(rec) < v; });
        if (it != order->end()) {
            const std::string first(idField->ViewAt(*it));
            if (first.compare(0, prefix.size(), prefix) == 0) {
                walk(first,
                     [&](std::string_view id) { return id.substr(0, prefix.size()) == prefix; });
            }
        }
    } else {
        for (KL.First(); !KL.Eof(); KL.Next()) {
            if (matches(L.id.View())) emit();
        }
    }
    // The stop counts need KMTrain; looked up after the scan so the KMList cursor is free.
    for (TPub_GridResult& r : out) {
        r.ToSNo = FindLastStopNumber(tables, r.TrainNo);
        r.StopCount = r.ToSNo - r.FromSNo;
    }
}

void QueryStationTimetable(Timetable& tables, std::string_view czText, TPub_FZStruct& FromSide,
                           TPub_DZStruct& ToSide, ResultList& out, const StopIndex* index) {
    out.clear();
    int exact = 0;
    ResolveStationBox(tables.KMSM, czText, 0, FromSide, ToSide);
    if (FromSide.GroupId == 0) {
        exact = 1;
        FromSide.Members.clear();
    }
    if (!Loaded(tables.KMTrain) || !Loaded(tables.KMList)) return;
    if (index && index->Covers(tables)) {
        if (IndexedStation(*index, tables, exact, FromSide, out)) return;
        out.clear();
    }

    MemTable& T = tables.KMTrain;
    MemTable& KL = tables.KMList;
    T.SetIndexName("SIDNo");
    KL.SetIndexName("SID");
    const StopFields S(T);
    const TrainFields L(KL);

    for (T.First(); !T.Eof(); T.Next()) {
        if (!StationMatches(S.station.View(), exact, 1, FromSide, ToSide)) continue;
        const std::string_view train = S.id.View();
        // A train missing from the train list cannot be shown; it gives no row.
        if (!KL.Locate("ID", train)) continue;
        TPub_GridResult& r = out.emplace_back();
        FillTrainPart(r, L);
        const std::uint32_t here = T.CurrentRecord();
        if (!S.dtime.View().empty()) {
            // Departs here: ride to the terminus, the stop without a departure time. The
            // walk moves the scan's own cursor, so the train's later stops give no row; it
            // never leaves the train nor runs past the end of the table.
            FillFromPart(r, S, here);
            std::uint32_t last = here;
            for (;;) {
                T.Next();
                if (T.Eof()) break;
                if (S.id.View() != train) {
                    T.Prior();
                    break;
                }
                last = T.CurrentRecord();
                if (S.dtime.View().empty()) break;
            }
            FillToPart(r, S, last);
        } else {
            // Ends here: ride from the origin.
            FillToPart(r, S, here);
            FillFromOrigin(r, L);
        }
        FinishRow(r);
    }
}

void TransferQuery(Timetable& tables, std::string_view fromText, std::string_view toText,
                   TPub_FZStruct& FromSide, TPub_DZStruct& ToSide, TransferData& data) {
    data.FromLegs.clear();
    data.ToLegs.clear();
    data.TransferList.clear();
    ResolveFromStation(tables.KMSM, fromText, 0, FromSide);
    ResolveToStation(tables.KMSM, toText, 0, ToSide);
    const int exact = ChooseExactMode(FromSide, ToSide);
    if (!Loaded(tables.KMTrain)) return;

    MemTable& T = tables.KMTrain;
    T.SetIndexName("SIDNo");
    const StopFields S(T);
    data.FromLegs.reserve(5000);
    data.ToLegs.reserve(5000);

    // Legs leaving the departure side: from the train's first departure-side stop to each
    // later stop, to the end of its route.
    T.First();
    while (!T.Eof()) {
        const std::string_view train = S.id.View();
        bool boarded = false;
        std::uint32_t board = 0;
        do {
            if (boarded) {
                TPub_GridResult& leg = data.FromLegs.emplace_back();
                leg.TrainNo.assign(train);
                FillFromPart(leg, S, board);
                FillToPart(leg, S, T.CurrentRecord());
            } else if (StationMatches(S.station.View(), exact, 1, FromSide, ToSide)) {
                boarded = true;
                board = T.CurrentRecord();
            }
            T.Next();
        } while (!T.Eof() && S.id.View() == train);
    }

    // Legs reaching the arrival side, walking backwards: from each earlier stop to the
    // train's last arrival-side stop.
    T.Last();
    while (!T.Bof()) {
        const std::string_view train = S.id.View();
        bool alighted = false;
        std::uint32_t alight = 0;
        do {
            if (alighted) {
                TPub_GridResult& leg = data.ToLegs.emplace_back();
                leg.TrainNo.assign(train);
                FillFromPart(leg, S, T.CurrentRecord());
                FillToPart(leg, S, alight);
            } else if (StationMatches(S.station.View(), exact, 2, FromSide, ToSide)) {
                alighted = true;
                alight = T.CurrentRecord();
            }
            T.Prior();
        } while (!T.Bof() && S.id.View() == train);
    }
    data.FromLegs.shrink_to_fit();
    data.ToLegs.shrink_to_fit();

    CollectTransferStations(data);
}

void CollectTransferStations(TransferData& data) {
    std::vector<TPub_ZZStruct>& list = data.TransferList;
    list.clear();
    // Station -> entry, the first match a linear search of the list would find. The keys
    // view the first legs' own strings, which stay put while the list grows.
    std::unordered_map<std::string_view, std::size_t> where;
    for (const TPub_GridResult& leg : data.FromLegs) {
        auto [it, added] = where.try_emplace(leg.ToStation, list.size());
        if (!added) {
            ++list[it->second].Count1;
            continue;
        }
        TPub_ZZStruct& z = list.emplace_back();
        z.Station = leg.ToStation;
        z.Dist1 = leg.ToDistance - leg.FromDistance;
        z.Time1 = ElapsedText(leg.FromRDate, leg.ToRDate);
        z.Count1 = 1;
    }

    for (const TPub_GridResult& leg : data.ToLegs) {
        auto it = where.find(leg.FromStation);
        if (it == where.end()) continue;
        TPub_ZZStruct& z = list[it->second];
        z.Dist2 = leg.ToDistance - leg.FromDistance;
        z.DistAll = z.Dist1 + z.Dist2;
        z.Time2 = ElapsedText(leg.FromRDate, leg.ToRDate);
        z.TimeAll = MinutesToElapsed(ElapsedToMinutes(z.Time1) + ElapsedToMinutes(z.Time2));
        ++z.Count2;
    }
}

std::vector<TPub_ZZStruct> TransferCandidates(const TransferData& data,
                                              const TPub_FZStruct& FromSide,
                                              const TPub_DZStruct& ToSide) {
    std::vector<TPub_ZZStruct> out;
    for (const TPub_ZZStruct& z : data.TransferList) {
        if (z.Count2 > 0 && z.Station != FromSide.TypedName && z.Station != ToSide.TypedName) {
            out.push_back(z);
        }
    }
    return out;
}

void ShowTransferLegs(Timetable& tables, const TransferData& data, std::string_view station,
                      int count1, int count2, ResultList& out, std::string& TransferStation) {
    TransferStation.assign(station);
    out.clear();
    out.reserve(static_cast<std::size_t>(std::max(0, count1) + std::max(0, count2)));
    if (!Loaded(tables.KMList)) return;
    MemTable& KL = tables.KMList;
    KL.SetIndexName("SID");
    const TrainFields L(KL);

    // Copies a leg with its train's data; a leg whose train is not in the list is left out.
    auto add = [&](const TPub_GridResult& leg) {
        if (!KL.Locate("ID", leg.TrainNo)) return false;
        TPub_GridResult r = leg;
        FillTrainPart(r, L);
        FinishRow(r);
        out.push_back(std::move(r));
        return true;
    };

    int taken = 0;
    for (const TPub_GridResult& leg : data.FromLegs) {
        if (taken >= count1) break;
        if (leg.ToStation == station && add(leg)) ++taken;
    }
    taken = 0;
    for (const TPub_GridResult& leg : data.ToLegs) {
        if (taken >= count2) break;
        if (leg.FromStation == station && add(leg)) ++taken;
    }
}

}  // namespace korvel
