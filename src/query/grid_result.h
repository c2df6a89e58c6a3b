// One answer row of every query: a train between a boarding and an alighting stop, held as
// values (numbers of the typed timetable, minutes, km, tenths of a yuan) and never as text.
// The views turn a row into the texts they show, print or export, one column at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "timetable/timetable.h"

namespace korvel {

// One class of a row's fares: up to three values (berths) in tenths of a yuan. A class with
// no value has no fare, which is not the same as a fare of 0.
struct FareValue {
    std::uint8_t count = 0;
    std::array<std::int64_t, 3> tenths{};

    bool HasFare() const { return count > 0; }
    bool operator==(const FareValue&) const = default;
};

// Where a row's fares come from: worked out by the tariff over the row's span, or the stored
// fares of a stop or of a train-list row copied as they stand (they keep their exact text).
enum class FareSource : std::uint8_t { Computed, AlightingStop, TrainList };

struct ResultRow {
    std::uint32_t listRow = 0;  // the train's row in the train list (number, type, route)
    TrainId train;
    // The boarding and alighting stops; StopId::None() where the row takes the train list's
    // origin (boarding) or terminus (alighting) values instead of a stop's.
    StopId fromStop = StopId::None();
    StopId toStop = StopId::None();
    StationId fromStation = StationId::None();
    StationId toStation = StationId::None();
    std::int32_t fromStopNo = 0;
    std::int32_t toStopNo = 0;
    std::int16_t departure = ClockColumn::kNone;  // minutes since midnight at the boarding stop
    std::int16_t arrival = ClockColumn::kNone;    // minutes since midnight at the alighting stop
    std::int32_t fromKm = 0;
    std::int32_t toKm = 0;
    std::int32_t rideMinutes = 0;  // from the departure at the boarding stop to the arrival
    FareSource fareSource = FareSource::Computed;
    std::array<FareValue, 4> fares{};  // hard seat, soft seat, hard sleeper, soft sleeper

    std::int32_t StopCount() const { return toStopNo - fromStopNo; }
    std::int32_t SpanKm() const { return toKm - fromKm; }
    bool operator==(const ResultRow&) const = default;
};

// The rows of one query and the typed timetable their numbers refer to.
struct ResultList {
    std::shared_ptr<const Timetable> timetable;
    std::vector<ResultRow> rows;

    std::size_t size() const { return rows.size(); }
    bool empty() const { return rows.empty(); }
    const ResultRow& operator[](std::size_t i) const { return rows[i]; }
    ResultRow& operator[](std::size_t i) { return rows[i]; }
    auto begin() const { return rows.begin(); }
    auto end() const { return rows.end(); }
    void clear() {
        rows.clear();
        timetable.reset();
    }
};

// What the result list holds: nothing yet, station-to-station or transfer, train number,
// station timetable (0 to 3 where it is shown as a number).
enum class QueryKindValue : int { None = 0, Direct = 1, Train = 2, Station = 3 };

}  // namespace korvel
