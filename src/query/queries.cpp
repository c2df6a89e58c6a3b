#include "query/queries.h"

#include <algorithm>
#include <unordered_map>

#include "data/gbk.h"
#include "query/fare_tariff.h"
#include "query/query_rows.h"

namespace korvel {

using namespace query_rows;

namespace {

// The direct rows: for each train, its first departure-side stop and the last arrival-side
// stop after it.
void DirectRows(const Timetable& tt, MatchMode mode, const StationSide& FromSide,
                const StationSide& ToSide, ResultList& out) {
    auto emit = [&](TrainId train, std::uint32_t from, std::uint32_t to) {
        ResultRow& r = out.rows.emplace_back();
        FillTrainPart(r, tt, train);
        FillFromStop(r, tt, StopId(from));
        FillToStop(r, tt, StopId(to));
        FinishRow(r, tt);
    };
    std::vector<std::uint32_t> departures;
    std::vector<std::uint32_t> arrivals;
    if (StopsAt(tt, SideNames(FromSide, mode), departures) &&
        StopsAt(tt, SideNames(ToSide, mode), arrivals)) {
        // The stations' own stops.
        std::vector<std::uint8_t> arrivalSide(tt.StationCount(), 0);
        for (std::uint32_t p : arrivals) arrivalSide[tt.Station(StopId(p)).Value()] = 1;
        TrainId lastTrain = TrainId::None();
        for (std::uint32_t p : departures) {
            const TrainId train = tt.Train(StopId(p));
            if (train == lastTrain) continue;
            lastTrain = train;
            const std::uint32_t end = tt.EndStop(train).Value();
            std::uint32_t to = p;
            for (std::uint32_t q = p + 1; q < end; ++q) {
                if (arrivalSide[tt.Station(StopId(q)).Value()]) to = q;
            }
            if (to != p && tt.Listed(train)) emit(train, p, to);
        }
        return;
    }
    // A side names the empty text: every stop in turn. Each is tested either as the
    // departure (until one is found) or as an arrival after it; a later arrival-side stop
    // replaces an earlier one, and a stop without a name is never found.
    for (TrainId train(0); train < TrainId(tt.TrainCount()); ++train) {
        bool haveFrom = false;
        bool haveTo = false;
        std::uint32_t from = 0;
        std::uint32_t to = 0;
        for (StopId s = tt.FirstStop(train); s < tt.EndStop(train); ++s) {
            const std::string& name = tt.Name(tt.Station(s));
            if (!haveFrom) {
                if (StationMatches(name, mode, QuerySide::From, FromSide, ToSide)) {
                    from = s.Value();
                    haveFrom = !name.empty();
                }
            } else if (StationMatches(name, mode, QuerySide::To, FromSide, ToSide)) {
                to = s.Value();
                haveTo = !name.empty();
            }
        }
        if (haveFrom && haveTo && tt.Listed(train)) emit(train, from, to);
    }
}

// The station rows: each stop at the station that the ride of an earlier row did not pass,
// from there to the terminus, or from the origin when the train ends there.
void StationRows(const Timetable& tt, MatchMode mode, const StationSide& FromSide,
                 const StationSide& ToSide, ResultList& out) {
    std::vector<std::uint32_t> stops;
    if (!StopsAt(tt, SideNames(FromSide, mode), stops)) {
        // The empty name: every stop whose name matches, in order.
        for (std::uint32_t p = 0; p < tt.StopTotal(); ++p) {
            if (StationMatches(tt.Name(tt.Station(StopId(p))), mode, QuerySide::From, FromSide,
                               ToSide)) {
                stops.push_back(p);
            }
        }
    }
    out.rows.reserve(stops.size());
    // Stops up to here were passed by a ride to a terminus and give no row of their own.
    std::int64_t passed = -1;
    const ClockColumn& departs = tt.Departures();
    for (std::uint32_t p : stops) {
        if (static_cast<std::int64_t>(p) <= passed) continue;
        const TrainId train = tt.Train(StopId(p));
        // A train missing from the train list cannot be shown; it gives no row.
        if (!tt.Listed(train)) continue;
        ResultRow& r = out.rows.emplace_back();
        FillTrainPart(r, tt, train);
        if (!departs.Empty(p)) {
            // Departs here: ride to the terminus, the stop without a departure time, never
            // past the train's last stop.
            FillFromStop(r, tt, StopId(p));
            const std::uint32_t end = tt.EndStop(train).Value();
            std::uint32_t last = p;
            while (last + 1 < end) {
                ++last;
                if (departs.Empty(last)) break;
            }
            FillToStop(r, tt, StopId(last));
            passed = last;
        } else {
            // Ends here: ride from the origin.
            FillToStop(r, tt, StopId(p));
            FillFromOrigin(r, tt, train);
        }
        FinishRow(r, tt);
    }
}

}  // namespace

void SearchDirectTrains(StoredTables& tables, std::string_view fromText, std::string_view toText,
                        StationSide& FromSide, StationSide& ToSide, ResultList& out,
                        const StopIndex* index) {
    out.clear();
    std::shared_ptr<const Timetable> typed = TypedFor(tables, index);
    const Timetable& tt = *typed;
    ResolveFromStation(tt, fromText, MatchMode::Grouped, FromSide);
    ResolveToStation(tt, toText, MatchMode::Grouped, ToSide);
    const MatchMode mode = ChooseExactMode(FromSide, ToSide);
    if (!Loaded(tables.KMTrain) || !Loaded(tables.KMList)) return;
    out.timetable = std::move(typed);
    DirectRows(tt, mode, FromSide, ToSide, out);
}

ResultRow RowBetween(const Timetable& tt, TrainId train, StopId board, StopId alight) {
    ResultRow r;
    FillTrainPart(r, tt, train);
    FillFromStop(r, tt, board);
    FillToStop(r, tt, alight);
    FinishRow(r, tt);
    return r;
}

std::int32_t RideMinutes(const Timetable& tt, StopId board, StopId alight) {
    return RideClock(tt.RunTimes(), alight.Value()) - DepartureRun(tt, board);
}

int FindLastStopNumber(const Timetable& tt, std::string_view trainNo) {
    const TrainId train = tt.FindTrain(trainNo);
    if (train.IsNone() || tt.StopCount(train) == 0) return 1;
    // The terminus is the only stop without a departure time; a train whose terminus lacks
    // that mark ends at its own last stop.
    StopId last = tt.FirstStop(train);
    while (!tt.Departures().Empty(last.Value()) && StopId(last.Value() + 1) < tt.EndStop(train))
        ++last;
    return tt.StopNumber(last);
}

void QueryByTrainNumber(StoredTables& tables, std::string_view eccText, ResultList& out,
                        const StopIndex* index) {
    out.clear();
    if (!Loaded(tables.KMList)) return;
    out.timetable = TypedFor(tables, index);
    const Timetable& tt = *out.timetable;
    const std::string key = AsciiUpper(TrimControl(eccText));
    const std::string prefix = key + "/";

    // One row per train-list row, the whole journey with its stored values.
    auto emit = [&](std::uint32_t row) {
        ResultRow& r = out.rows.emplace_back();
        FillTrainRow(r, tt, row);
        r.fromStation = tt.RowOrigin(row);
        r.fromStopNo = 1;
        r.fromKm = 0;
        r.departure = tt.TrainDepartures().Minutes(row);
        r.toStation = tt.RowTerminus(row);
        r.arrival = tt.TrainArrivals().Minutes(row);
        r.toKm = tt.RowDistance(row);
        r.rideMinutes = tt.TrainRunTimes().Minutes(row);
        r.fareSource = FareSource::TrainList;
        for (int c = 0; c < 4; ++c) r.fares[c] = StoredFareValue(tt.TrainFares().classes[c], row);
        r.toStopNo = FindLastStopNumber(tt, tt.Number(r.train));
    };
    auto emitTrain = [&](TrainId t) {
        for (std::uint32_t k = 0; k < tt.ListedRows(t); ++k) emit(tt.ListRow(t) + k);
    };
    // The matches are two runs of the number order (byte order): the key itself, then the
    // numbers that begin with key + "/".
    const TrainId exact = tt.FindTrain(key);
    if (!exact.IsNone()) emitTrain(exact);
    std::uint32_t lo = 0;
    std::uint32_t hi = tt.TrainCount();
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (tt.Number(TrainId(mid)) < prefix) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    for (TrainId t(lo); t < TrainId(tt.TrainCount()); ++t) {
        if (tt.Number(t).compare(0, prefix.size(), prefix) != 0) break;
        emitTrain(t);
    }
}

void QueryStationTimetable(StoredTables& tables, std::string_view czText, StationSide& FromSide,
                           StationSide& ToSide, ResultList& out, const StopIndex* index) {
    out.clear();
    MatchMode mode = MatchMode::Grouped;
    std::shared_ptr<const Timetable> typed = TypedFor(tables, index);
    const Timetable& tt = *typed;
    ResolveStationBox(tt, czText, MatchMode::Grouped, FromSide, ToSide);
    if (FromSide.GroupId == 0) {
        mode = MatchMode::Exact;
        FromSide.Members.clear();
    }
    if (!Loaded(tables.KMTrain) || !Loaded(tables.KMList)) return;
    out.timetable = std::move(typed);
    StationRows(tt, mode, FromSide, ToSide, out);
}

}  // namespace korvel
