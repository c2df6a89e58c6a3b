// The transfer query: the legs leaving the departure side and reaching the arrival side,
// the candidate transfer stations, and the rows of the legs through a picked station.
#include <algorithm>
#include <unordered_map>
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

std::string LegTime(const Timetable& tt, const TransferData::StopPair& leg) {
    return ElapsedText(
        DepartureRunTime(tt.RunTimes().Text(leg.board), tt.Arrivals().Text(leg.board),
                         tt.Departures().Text(leg.board)),
        tt.RunTimes().Text(leg.alight));
}

// The candidates, as CollectTransferStations makes them from full legs: stations in order of
// their first first leg; the second-leg figures are those of the last matching second leg,
// so they are worked out once per station.
void IndexedCandidates(const Timetable& tt, TransferData& data,
                       const std::vector<StationId>& fromEnd, const std::vector<StationId>& toEnd) {
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
        z.Station = tt.Name(fromEnd[i]);
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
        z.TimeAll = MinutesToElapsed(ElapsedToMinutes(z.Time1) + ElapsedToMinutes(z.Time2));
    }
}

// A leg as a row without its train part.
ResultRow LegRow(const Timetable& tt, std::uint32_t board, std::uint32_t alight) {
    ResultRow leg;
    leg.TrainNo = tt.Number(tt.Train(StopId(board)));
    FillFromStop(leg, tt, StopId(board));
    FillToStop(leg, tt, StopId(alight));
    return leg;
}

// Every leg as a full row, walking every train: forward from the first departure-side stop
// to each later stop, then backward, trains from the last, from the last arrival-side stop
// to each earlier one.
void WalkedLegs(const Timetable& tt, MatchMode mode, const StationSide& FromSide,
                const StationSide& ToSide, TransferData& data) {
    data.FromLegs.reserve(5000);
    data.ToLegs.reserve(5000);
    for (TrainId train(0); train < TrainId(tt.TrainCount()); ++train) {
        const std::uint32_t begin = tt.FirstStop(train).Value();
        const std::uint32_t end = tt.EndStop(train).Value();
        bool boarded = false;
        std::uint32_t board = 0;
        for (std::uint32_t p = begin; p < end; ++p) {
            if (boarded) {
                data.FromLegs.push_back(LegRow(tt, board, p));
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
                data.ToLegs.push_back(LegRow(tt, p, alight));
            } else if (StationMatches(tt.Name(tt.Station(StopId(p))), mode, QuerySide::To, FromSide,
                                      ToSide)) {
                alighted = true;
                alight = p;
            }
        }
    }
    data.FromLegs.shrink_to_fit();
    data.ToLegs.shrink_to_fit();
}

}  // namespace

void TransferQuery(StoredTables& tables, std::string_view fromText, std::string_view toText,
                   StationSide& FromSide, StationSide& ToSide, TransferData& data,
                   const StopIndex* index) {
    data.FromLegs.clear();
    data.ToLegs.clear();
    data.FromStops.clear();
    data.ToStops.clear();
    data.TransferList.clear();
    data.timetable.reset();
    const bool indexed = index != nullptr && index->Covers(tables);
    std::shared_ptr<const Timetable> typed =
        indexed ? index->SharedTyped() : std::make_shared<const Timetable>(tables);
    ResolveFromStation(*typed, fromText, MatchMode::Grouped, FromSide);
    ResolveToStation(*typed, toText, MatchMode::Grouped, ToSide);
    const MatchMode mode = ChooseExactMode(FromSide, ToSide);
    if (!Loaded(tables.KMTrain)) return;
    data.timetable = std::move(typed);
    const Timetable& tt = *data.timetable;
    if (indexed) {
        // The legs from the stations' own stops, in the order of the two walks.
        std::vector<std::uint32_t> departures;
        std::vector<std::uint32_t> arrivals;
        if (StopsAt(tt, SideNames(FromSide, mode), departures) &&
            StopsAt(tt, SideNames(ToSide, mode), arrivals)) {
            const std::vector<StationId> fromEnd = LegsLeaving(tt, departures, data.FromStops);
            const std::vector<StationId> toEnd = LegsReaching(tt, arrivals, data.ToStops);
            IndexedCandidates(tt, data, fromEnd, toEnd);
            return;
        }
    }
    WalkedLegs(tt, mode, FromSide, ToSide, data);
    CollectTransferStations(data);
}

