// The texts of a result row, one formatter per column, applied only to what is shown,
// printed or exported. The rows themselves hold values (see query/grid_result.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "query/grid_result.h"

namespace korvel {

// The main grid's columns, left to right.
enum class MainColumn : int {
    TrainNumber = 0,  // 车 次
    Origin,           // 始发站
    Terminus,         // 终到站
    TrainType,        // 车型
    Boarding,         // 发站
    Departure,        // 发时
    Alighting,        // 到站
    Arrival,          // 到时
    Stops,            // 停站
    Distance,         // 里程
    RideTime,         // 历时
    HardSeat,         // 硬座
    SoftSeat,         // 软座
    HardSleeper,      // 硬卧上/中/下
    SoftSleeper,      // 软卧上/下
};
inline constexpr int kMainColumnCount = 15;

// A station's name; empty for none.
const std::string& StationText(const Timetable& tt, StationId s);
// A ride time in minutes as every grid, line and printout writes it: hours, then two-digit
// minutes ("0:15", "2:04", "29:08").
std::string RideTimeText(std::int32_t minutes);

// Column by column.
std::string TrainNumberText(const Timetable& tt, const ResultRow& r);
std::string DepartureText(const Timetable& tt, const ResultRow& r);
std::string ArrivalText(const Timetable& tt, const ResultRow& r);
std::string RowRideText(const Timetable& tt, const ResultRow& r);
// A fare class (0 hard seat .. 3 soft sleeper) as shown: "-" when the row has none.
std::string FareCellText(const Timetable& tt, const ResultRow& r, int fareClass);
// A fare that is no row's stored text (a journey's sum) as shown: "-" when there is none.
std::string FareText(const FareValue& fare);
// Tenths of a yuan as yuan: 3805 gives "380.5", 380 gives "38".
std::string YuanText(std::int64_t tenths);

// The text of one column of a row.
std::string MainCellText(const Timetable& tt, const ResultRow& r, MainColumn column);
// All fifteen, left to right.
std::array<std::string, kMainColumnCount> MainRowTexts(const Timetable& tt, const ResultRow& r);

}  // namespace korvel
