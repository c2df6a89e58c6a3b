// A GTFS feed as the builder's sources: its trips as trains that are never merged, the train
// types its routes name, its parent stations as same-city groups (unless the source folder
// gives the groups), its stop codes as pinyin initials, and what it said of the feed. Returns
// what the manifest takes from it (the streams have no place for them): the change minutes of
// its transfers.txt and the day it starts.
#pragma once

#include <optional>
#include <string>

#include "gtfs/gtfs.h"
#include "timetable/builder.h"

namespace korvel::timetable {

struct FeedChanges {
    std::optional<int> minTransfer, cityTransfer;
    std::string validFrom;  // YYYY-MM-DD, "" when the feed does not say
};
FeedChanges AddGtfsTrains(gtfs::GtfsTrains feed, Sources& sources, bool withSourceLists);

}  // namespace korvel::timetable