void CollectTransferStations(TransferData& data) {
    std::vector<TransferCandidate>& list = data.TransferList;
    list.clear();
    // Station -> entry, the first match a linear search of the list would find. The keys
    // view the first legs' own strings, which stay put while the list grows.
    std::unordered_map<std::string_view, std::size_t> where;
    for (const ResultRow& leg : data.FromLegs) {
        auto [it, added] = where.try_emplace(leg.ToStation, list.size());
        if (!added) {
            ++list[it->second].Count1;
            continue;
        }
        TransferCandidate& z = list.emplace_back();
        z.Station = leg.ToStation;
        z.Dist1 = leg.ToDistance - leg.FromDistance;
        z.Time1 = ElapsedText(leg.FromRDate, leg.ToRDate);
        z.Count1 = 1;
    }

    for (const ResultRow& leg : data.ToLegs) {
        auto it = where.find(leg.FromStation);
        if (it == where.end()) continue;
        TransferCandidate& z = list[it->second];
        z.Dist2 = leg.ToDistance - leg.FromDistance;
        z.DistAll = z.Dist1 + z.Dist2;
        z.Time2 = ElapsedText(leg.FromRDate, leg.ToRDate);
        z.TimeAll = MinutesToElapsed(ElapsedToMinutes(z.Time1) + ElapsedToMinutes(z.Time2));
        ++z.Count2;
    }
}

std::vector<TransferCandidate> TransferCandidates(const TransferData& data,
                                                  const StationSide& FromSide,
                                                  const StationSide& ToSide) {
    std::vector<TransferCandidate> out;
    for (const TransferCandidate& z : data.TransferList) {
        if (z.Count2 > 0 && z.Station != FromSide.TypedName && z.Station != ToSide.TypedName) {
            out.push_back(z);
        }
    }
    return out;
}

void ShowTransferLegs(StoredTables& tables, const TransferData& data, std::string_view station,
                      int count1, int count2, ResultList& out, std::string& TransferStation) {
    TransferStation.assign(station);
    out.clear();
    out.reserve(static_cast<std::size_t>(std::max(0, count1) + std::max(0, count2)));
    if (!Loaded(tables.KMList)) return;
    std::shared_ptr<const Timetable> own;
    if (!data.timetable || !data.timetable->BuiltFrom(tables)) {
        // Legs kept as stop pairs number the stops of the timetable they came from only.
        if (!data.FromStops.empty() || !data.ToStops.empty()) return;
        own = std::make_shared<const Timetable>(tables);
    }
    const Timetable& tt = own ? *own : *data.timetable;

    // Copies a leg with its train's data; a leg whose train is not in the list is left out.
    auto add = [&](const ResultRow& leg) {
        const TrainId train = tt.FindTrain(leg.TrainNo);
        if (train.IsNone() || !tt.Listed(train)) return false;
        ResultRow r = leg;
        FillTrainPart(r, tt, train);
        FinishRow(r);
        out.push_back(std::move(r));
        return true;
    };

    int taken = 0;
    for (const ResultRow& leg : data.FromLegs) {
        if (taken >= count1) break;
        if (leg.ToStation == station && add(leg)) ++taken;
    }
    taken = 0;
    for (const ResultRow& leg : data.ToLegs) {
        if (taken >= count2) break;
        if (leg.FromStation == station && add(leg)) ++taken;
    }

    // Legs kept as stop pairs: each becomes the row its full leg would have given.
    taken = 0;
    for (const TransferData::StopPair& pair : data.FromStops) {
        if (taken >= count1) break;
        if (tt.Name(tt.Station(StopId(pair.alight))) == station &&
            add(LegRow(tt, pair.board, pair.alight))) {
            ++taken;
        }
    }
    taken = 0;
    for (const TransferData::StopPair& pair : data.ToStops) {
        if (taken >= count2) break;
        if (tt.Name(tt.Station(StopId(pair.board))) == station &&
            add(LegRow(tt, pair.board, pair.alight))) {
            ++taken;
        }
    }
}

}  // namespace korvel
