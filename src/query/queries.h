// The four timetable queries over the memory tables: station to station, train number,
// station timetable and transfer. Each fills a ResultList; none shows anything.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/schema.h"
#include "query/grid_result.h"
#include "query/stations.h"
#include "query/stop_index.h"

namespace korvel {

// Every train that stops first at a departure-side station and later at an arrival-side
// station: one row per train in train-number order, boarding at the first departure-side
// stop and alighting at the last arrival-side stop after it. Resolves both sides (same-city
// groups, or exact names when both sides share a group or neither has one).
// With an index built from these tables the same rows come from the stations' own stops
// instead of a scan of the whole table.
void SearchDirectTrains(StoredTables& tables, std::string_view fromText, std::string_view toText,
                        StationSide& FromSide, StationSide& ToSide, ResultList& out,
                        const StopIndex* index = nullptr);

// Every train whose number equals the key, or whose first number (before "/") does: one row
// per train over its whole route with the stored whole-journey values. The key is trimmed
// and upper-cased.
// An index, when given, spares building the typed timetable for this query.
void QueryByTrainNumber(StoredTables& tables, std::string_view eccText, ResultList& out,
                        const StopIndex* index = nullptr);
// Stop number of the train's last stop; 1 when the train has no stops.
int FindLastStopNumber(const Timetable& tt, std::string_view trainNo);

// Every train calling at the station or its same-city group: one row per train, from the
// first matching stop to the terminus, or from the origin when the train ends there.
// An index, when given, gives the same rows faster.
void QueryStationTimetable(StoredTables& tables, std::string_view czText, StationSide& FromSide,
                           StationSide& ToSide, ResultList& out, const StopIndex* index = nullptr);

// Minutes riding from the departure at stop `board` to the arrival at stop `alight`.
std::int32_t RideMinutes(const Timetable& tt, StopId board, StopId alight);

// The row the direct query gives for a listed train boarded at stop `board` and left at the
// later stop `alight`, fares included (the journey planner shows its legs as these rows).
ResultRow RowBetween(const Timetable& tt, TrainId train, StopId board, StopId alight);

// One candidate transfer station.
struct TransferCandidate {
    StationId station = StationId::None();
    std::int32_t Dist1 = 0;    // km of the representative first leg
    std::int32_t Dist2 = 0;    // km of the representative second leg
    std::int32_t DistAll = 0;  // Dist1 + Dist2
    std::int32_t Time1 = 0;    // riding minutes of the first leg
    std::int32_t Time2 = 0;    // riding minutes of the second leg (when Count2 > 0)
    std::int32_t Count1 = 0;   // first legs reaching the station
    std::int32_t Count2 = 0;   // second legs leaving it for the arrival side

    // Time1 + Time2; only meaningful when the station has a second leg.
    std::int32_t TimeAll() const { return Time1 + Time2; }
};

// The working lists of one transfer query.
struct TransferData {
    // The legs as pairs of stops of the typed timetable: a full row per leg costs more than
    // the whole rest of the query.
    struct StopPair {
        std::uint32_t board = 0;   // StopId of the boarding stop
        std::uint32_t alight = 0;  // StopId of the alighting stop
    };
    std::vector<StopPair> FromStops;  // (train, later stop) legs leaving the departure side
    std::vector<StopPair> ToStops;    // (earlier stop, train) legs reaching the arrival side
    std::vector<TransferCandidate> TransferList;
    // The typed timetable the query read, which the stop pairs number the stops of.
    std::shared_ptr<const Timetable> timetable;
};

// Resolves both sides, collects both leg lists and the candidate stations. With an index
// built from these tables the legs come from the stations' own stops instead of a walk of
// every train; the legs, the candidates and the legs ShowTransferLegs gives are the same.
void TransferQuery(StoredTables& tables, std::string_view fromText, std::string_view toText,
                   StationSide& FromSide, StationSide& ToSide, TransferData& data,
                   const StopIndex* index = nullptr);
// The candidates the transfer window offers: Count2 > 0 and neither typed name, in list
// order.
std::vector<TransferCandidate> TransferCandidates(const TransferData& data,
                                                  const StationSide& FromSide,
                                                  const StationSide& ToSide);
// The legs through a picked station: first legs (departure side to the station) in FromStops
// order, then second legs in ToStops order, at most count1 and count2 of them. Sets
// TransferStation to the station.
void ShowTransferLegs(StoredTables& tables, const TransferData& data, std::string_view station,
                      int count1, int count2, ResultList& out, std::string& TransferStation);

}  // namespace korvel
