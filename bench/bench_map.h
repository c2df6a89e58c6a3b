#pragma once

#include <string>

#include "data/station_coords.h"

namespace korvel::bench {

struct DataSet;

// The station places beside the timetable measured; nullptr when it has none.
const StationCoords* MapCoords();
// The ID of the train numbered Z281 ("Z281/Z284"); empty when there is none.
std::string Z281(DataSet& d);

// Registers the Map/... benchmarks (the timetable as it is, 1x).
void RegisterMapBenchmarks();
// Registers Map/paint_... (QPainter into an image), in builds with the window.
void RegisterMapPaintBenchmarks();

}  // namespace korvel::bench
