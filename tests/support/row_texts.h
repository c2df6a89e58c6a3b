// A typed result row spelled out as text, field by field, for tests that check what a query
// found: the views' own formatters where the grid shows a column, the stored texts otherwise.
// Fares are as the row holds them (empty for none, where the grid shows "-").
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "data/schema.h"
#include "query/fare_tariff.h"
#include "query/grid_result.h"
#include "views/row_text.h"

namespace korvel::test {

struct RowTexts {
    std::string trainNumber, typeName, origin, terminus;
    int trainType = 0, trainKm = 0;
    std::string boardStation, boardDeparture, boardRunTime;
    std::array<std::string, 4> boardFares;
    int boardStopNo = 0, boardKm = 0;
    std::string alightStation, alightArrival, alightRunTime;
    std::array<std::string, 4> alightFares;
    int alightStopNo = 0, alightKm = 0;
    int stopCount = 0, spanKm = 0;
    std::string rideTime;
    std::array<std::string, 4> fares;
};

inline RowTexts Texts(const Timetable& tt, const ResultRow& r) {
    RowTexts t;
    t.trainNumber = TrainNumberText(tt, r);
    t.trainType = tt.RowType(r.listRow);
    t.typeName = TrainTypeName(t.trainType);
    t.origin = StationText(tt, tt.RowOrigin(r.listRow));
    t.terminus = StationText(tt, tt.RowTerminus(r.listRow));
    t.trainKm = tt.RowDistance(r.listRow);
    t.boardStation = StationText(tt, r.fromStation);
    t.boardStopNo = r.fromStopNo;
    t.boardKm = r.fromKm;
    t.boardDeparture = DepartureText(tt, r);
    const Fares& stop = tt.StopFares();
    if (r.fromStop.IsNone()) {
        t.boardRunTime = "0";
    } else {
        const std::uint32_t i = r.fromStop.Value();
        t.boardRunTime =
            DepartureRunTime(tt.RunTimes().Text(i), tt.Arrivals().Text(i), tt.Departures().Text(i));
        for (int c = 0; c < 4; ++c) t.boardFares[c] = stop.classes[c].Text(i);
    }
    t.alightStation = StationText(tt, r.toStation);
    t.alightStopNo = r.toStopNo;
    t.alightKm = r.toKm;
    t.alightArrival = ArrivalText(tt, r);
    if (r.toStop.IsNone()) {
        t.alightRunTime = tt.TrainRunTimes().Text(r.listRow);
        for (int c = 0; c < 4; ++c) t.alightFares[c] = tt.TrainFares().classes[c].Text(r.listRow);
    } else {
        t.alightRunTime = tt.RunTimes().Text(r.toStop.Value());
        for (int c = 0; c < 4; ++c) t.alightFares[c] = stop.classes[c].Text(r.toStop.Value());
    }
    t.stopCount = r.StopCount();
    t.spanKm = r.SpanKm();
    t.rideTime = RowRideText(tt, r);
    for (int c = 0; c < 4; ++c) {
        switch (r.fareSource) {
            case FareSource::AlightingStop:
                t.fares[c] = stop.classes[c].Text(r.toStop.Value());
                break;
            case FareSource::TrainList:
                t.fares[c] = tt.TrainFares().classes[c].Text(r.listRow);
                break;
            case FareSource::Computed:
                t.fares[c] = FareValueText(r.fares[c]);
                break;
        }
    }
    return t;
}

inline RowTexts Texts(const ResultList& list, std::size_t i) {
    return Texts(*list.timetable, list[i]);
}

// Every field of every row, one line per row.
inline std::string DumpRows(const ResultList& rows) {
    std::string s;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RowTexts r = Texts(rows, i);
        for (const std::string* f :
             {&r.trainNumber,    &r.typeName,       &r.origin,         &r.terminus,
              &r.boardStation,   &r.boardFares[0],  &r.boardFares[1],  &r.boardFares[2],
              &r.boardFares[3],  &r.boardDeparture, &r.boardRunTime,   &r.alightStation,
              &r.alightArrival,  &r.alightRunTime,  &r.alightFares[0], &r.alightFares[1],
              &r.alightFares[2], &r.alightFares[3], &r.rideTime,       &r.fares[0],
              &r.fares[1],       &r.fares[2],       &r.fares[3]}) {
            s += *f + "|";
        }
        for (int v : {r.trainType, r.trainKm, r.boardStopNo, r.boardKm, r.alightStopNo, r.alightKm,
                      r.stopCount, r.spanKm}) {
            s += std::to_string(v) + "|";
        }
        s += "\n";
    }
    return s;
}

}  // namespace korvel::test
