// One answer row of every query: a train between a boarding and an alighting stop.
// Texts are GBK bytes; a new row has every text empty and every integer 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvel {

struct ResultRow {
    std::string TrainNo;
    std::int32_t NType = 0;
    std::string TypeName;
    std::string StartStation;
    std::string EndStation;
    std::string TrainRDate;
    std::int32_t TrainDistance = 0;
    std::string TrainP1;
    std::string TrainP2;
    std::string TrainP3;
    std::string TrainP4;
    // Boarding part: station, stop number, distance, fares, time, run time.
    std::string FromStation;
    std::int32_t FromSNo = 0;
    std::int32_t FromDistance = 0;
    std::string FromP1;
    std::string FromP2;
    std::string FromP3;
    std::string FromP4;
    std::string FromDTime;
    std::string FromRDate;  // at the departure: the stop's run time plus its dwell
    // Alighting part: station, stop number, time, run time, distance, fares.
    std::string ToStation;
    std::int32_t ToSNo = 0;
    std::string ToATime;
    std::string ToRDate;
    std::int32_t ToDistance = 0;
    std::string ToP1;
    std::string ToP2;
    std::string ToP3;
    std::string ToP4;
    std::int32_t StopCount = 0;
    std::int32_t SpanKm = 0;
    std::string SpanTime;
    std::string Fare1;
    std::string Fare2;
    std::string Fare3;
    std::string Fare4;
};

using ResultList = std::vector<ResultRow>;

// What the result list holds: nothing yet, station-to-station or transfer, train number,
// station timetable (0 to 3 where it is shown as a number).
enum class QueryKindValue : int { None = 0, Direct = 1, Train = 2, Station = 3 };

}  // namespace korvel
