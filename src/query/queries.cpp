#include "query/queries.h"

#include <algorithm>
#include <unordered_map>

#include "data/gbk.h"
#include "query/center.h"
#include "query/query_rows.h"

namespace korvel {

using namespace query_rows;

namespace {

bool IndexedDirect(const StopIndex& ix, Timetable& tables, MatchMode mode,
                   const TPub_FZStruct& FromSide, const TPub_DZStruct& ToSide, ResultList& out) {
    std::vector<std::uint32_t> departures;
    std::vector<std::uint32_t> arrivals;
    if (!StopsAt(ix, SideNames(FromSide, mode), departures) ||
        !StopsAt(ix, SideNames(ToSide, mode), arrivals)) {
        return false;
    }
    std::vector<std::uint8_t> arrivalSide(ix.StationCount(), 0);
    for (std::uint32_t p : arrivals) arrivalSide[ix.Station(p)] = 1;

    MemTable& KL = tables.KMList;
    KL.SetIndexName("SID");
    const StopFields S(tables.KMTrain);
    const TrainFields L(KL);
    std::uint32_t lastTrain = 0xFFFFFFFFu;
    std::uint32_t lastFound = StopIndex::kNoStation;
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
        if (to == p) continue;
        const std::uint32_t listRec = ix.ListRecord(train);
        if (listRec == StopIndex::kNoStation) continue;
        lastFound = train;
        TPub_GridResult& r = out.emplace_back();
        FillTrainPartAt(r, L, listRec);
        FillFromPart(r, S, ix.Record(p));
        FillToPart(r, S, ix.Record(to));
        FinishRow(r);
    }
    LeaveListCursor(ix, KL, S, lastFound);
    return true;
}

bool IndexedStation(const StopIndex& ix, Timetable& tables, MatchMode mode,
                    const TPub_FZStruct& FromSide, ResultList& out) {
    std::vector<std::uint32_t> stops;
    if (!StopsAt(ix, SideNames(FromSide, mode), stops)) return false;
    MemTable& KL = tables.KMList;
    KL.SetIndexName("SID");
    const StopFields S(tables.KMTrain);
    const TrainFields L(KL);
    out.reserve(stops.size());
    // Stops up to here were passed by a ride to a terminus and give no row of their own.
    std::int64_t passed = -1;
    std::uint32_t lastFound = StopIndex::kNoStation;
    for (std::uint32_t p : stops) {
        if (static_cast<std::int64_t>(p) <= passed) continue;
        const std::uint32_t here = ix.Record(p);
        const std::uint32_t listRec = ix.ListRecord(ix.Train(p));
        if (listRec == StopIndex::kNoStation) continue;
        lastFound = ix.Train(p);
        TPub_GridResult& r = out.emplace_back();
        FillTrainPartAt(r, L, listRec);
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
            FillFromOrigin(r, L, listRec);
        }
        FinishRow(r);
    }
    LeaveListCursor(ix, KL, S, lastFound);
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
    ResolveFromStation(tables.KMSM, fromText, MatchMode::Grouped, FromSide);
    ResolveToStation(tables.KMSM, toText, MatchMode::Grouped, ToSide);
    const MatchMode mode = ChooseExactMode(FromSide, ToSide);
    if (!Loaded(tables.KMTrain) || !Loaded(tables.KMList)) return;
    if (AnsweredByIndex(index, tables, out, [&](const StopIndex& ix) {
            return IndexedDirect(ix, tables, mode, FromSide, ToSide, out);
        })) {
        return;
    }

    ScanTables scan(tables);
    auto& [T, KL, S, L] = scan;

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
                if (StationMatches(name, mode, QuerySide::From, FromSide, ToSide)) {
                    fromRec = T.CurrentRecord();
                    haveFrom = !name.empty();
                }
            } else if (StationMatches(name, mode, QuerySide::To, FromSide, ToSide)) {
                toRec = T.CurrentRecord();
                haveTo = !name.empty();
            }
            T.Next();
        } while (!T.Eof() && S.id.View() == train);

        if (!haveFrom || !haveTo || !KL.Locate("ID", train)) continue;
        TPub_GridResult& r = out.emplace_back();
        FillTrainPartAt(r, L, KL.CurrentRecord());
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
        FillTrainPartAt(r, L, KL.CurrentRecord());
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
    MatchMode mode = MatchMode::Grouped;
    ResolveStationBox(tables.KMSM, czText, MatchMode::Grouped, FromSide, ToSide);
    if (FromSide.GroupId == 0) {
        mode = MatchMode::Exact;
        FromSide.Members.clear();
    }
    if (!Loaded(tables.KMTrain) || !Loaded(tables.KMList)) return;
    if (AnsweredByIndex(index, tables, out, [&](const StopIndex& ix) {
            return IndexedStation(ix, tables, mode, FromSide, out);
        })) {
        return;
    }

    ScanTables scan(tables);
    auto& [T, KL, S, L] = scan;

    for (T.First(); !T.Eof(); T.Next()) {
        if (!StationMatches(S.station.View(), mode, QuerySide::From, FromSide, ToSide)) continue;
        const std::string_view train = S.id.View();
        // A train missing from the train list cannot be shown; it gives no row.
        if (!KL.Locate("ID", train)) continue;
        TPub_GridResult& r = out.emplace_back();
        FillTrainPartAt(r, L, KL.CurrentRecord());
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
            FillFromOrigin(r, L, KL.CurrentRecord());
        }
        FinishRow(r);
    }
}

}  // namespace korvel
