// The timetable as a GTFS feed, and back: what transit planners exchange.
//
// Export: one route and one trip per train (the train number as route, trip and short
// name, the train type's name as route_desc), its stops with times past 24:00 on later days
// and the distance in km as shape_dist_traveled (left empty where it would not increase), a
// calendar running every day over the timetable's year, each same-city group as a station
// (location_type 1) over its stations, and the planner's change rules as transfers.txt.
//
// Import: the trains of a feed as source trains for the builder, each trip one train, the
// type taken back from route_desc, groups from parent stations, codes from stop_code, change
// minutes from transfers.txt. A trip without shape_dist_traveled takes its distances from
// its stops' coordinates, along straight lines between them. Of two trips with one number
// the first in trips.txt is kept. What the timetable cannot hold is left out and said so by
// name in `notes`, or the feed is refused (GtfsError naming file, line and field).
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/publisher.h"
#include "data/schema.h"
#include "data/station_coords.h"

namespace korvel {
class Timetable;
}  // namespace korvel

namespace korvel::gtfs {

// File name ("stops.txt") -> UTF-8 text, RFC 4180 (quoted where needed, CR LF line ends).
using GtfsFeed = std::map<std::string, std::string>;

struct GtfsFeedInfo {
    std::string publisherName = "Korvel时刻";
    std::string publisherUrl = std::string(kPublisherHomeUrl);  // required by the reference
    std::string version;  // what the feed holds, e.g. "2019 timetable from public sources"
    std::string startDate = "20190101", endDate = "20191231";  // calendar, YYYYMMDD
    int minTransfer = 30;    // minutes for a change at one station
    int cityTransfer = 120;  // minutes for a change between stations of one group
    // The stations' places (GBK names), or null: stops.txt then has no stop_lat/stop_lon.
    // With them, attributions.txt names OpenStreetMap, where they come from.
    const StationCoords* coords = nullptr;
};

// The calendar of a timetable valid from `validFrom` (YYYY-MM-DD): that day and one year
// on (the day before the same date a year later). Nothing when the date is not a real one.
struct FeedDates {
    std::string start, end;  // YYYYMMDD
};
std::optional<FeedDates> FeedDatesFrom(const std::string& validFrom);

// Every train of the timetable: its train-list rows in number order, each train's stops in
// stop order.
GtfsFeed ExportGtfs(const Timetable& tt, const GtfsFeedInfo& info);
// The same from the loaded tables, through a typed timetable built from them.
GtfsFeed ExportGtfs(StoredTables& tables, const GtfsFeedInfo& info);

// A feed that cannot be read: the message names the file and line.
class GtfsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One call of a trip as the timetable builder takes it. Clock times are minutes after
// midnight, -1 when absent.
struct GtfsStop {
    std::string station;  // UTF-8
    int arrival = -1;
    int departure = -1;
    int day = 1;  // day of the journey on which the train arrives here (1 = origin's day)
    int km = -1;  // -1 unknown
};

struct GtfsTrain {
    std::string number;
    std::vector<GtfsStop> stops;
};

struct GtfsTrains {
    std::vector<GtfsTrain> trains;     // in trips.txt order
    std::map<std::string, int> types;  // train number -> NType, where route_desc names one
    // Stations of each parent station with at least two, UTF-8 names in stops.txt order.
    std::vector<std::vector<std::string>> groups;
    std::map<std::string, std::string> codes;  // UTF-8 name -> pinyin initials (stop_code)
    // UTF-8 name -> its place, from stop_lat/stop_lon where a stop gives both and they are
    // real degrees (stations' places, location_type 1, are not kept).
    std::map<std::string, StationPoint> places;
    // The most common min_transfer_time of transfers.txt (type 2), in whole minutes: within
    // one stop, and between stations of one parent station.
    std::optional<int> minTransfer, cityTransfer;
    // feed_info.txt's feed_start_date as YYYY-MM-DD, the first day the timetable is valid; ""
    // when the feed does not give a real day.
    std::string validFrom;
    // What was left out or taken otherwise than the feed says, one sentence each, by name.
    std::vector<std::string> notes;
    // What the feed held before anything was left out: rows of stops.txt, trips.txt and
    // stop_times.txt.
    std::size_t stopRows = 0, tripRows = 0, stopTimeRows = 0;
};
// Reads stops.txt, routes.txt, trips.txt, stop_times.txt and, when present, calendar.txt,
// calendar_dates.txt, frequencies.txt, agency.txt, transfers.txt and feed_info.txt. Throws
// GtfsError.
GtfsTrains ReadGtfs(const GtfsFeed& feed);

// The latest time a stop may have: later hours are refused (a stream holds days, not years).
inline constexpr int kMaxGtfsHours = 240;
// The longest distance from the origin a stop may have, in km.
inline constexpr double kMaxGtfsKm = 100000;

// "HH:MM:SS" with hours past 24 for later days, from absolute minutes.
std::string GtfsTime(int minutes);

}  // namespace korvel::gtfs
