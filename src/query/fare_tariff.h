// The fare tariff: journey-time, distance and fare arithmetic shared by the queries, the train
// detail window and the timetable builder.
//
// Fares between two stops are copied from the timetable when the passenger boards at the
// origin; otherwise they are estimated with a distance-band tariff scaled by a premium factor
// inferred from the train's stored whole-journey fare. Numbers are read and written with "."
// whatever the locale.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "query/grid_result.h"

namespace korvel {

// The fare arithmetic's input in text form, as the stored tables write fares ("38",
// "38/41/43", "-", ""), one per class (hard seat, soft seat, hard sleeper, soft sleeper):
// the journey planner's legs and the tests use it. `fares` is the answer.
struct FareRequest {
    std::string trainNumber;
    std::int32_t trainType = 0;
    std::string origin;
    std::int32_t trainKm = 0;
    std::array<std::string, 4> trainFares;  // the whole run's, from the train list
    std::string boardStation;
    std::int32_t boardStopNo = 0;
    std::int32_t boardKm = 0;
    std::array<std::string, 4> boardFares;  // stored at the boarding stop
    std::string alightStation;
    std::int32_t alightStopNo = 0;
    std::int32_t alightKm = 0;
    std::array<std::string, 4> alightFares;  // stored at the alighting stop
    std::int32_t spanKm = 0;
    std::array<std::string, 4> fares;
};

// One stored fare as the arithmetic reads it: whether it is empty or "-", the whole text as
// a number and its "/"-separated parts 1..3 as PriceValue reads them (0 where unreadable).
struct FareReading {
    bool empty = true;
    bool notOffered = false;
    double whole = 0.0;
    std::array<double, 3> parts{};
};
FareReading ReadFare(std::string_view text);
// The same from a typed fare column, without building the text (but for a text the column
// keeps as it was).
FareReading ReadFare(const FareColumn& column, std::uint32_t row);

// What the tariff needs of a train and a span, all as numbers.
struct SpanFareInputs {
    char prefix = '\0';  // first character of the train number, upper-cased
    bool g100 = false;   // the number begins with "G100"
    std::int32_t nType = 0;
    std::int32_t trainKm = 0;
    std::int32_t spanKm = 0;
    std::array<FareReading, 4> train;  // whole-journey fares, hard seat .. soft sleeper
    std::array<FareReading, 4> from;   // stored fares at the boarding stop
    std::array<FareReading, 4> to;     // stored fares at the alighting stop
};
// The estimated fares of a span (EMU or conventional by the train type); a class without a
// value has no fare.
std::array<FareValue, 4> SpanFareValues(const SpanFareInputs& in);
// A fare as the grids write it: its values in yuan joined by "/" ("38", "35.5", "280/291/303");
// empty when it has none.
std::string FareValueText(const FareValue& fare);
// The fare of a stored fare column's row as a value (none when empty, "-" or not readable).
FareValue StoredFareValue(const FareColumn& column, std::uint32_t row);

// One row of the distance-band table: km lower..upper cut into `Count` sub-intervals of
// `Step` km; sub-interval j runs from Lower + j*Step to Lower + (j+1)*Step - 1.
struct DistanceBand {
    std::int32_t Lower = 0;
    std::int32_t Upper = 0;
    std::int32_t Step = 0;
    std::int32_t Count = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> Intervals;  // (first km, last km)
};

// One row of the rate table: yuan per km charged for the km from Lower to Upper.
struct RateBand {
    std::int32_t Lower = 0;
    std::int32_t Upper = 0;
    double Rate = 0.0;
};

// The two tariff tables, built once on first use and read-only afterwards.
const std::vector<DistanceBand>& DistanceBands();
const std::vector<RateBand>& RateBands();

// Journey time between two run-time texts ("0", "18", "2:9", "37:43"): "0" when the texts
// are equal, otherwise zero-padded hours and minutes ("04:55", "35:34").
std::string ElapsedText(std::string_view from, std::string_view to);

// The run-time text at the departure from a stop: its run time (which counts to the
// arrival) plus the dwell, D_Time - A_Time over midnight. The run time as it is where the
// stop has no dwell or either time is not "HH:MM" (the origin, a stop without a time).
// A section's journey time counts from here, not from the arrival at the boarding stop.
std::string DepartureRunTime(std::string_view runTime, std::string_view aTime,
                             std::string_view dTime);

// Rounds half away from the truncation: 2.5 gives 3, 2.4999 gives 2.
std::int32_t RoundHalfUp(double x);

// Base fare of a distance: the distance is moved to the centre of its band sub-interval,
// raised to at least 20 km and charged by the rate bands. `adjusted` (optional) receives the
// distance actually charged.
double BaseFare(int distanceKm, int* adjusted = nullptr);

// A decimal number with "." as separator; anything else (including "-" and "") is 0.
double FareNumber(std::string_view text);

// One value of a fare text: part 0 the whole text, 1..3 the "/"-separated values
// ("38/41/43" gives 38, 41, 43; "54/58" gives 54, 58, 58). Anything unreadable is 0.
double PriceValue(std::string_view text, int part);

// 2 % of a base fare, rounded up to the next tenth of a yuan.
double TwoPercentPart(double base);

// Shortest decimal text of a value (at most 15 significant digits, "." separator):
// 36 gives "36", 35.5 gives "35.5".
std::string DecimalText(double value);

// Writes `fares` of a row whose other fields are filled: a copy of the stored fares
// when boarding at the origin, otherwise EmuFares or ConventionalFares.
void FillFares(FareRequest& row);
// Fares of an EMU train (types 1..3). Never writes the hard sleeper's.
void EmuFares(FareRequest& row);
// Fares of a conventional train (types 4..14) by the tariff model.
void ConventionalFares(FareRequest& row);

// What the whole-journey fare tells about a conventional train: its premium factor and
// whether its fare includes the air-conditioning (25 %) part.
struct TrainPremium {
    double factor = 1.0;
    bool withAirConditioning = false;
};
// Nothing when the train has no reference fare above 0 (then no fare can be estimated).
std::optional<TrainPremium> ConventionalPremium(int nType, int trainDistanceKm, std::string_view p1,
                                                std::string_view p2, std::string_view p3,
                                                std::string_view p4);
std::optional<TrainPremium> ConventionalPremium(int nType, int trainDistanceKm,
                                                const std::array<FareReading, 4>& trainFares);

// Tariff fares of a conventional train over a span, unrounded where the tariff leaves
// halves: hard seat, soft seat, hard sleeper upper/middle/lower, soft sleeper upper/lower.
struct SpanFares {
    double hardSeat = 0.0;
    double softSeat = 0.0;
    double hardSleeper[3] = {0.0, 0.0, 0.0};
    double softSleeper[2] = {0.0, 0.0};
};
SpanFares ConventionalSpanFares(int nType, int spanKm, double factor, bool withAirConditioning);

// Run-time text to minutes: "05:30" 330, "18" 18, "2:9" 129; unreadable parts count 0.
int ElapsedToMinutes(std::string_view text);
// Minutes to unpadded hours and minutes: 125 gives "2:5", 600 "10:0", 0 "0:0".
std::string MinutesToElapsed(int minutes);

}  // namespace korvel
