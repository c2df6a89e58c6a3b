// What a feed says about itself as a whole, as the import reads it: facts the timetable has
// no place for (other time zones, frequencies) named in the notes, and the first day the
// timetable is valid.
#pragma once

#include "gtfs/gtfs.h"

namespace korvel::gtfs {

// Notes for agency_timezone other than China's and for rows of frequencies.txt.
void NoteFeedWide(const GtfsFeed& feed, GtfsTrains& out);

// feed_info.txt's feed_start_date as out.validFrom; a value that is no day is noted and left
// out.
void ReadFeedStart(const GtfsFeed& feed, GtfsTrains& out);

}  // namespace korvel::gtfs
