// The transfer query: the legs leaving the departure side and reaching the arrival side,
// the candidate transfer stations, and the rows of the legs through a picked station.
#include <algorithm>
#include <unordered_map>

#include "query/center.h"
#include "query/queries.h"
#include "query/query_rows.h"

namespace korvel {

using namespace query_rows;

namespace {

// Forward walk: each train from its first departure-side stop to every later stop. Returns
// the station of each leg's transfer end, beside the legs.
std::vector<std::uint32_t> LegsLeaving(const StopIndex& ix,
                                       const std::vector<std::uint32_t>& departures,
                                       std::vector<TransferData::StopPair>& legs) {
    std::vector<std::uint32_t> ends;
    std::uint32_t lastTrain = StopIndex::kNoStation;
    for (std::uint32_t p : departures) {
        const std::uint32_t train = ix.Train(p);
        if (train == lastTrain) continue;
        lastTrain = train;
        const std::uint32_t end = ix.TrainEnd(train);
        for (std::uint32_t q = p + 1; q < end; ++q) {
            legs.push_back({ix.Record(p), ix.Record(q)});
            ends.push_back(ix.Station(q));
        }
    }
    return ends;
}

// Backward walk: trains from the last, each from its last arrival-side stop back to every
// earlier stop. Returns the station of each leg's transfer end, beside the legs.
std::vector<std::uint32_t> LegsReaching(const StopIndex& ix,
                                        const std::vector<std::uint32_t>& arrivals,
                                        std::vector<TransferData::StopPair>& legs) {
    std::vector<std::uint32_t> ends;
    std::uint32_t lastTrain = StopIndex::kNoStation;
    for (auto it = arrivals.rbegin(); it != arrivals.rend(); ++it) {
        const std::uint32_t a = *it;
        const std::uint32_t train = ix.Train(a);
        if (train == lastTrain) continue;
        lastTrain = train;
        const std::uint32_t begin = ix.TrainBegin(train);
        for (std::uint32_t q = a; q-- > begin;) {
            legs.push_back({ix.Record(q), ix.Record(a)});
            ends.push_back(ix.Station(q));
        }
    }
    return ends;
}

std::int32_t LegDistance(const StopFields& S, const TransferData::StopPair& leg) {
    return S.distance.IntegerAt(leg.alight) - S.distance.IntegerAt(leg.board);
}

std::string LegTime(const StopFields& S, const TransferData::StopPair& leg) {
    return ElapsedText(DepartureRunTime(S.rdate.ViewAt(leg.board), S.atime.ViewAt(leg.board),
                                        S.dtime.ViewAt(leg.board)),
                       S.rdate.ViewAt(leg.alight));
}

// The candidates, as CollectTransferStations makes them from full legs: stations in order of
// their first first leg; the second-leg figures are those of the last matching second leg,
// so they are worked out once per station.
void IndexedCandidates(const StopIndex& ix, const StopFields& S, TransferData& data,
                       const std::vector<std::uint32_t>& fromEnd,
                       const std::vector<std::uint32_t>& toEnd) {
    std::vector<TransferCandidate>& list = data.TransferList;
    std::vector<std::uint32_t> entryOf(ix.StationCount(), StopIndex::kNoStation);
    for (std::size_t i = 0; i < data.FromStops.size(); ++i) {
        const TransferData::StopPair& leg = data.FromStops[i];
        const std::uint32_t st = fromEnd[i];
        if (entryOf[st] != StopIndex::kNoStation) {
            ++list[entryOf[st]].Count1;
            continue;
        }
        entryOf[st] = static_cast<std::uint32_t>(list.size());
        TransferCandidate& z = list.emplace_back();
        z.Station.assign(S.station.ViewAt(leg.alight));
        z.Dist1 = LegDistance(S, leg);
        z.Time1 = LegTime(S, leg);
        z.Count1 = 1;
    }
    std::vector<const TransferData::StopPair*> lastSecond(list.size(), nullptr);
    for (std::size_t i = 0; i < data.ToStops.size(); ++i) {
        const std::uint32_t e = entryOf[toEnd[i]];
        if (e == StopIndex::kNoStation) continue;
        ++list[e].Count2;
        lastSecond[e] = &data.ToStops[i];
    }
    for (std::size_t e = 0; e < list.size(); ++e) {
        const TransferData::StopPair* leg = lastSecond[e];
        if (leg == nullptr) continue;
        TransferCandidate& z = list[e];
        z.Dist2 = LegDistance(S, *leg);
        z.DistAll = z.Dist1 + z.Dist2;
        z.Time2 = LegTime(S, *leg);
        z.TimeAll = MinutesToElapsed(ElapsedToMinutes(z.Time1) + ElapsedToMinutes(z.Time2));
    }
}

// The transfer query's legs from the stations' own stops, in the order of the two walks of
// the plain query, and the candidate stations from them.
bool IndexedTransfer(const StopIndex& ix, StoredTables& tables, MatchMode mode,
                     const StationSide& FromSide, const StationSide& ToSide, TransferData& data) {
    std::vector<std::uint32_t> departures;
    std::vector<std::uint32_t> arrivals;
    if (!StopsAt(ix, SideNames(FromSide, mode), departures) ||
        !StopsAt(ix, SideNames(ToSide, mode), arrivals)) {
        return false;
    }
    const std::vector<std::uint32_t> fromEnd = LegsLeaving(ix, departures, data.FromStops);
    const std::vector<std::uint32_t> toEnd = LegsReaching(ix, arrivals, data.ToStops);
    IndexedCandidates(ix, StopFields(tables.KMTrain), data, fromEnd, toEnd);
    return true;
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
    ResolveFromStation(tables.KMSM, fromText, MatchMode::Grouped, FromSide);
    ResolveToStation(tables.KMSM, toText, MatchMode::Grouped, ToSide);
    const MatchMode mode = ChooseExactMode(FromSide, ToSide);
    if (!Loaded(tables.KMTrain)) return;
    if (index && index->Covers(tables)) {
        if (IndexedTransfer(*index, tables, mode, FromSide, ToSide, data)) return;
        data.FromStops.clear();
        data.ToStops.clear();
        data.TransferList.clear();
    }

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
                ResultRow& leg = data.FromLegs.emplace_back();
                leg.TrainNo.assign(train);
                FillFromPart(leg, S, board);
                FillToPart(leg, S, T.CurrentRecord());
            } else if (StationMatches(S.station.View(), mode, QuerySide::From, FromSide, ToSide)) {
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
                ResultRow& leg = data.ToLegs.emplace_back();
                leg.TrainNo.assign(train);
                FillFromPart(leg, S, T.CurrentRecord());
                FillToPart(leg, S, alight);
            } else if (StationMatches(S.station.View(), mode, QuerySide::To, FromSide, ToSide)) {
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
    MemTable& KL = tables.KMList;
    KL.SetIndexName("SID");
    const TrainFields L(KL);

    // Copies a leg with its train's data; a leg whose train is not in the list is left out.
    auto add = [&](const ResultRow& leg) {
        if (!KL.Locate("ID", leg.TrainNo)) return false;
        ResultRow r = leg;
        FillTrainPartAt(r, L, KL.CurrentRecord());
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
    if (data.FromStops.empty() && data.ToStops.empty()) return;

    // Legs kept as stop pairs: each becomes the row its full leg would have given.
    if (!Loaded(tables.KMTrain)) return;
    const StopFields S(tables.KMTrain);
    auto addPair = [&](const TransferData::StopPair& pair) {
        ResultRow leg;
        leg.TrainNo.assign(S.id.ViewAt(pair.board));
        FillFromPart(leg, S, pair.board);
        FillToPart(leg, S, pair.alight);
        return add(leg);
    };
    taken = 0;
    for (const TransferData::StopPair& pair : data.FromStops) {
        if (taken >= count1) break;
        if (S.station.ViewAt(pair.alight) == station && addPair(pair)) ++taken;
    }
    taken = 0;
    for (const TransferData::StopPair& pair : data.ToStops) {
        if (taken >= count2) break;
        if (S.station.ViewAt(pair.board) == station && addPair(pair)) ++taken;
    }
}

}  // namespace korvel
