// A GTFS feed as the builder's sources: its trips as trains that are never merged, the train
// types its routes name.
#pragma once

#include "gtfs/gtfs.h"
#include "timetable/builder.h"

namespace korvel::timetable {

void AddGtfsTrains(gtfs::GtfsTrains feed, Sources& sources);

}  // namespace korvel::timetable
