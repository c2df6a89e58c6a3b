// Where the stations are: longitude and latitude (WGS84 degrees) by station name, as the
// timetable builder writes them into COORDS.stream beside the four timetable streams. A
// timetable without that stream has no coordinates; every consumer then draws no map.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace korvel {

struct StationPoint {
    double lon = 0;
    double lat = 0;
    // Not observed: placed along the trains that serve the station, between its neighbours.
    bool estimated = false;
};

// GBK station name -> its position.
using StationCoords = std::unordered_map<std::string, StationPoint>;

// The stream for the given stations (GBK names), in the order given. Degrees are written
// with six decimals (about 0.1 m), enough for a map and stable from build to build.
std::string WriteCoordsStream(const std::vector<std::pair<std::string, StationPoint>>& stations);

// Degrees of longitude or latitude as the coordinate files write them: a decimal number at
// most `limit` (180 or 90) away from 0; nothing for any other text.
std::optional<double> DegreesWithin(std::string_view text, double limit);

// Reads a stream WriteCoordsStream wrote. Throws TableStreamError when it is not one, or when
// a row's degrees are unreadable or out of range.
StationCoords ReadCoordsStream(std::string_view stream);

}  // namespace korvel
