// A GTFS feed as the builder's sources: its trips as trains that are never merged, the train
// types its routes name, its parent stations as same-city groups (unless the source folder
// gives the groups), its stop codes as pinyin initials, and what it said of the feed.
#pragma once

#include "gtfs/gtfs.h"
#include "timetable/builder.h"

namespace korvel::timetable {

void AddGtfsTrains(gtfs::GtfsTrains feed, Sources& sources, bool withSourceLists);

}  // namespace korvel::timetable
