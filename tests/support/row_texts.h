// A typed result row spelled out as text, field by field, for tests that check what a query
// found: the views' own formatters where the grid shows a column, the stored texts otherwise.
// Fares are as the row holds them (empty for none, where the grid shows "-").
#pragma once

#include <cstddef>
#include <string>

#include "data/schema.h"
#include "query/fare_tariff.h"
#include "query/grid_result.h"
#include "views/row_text.h"

namespace korvel::test {

struct RowTexts {
    std::string TrainNo, TypeName, StartStation, EndStation;
    int NType = 0, TrainDistance = 0;
    std::string FromStation, FromDTime, FromRDate, FromP1, FromP2, FromP3, FromP4;
    int FromSNo = 0, FromDistance = 0;
    std::string ToStation, ToATime, ToRDate, ToP1, ToP2, ToP3, ToP4;
    int ToSNo = 0, ToDistance = 0;
    int StopCount = 0, SpanKm = 0;
    std::string SpanTime, Fare1, Fare2, Fare3, Fare4;
};

inline RowTexts Texts(const Timetable& tt, const ResultRow& r) {
    RowTexts t;
    t.TrainNo = TrainNumberText(tt, r);
    t.NType = tt.RowType(r.listRow);
    t.TypeName = TrainTypeName(t.NType);
    t.StartStation = StationText(tt, tt.RowOrigin(r.listRow));
    t.EndStation = StationText(tt, tt.RowTerminus(r.listRow));
    t.TrainDistance = tt.RowDistance(r.listRow);
    t.FromStation = StationText(tt, r.fromStation);
    t.FromSNo = r.fromStopNo;
    t.FromDistance = r.fromKm;
    t.FromDTime = DepartureText(tt, r);
    const Fares& stop = tt.StopFares();
    std::string* fromP[4] = {&t.FromP1, &t.FromP2, &t.FromP3, &t.FromP4};
    std::string* toP[4] = {&t.ToP1, &t.ToP2, &t.ToP3, &t.ToP4};
    if (r.fromStop.IsNone()) {
        t.FromRDate = "0";
    } else {
        const std::uint32_t i = r.fromStop.Value();
        t.FromRDate =
            DepartureRunTime(tt.RunTimes().Text(i), tt.Arrivals().Text(i), tt.Departures().Text(i));
        for (int c = 0; c < 4; ++c) *fromP[c] = stop.classes[c].Text(i);
    }
    t.ToStation = StationText(tt, r.toStation);
    t.ToSNo = r.toStopNo;
    t.ToDistance = r.toKm;
    t.ToATime = ArrivalText(tt, r);
    if (r.toStop.IsNone()) {
        t.ToRDate = tt.TrainRunTimes().Text(r.listRow);
        for (int c = 0; c < 4; ++c) *toP[c] = tt.TrainFares().classes[c].Text(r.listRow);
    } else {
        t.ToRDate = tt.RunTimes().Text(r.toStop.Value());
        for (int c = 0; c < 4; ++c) *toP[c] = stop.classes[c].Text(r.toStop.Value());
    }
    t.StopCount = r.StopCount();
    t.SpanKm = r.SpanKm();
    t.SpanTime = RowRideText(tt, r);
    std::string* fare[4] = {&t.Fare1, &t.Fare2, &t.Fare3, &t.Fare4};
    for (int c = 0; c < 4; ++c) {
        switch (r.fareSource) {
            case FareSource::AlightingStop:
                *fare[c] = stop.classes[c].Text(r.toStop.Value());
                break;
            case FareSource::TrainList:
                *fare[c] = tt.TrainFares().classes[c].Text(r.listRow);
                break;
            case FareSource::Computed:
                *fare[c] = FareValueText(r.fares[c]);
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
             {&r.TrainNo,   &r.TypeName,  &r.StartStation, &r.EndStation, &r.FromStation,
              &r.FromP1,    &r.FromP2,    &r.FromP3,       &r.FromP4,     &r.FromDTime,
              &r.FromRDate, &r.ToStation, &r.ToATime,      &r.ToRDate,    &r.ToP1,
              &r.ToP2,      &r.ToP3,      &r.ToP4,         &r.SpanTime,   &r.Fare1,
              &r.Fare2,     &r.Fare3,     &r.Fare4}) {
            s += *f + "|";
        }
        for (int v : {r.NType, r.TrainDistance, r.FromSNo, r.FromDistance, r.ToSNo, r.ToDistance,
                      r.StopCount, r.SpanKm}) {
            s += std::to_string(v) + "|";
        }
        s += "\n";
    }
    return s;
}

}  // namespace korvel::test
