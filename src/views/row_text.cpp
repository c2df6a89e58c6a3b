#include "views/row_text.h"

#include "data/schema.h"
#include "journey/journey_text.h"
#include "query/fare_tariff.h"

namespace korvel {

const std::string& StationText(const Timetable& tt, StationId s) {
    static const std::string kNone;
    return s.IsNone() ? kNone : tt.Name(s);
}

std::string RideTimeText(std::int32_t minutes) {
    return JourneyDurationText(minutes);
}

std::string TrainNumberText(const Timetable& tt, const ResultRow& r) {
    return tt.Number(r.train);
}

std::string DepartureText(const Timetable& tt, const ResultRow& r) {
    if (r.fromStop.IsNone()) return tt.TrainDepartures().Text(r.listRow);
    return tt.Departures().Text(r.fromStop.Value());
}

std::string ArrivalText(const Timetable& tt, const ResultRow& r) {
    if (r.toStop.IsNone()) return tt.TrainArrivals().Text(r.listRow);
    return tt.Arrivals().Text(r.toStop.Value());
}

std::string RowRideText(const Timetable&, const ResultRow& r) {
    return RideTimeText(r.rideMinutes);
}

std::string FareCellText(const Timetable& tt, const ResultRow& r, int fareClass) {
    std::string text;
    switch (r.fareSource) {
        case FareSource::AlightingStop:
            text = tt.StopFares().classes[fareClass].Text(r.toStop.Value());
            break;
        case FareSource::TrainList:
            text = tt.TrainFares().classes[fareClass].Text(r.listRow);
            break;
        case FareSource::Computed:
            text = FareValueText(r.fares[fareClass]);
            break;
    }
    if (text.empty()) return "-";
    return text;
}

std::string FareText(const FareValue& fare) {
    return fare.HasFare() ? FareValueText(fare) : "-";
}

std::string YuanText(std::int64_t tenths) {
    return FareValueText(FareValue{1, {tenths}});
}

std::string MainCellText(const Timetable& tt, const ResultRow& r, MainColumn column) {
    switch (column) {
        case MainColumn::TrainNumber:
            return TrainNumberText(tt, r);
        case MainColumn::Origin:
            return StationText(tt, tt.RowOrigin(r.listRow));
        case MainColumn::Terminus:
            return StationText(tt, tt.RowTerminus(r.listRow));
        case MainColumn::TrainType:
            return TrainTypeName(tt.RowType(r.listRow));
        case MainColumn::Boarding:
            return StationText(tt, r.fromStation);
        case MainColumn::Departure:
            return DepartureText(tt, r);
        case MainColumn::Alighting:
            return StationText(tt, r.toStation);
        case MainColumn::Arrival:
            return ArrivalText(tt, r);
        case MainColumn::Stops:
            return std::to_string(r.StopCount());
        case MainColumn::Distance:
            return std::to_string(r.SpanKm());
        case MainColumn::RideTime:
            return RowRideText(tt, r);
        case MainColumn::HardSeat:
        case MainColumn::SoftSeat:
        case MainColumn::HardSleeper:
        case MainColumn::SoftSleeper:
            return FareCellText(tt, r,
                                static_cast<int>(column) - static_cast<int>(MainColumn::HardSeat));
    }
    return {};
}

std::array<std::string, kMainColumnCount> MainRowTexts(const Timetable& tt, const ResultRow& r) {
    std::array<std::string, kMainColumnCount> out;
    for (int c = 0; c < kMainColumnCount; ++c) out[c] = MainCellText(tt, r, MainColumn(c));
    return out;
}

}  // namespace korvel
