#include "gtfs/import_feed_wide.h"

#include <set>

#include "gtfs/csv.h"

namespace korvel::gtfs {

// Feed-wide facts the timetable has no place for.
void NoteFeedWide(const GtfsFeed& feed, GtfsTrains& out) {
    const CsvTable agency = ReadCsvTable(feed, "agency.txt", false);
    if (agency.Present()) {
        const int zone = agency.Column("agency_timezone", false);
        std::set<std::string> zones;
        for (const auto& [line, row] : agency.rows) {
            const std::string z = CsvTable::Value(row, zone);
            if (!z.empty() && z != "Asia/Shanghai" && zones.insert(z).second) {
                out.notes.push_back("agency_timezone " + z +
                                    ": times taken as the feed gives them, the timetable has no "
                                    "time zones");
            }
        }
    }
    const CsvTable frequencies = ReadCsvTable(feed, "frequencies.txt", false);
    if (!frequencies.rows.empty()) {
        out.notes.push_back(
            std::to_string(frequencies.rows.size()) +
            " rows of frequencies.txt ignored: each trip taken once, at its stop times");
    }
}

// The day the feed starts, for the timetable's first valid day; a value that is no day is
// said and left out.
void ReadFeedStart(const GtfsFeed& feed, GtfsTrains& out) {
    const CsvTable info = ReadCsvTable(feed, "feed_info.txt", false);
    if (info.rows.empty()) return;
    const auto& [line, row] = info.rows.front();
    const std::string day = CsvTable::Value(row, info.Column("feed_start_date", false));
    if (day.empty()) return;
    const bool digits = day.size() == 8 && day.find_first_not_of("0123456789") == std::string::npos;
    const std::string iso =
        digits ? day.substr(0, 4) + "-" + day.substr(4, 2) + "-" + day.substr(6, 2) : "";
    // A timetable's first day is after 1900, as its manifest holds it.
    if (!digits || day.compare(0, 4, "1900") < 0 || !FeedDatesFrom(iso)) {
        out.notes.push_back(info.Where(line) + "feed_start_date " + day +
                            " is not a day (YYYYMMDD): ignored");
        return;
    }
    out.validFrom = iso;
}

}  // namespace korvel::gtfs
