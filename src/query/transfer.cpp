// The transfer query: the legs leaving the departure side and reaching the arrival side,
// the candidate transfer stations, and the rows of the legs through a picked station.
#include <algorithm>
#include <utility>

#include "query/fare_tariff.h"
#include "query/queries.h"
#include "query/query_rows.h"

namespace korvel {

using namespace query_rows;

namespace {

// Forward walk: each train from its first departure-side stop to every later stop. Returns
// the station of each leg's transfer end, beside the legs.
std::vector<StationId> LegsLeaving(const Timetable& tt,
                                   const std::vector<std::uint32_t>& departures,
                                   std::vector<TransferData::StopPair>& legs) {
    std::vector<StationId> ends;
    TrainId lastTrain = TrainId::None();
    for (std::uint32_t p : departures) {
        const TrainId train = tt.Train(StopId(p));
        if (train == lastTrain) continue;
        lastTrain = train;
        const std::uint32_t end = tt.EndStop(train).Value();
        for (std::uint32_t q = p + 1; q < end; ++q) {
            legs.push_back({p, q});
            ends.push_back(tt.Station(StopId(q)));
        }
    }
    return ends;
}

// Backward walk: trains from the last, each from its last arrival-side stop back to every
// earlier stop. Returns the station of each leg's transfer end, beside the legs.
std::vector<StationId> LegsReaching(const Timetable& tt, const std::vector<std::uint32_t>& arrivals,
                                    std::vector<TransferData::StopPair>& legs) {
    std::vector<StationId> ends;
    TrainId lastTrain = TrainId::None();
    for (auto it = arrivals.rbegin(); it != arrivals.rend(); ++it) {
        const std::uint32_t a = *it;
        const TrainId train = tt.Train(StopId(a));
        if (train == lastTrain) continue;
        lastTrain = train;
        const std::uint32_t begin = tt.FirstStop(train).Value();
        for (std::uint32_t q = a; q-- > begin;) {
            legs.push_back({q, a});
            ends.push_back(tt.Station(StopId(q)));
        }
    }
    return ends;
}

std::int32_t LegDistance(const Timetable& tt, const TransferData::StopPair& leg) {
    return tt.Km(StopId(leg.alight)) - tt.Km(StopId(leg.board));
}

std::int32_t LegTime(const Timetable& tt, const TransferData::StopPair& leg) {
    return RideClock(tt.RunTimes(), leg.alight) - DepartureRun(tt, StopId(leg.board));
}

// The candidates: stations in order of their first first leg; the second-leg figures are
// those of the last matching second leg, so they are worked out once per station.
void Candidates(const Timetable& tt, TransferData& data, const std::vector<StationId>& fromEnd,
                const std::vector<StationId>& toEnd) {
    constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
    std::vector<TransferCandidate>& list = data.TransferList;
    std::vector<std::uint32_t> entryOf(tt.StationCount(), kNoEntry);
    for (std::size_t i = 0; i < data.FromStops.size(); ++i) {
        const TransferData::StopPair& leg = data.FromStops[i];
        const std::uint32_t st = fromEnd[i].Value();
        if (entryOf[st] != kNoEntry) {
            ++list[entryOf[st]].Count1;
            continue;
        }
        entryOf[st] = static_cast<std::uint32_t>(list.size());
        TransferCandidate& z = list.emplace_back();
        z.station = fromEnd[i];
        z.Dist1 = LegDistance(tt, leg);
        z.Time1 = LegTime(tt, leg);
        z.Count1 = 1;
    }
    std::vector<const TransferData::StopPair*> lastSecond(list.size(), nullptr);
    for (std::size_t i = 0; i < data.ToStops.size(); ++i) {
        const std::uint32_t e = entryOf[toEnd[i].Value()];
        if (e == kNoEntry) continue;
        ++list[e].Count2;
        lastSecond[e] = &data.ToStops[i];
    }
    for (std::size_t e = 0; e < list.size(); ++e) {
        const TransferData::StopPair* leg = lastSecond[e];
        if (leg == nullptr) continue;
        TransferCandidate& z = list[e];
        z.Dist2 = LegDistance(tt, *leg);
        z.DistAll = z.Dist1 + z.Dist2;
        z.Time2 = LegTime(tt, *leg);
    }
}

// Every leg, walking every train: forward from the first departure-side stop
// to each later stop, then backward, trains from the last, from the last arrival-side stop
// to each earlier one.
void WalkedLegs(const Timetable& tt, MatchMode mode, const StationSide& FromSide,
                const StationSide& ToSide, TransferData& data) {
    for (TrainId train(0); train < TrainId(tt.TrainCount()); ++train) {
        const std::uint32_t begin = tt.FirstStop(train).Value();
        const std::uint32_t end = tt.EndStop(train).Value();
        bool boarded = false;
        std::uint32_t board = 0;
        for (std::uint32_t p = begin; p < end; ++p) {
            if (boarded) {
                data.FromStops.push_back({board, p});
            } else if (StationMatches(tt.Name(tt.Station(StopId(p))), mode, QuerySide::From,
                                      FromSide, ToSide)) {
                boarded = true;
                board = p;
            }
        }
    }
    for (std::uint32_t t = tt.TrainCount(); t-- > 0;) {
        const TrainId train(t);
        const std::uint32_t begin = tt.FirstStop(train).Value();
        bool alighted = false;
        std::uint32_t alight = 0;
        for (std::uint32_t p = tt.EndStop(train).Value(); p-- > begin;) {
            if (alighted) {
                data.ToStops.push_back({p, alight});
            } else if (StationMatches(tt.Name(tt.Station(StopId(p))), mode, QuerySide::To, FromSide,
                                      ToSide)) {
                alighted = true;
                alight = p;
            }
        }
    }
}

}  // namespace

void TransferQuery(StoredTables& tables, std::string_view fromText, std::string_view toText,
                   StationSide& FromSide, StationSide& ToSide, TransferData& data,
                   const StopIndex* index) {
    data.FromStops.clear();
    data.ToStops.clear();
    data.TransferList.clear();
    data.timetable.reset();
    const bool indexed = index != nullptr && index->Covers(tables);
    std::shared_ptr<const Timetable> typed = TypedFor(tables, index);
    ResolveFromStation(*typed, fromText, MatchMode::Grouped, FromSide);
    ResolveToStation(*typed, toText, MatchMode::Grouped, ToSide);
    const MatchMode mode = ChooseExactMode(FromSide, ToSide);
    if (!Loaded(tables.KMTrain)) return;
    data.timetable = std::move(typed);
    const Timetable& tt = *data.timetable;
    std::vector<StationId> fromEnd;
    std::vector<StationId> toEnd;
    std::vector<std::uint32_t> departures;
    std::vector<std::uint32_t> arrivals;
    if (indexed && StopsAt(tt, SideNames(FromSide, mode), departures) &&
        StopsAt(tt, SideNames(ToSide, mode), arrivals)) {
        // The legs from the stations' own stops, in the order of the two walks.
        fromEnd = LegsLeaving(tt, departures, data.FromStops);
        toEnd = LegsReaching(tt, arrivals, data.ToStops);
    } else {
        WalkedLegs(tt, mode, FromSide, ToSide, data);
        for (const TransferData::StopPair& leg : data.FromStops)
            fromEnd.push_back(tt.Station(StopId(leg.alight)));
        for (const TransferData::StopPair& leg : data.ToStops)
            toEnd.push_back(tt.Station(StopId(leg.board)));
    }
    Candidates(tt, data, fromEnd, toEnd);
}

std::vector<TransferCandidate> TransferCandidates(const TransferData& data,
                                                  const StationSide& FromSide,
                                                  const StationSide& ToSide) {
    std::vector<TransferCandidate> out;
    if (!data.timetable) return out;
    for (const TransferCandidate& z : data.TransferList) {
        const std::string& name = data.timetable->Name(z.station);
        if (z.Count2 > 0 && name != FromSide.TypedName && name != ToSide.TypedName) {
            out.push_back(z);
        }
    }
    return out;
}

void ShowTransferLegs(StoredTables& tables, const TransferData& data, std::string_view station,
                      int count1, int count2, ResultList& out, std::string& TransferStation) {
    TransferStation.assign(station);
    out.clear();
    out.rows.reserve(static_cast<std::size_t>(std::max(0, count1) + std::max(0, count2)));
    if (!Loaded(tables.KMList)) return;
    // The stop pairs number the stops of the timetable they came from only.
    if (!data.timetable || !data.timetable->BuiltFrom(tables)) return;
    out.timetable = data.timetable;
    const Timetable& tt = *data.timetable;

    // A leg with its train's data; a leg whose train is not in the list is left out.
    auto add = [&](const TransferData::StopPair& pair) {
        const TrainId train = tt.Train(StopId(pair.board));
        if (!tt.Listed(train)) return false;
        ResultRow& r = out.rows.emplace_back();
        FillTrainPart(r, tt, train);
        FillFromStop(r, tt, StopId(pair.board));
        FillToStop(r, tt, StopId(pair.alight));
        FinishRow(r, tt);
        return true;
    };
    int taken = 0;
    for (const TransferData::StopPair& pair : data.FromStops) {
        if (taken >= count1) break;
        if (tt.Name(tt.Station(StopId(pair.alight))) == station && add(pair)) ++taken;
    }
    taken = 0;
    for (const TransferData::StopPair& pair : data.ToStops) {
        if (taken >= count2) break;
        if (tt.Name(tt.Station(StopId(pair.board))) == station && add(pair)) ++taken;
    }
}

}  // namespace korvel
