// The timetable as a GTFS feed, and back: what transit planners exchange.
//
// Export: one route and one trip per train (the train number as route, trip and short
// name, the train type's name as route_desc), its stops with times past 24:00 on later days
// and the distance in km as shape_dist_traveled, a calendar running every day, and a
// feed_info naming the timetable. Import: the trains of such a feed as source trains for the
// builder, each trip one train, the type taken back from route_desc.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/schema.h"

namespace korvel::gtfs {

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

// File name ("stops.txt") -> UTF-8 text, RFC 4180 (quoted where needed, CR LF line ends).
using GtfsFeed = std::map<std::string, std::string>;

struct GtfsFeedInfo {
    std::string publisherName = "Korvel时刻";
    std::string publisherUrl;
    std::string version;  // what the feed holds, e.g. "2019 timetable from public sources"
    std::string startDate = "20190101", endDate = "20191231";  // calendar, YYYYMMDD
};

// Every train of the loaded tables (KMList in SID order, KMTrain in SIDNo order).
GtfsFeed ExportGtfs(Timetable& tables, const GtfsFeedInfo& info);

// A feed that cannot be read: the message names the file and line.
class GtfsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct GtfsTrains {
    std::vector<GtfsTrain> trains;      // in trips.txt order
    std::map<std::string, int> types;  // train number -> NType, where route_desc names one
};
// Reads stops.txt, routes.txt (optional), trips.txt and stop_times.txt. Throws GtfsError.
GtfsTrains ReadGtfs(const GtfsFeed& feed);

// "HH:MM:SS" with hours past 24 for later days, from absolute minutes.
std::string GtfsTime(int minutes);
// One CSV line (RFC 4180) split into values; `complete` false when a quote is left open.
std::vector<std::string> SplitCsvLine(const std::string& line, bool* complete = nullptr);

}  // namespace korvel::gtfs
