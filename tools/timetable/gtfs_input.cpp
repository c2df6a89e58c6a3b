#include "timetable/gtfs_input.h"

#include <cstdio>
#include <utility>

namespace korvel::timetable {

FeedChanges AddGtfsTrains(gtfs::GtfsTrains feed, Sources& sources, bool withSourceLists) {
    std::vector<SourceTrain> trains;
    trains.reserve(feed.trains.size());
    for (gtfs::GtfsTrain& t : feed.trains) {
        SourceTrain train{std::move(t.number), {}};
        train.stops.reserve(t.stops.size());
        for (gtfs::GtfsStop& s : t.stops) {
            train.stops.push_back({std::move(s.station), s.arrival, s.departure, s.day, s.km});
        }
        trains.push_back(std::move(train));
    }
    sources.trains = std::move(trains);
    sources.types = std::move(feed.types);
    sources.codes = std::move(feed.codes);
    // Groups from the source folder replace the feed's, as its station lists come first.
    if (!withSourceLists) sources.groupLists = std::move(feed.groups);
    sources.notes = std::move(feed.notes);
    // The feed's stop_lat/stop_lon, as the coordinates source the builder joins by name.
    if (!feed.places.empty()) {
        std::string csv = "station_name,lon,lat\n";
        for (const auto& [name, p] : feed.places) {
            char degrees[64];
            std::snprintf(degrees, sizeof degrees, ",%.7f,%.7f\n", p.lon, p.lat);
            csv += name + degrees;
        }
        sources.coordinatesCsv = std::move(csv);
    }
    if (feed.minTransfer || feed.cityTransfer) {
        auto text = [](const std::optional<int>& m) {
            return m ? std::to_string(*m) + " min" : std::string("not given");
        };
        sources.notes.push_back("changes in the feed: at one station " + text(feed.minTransfer) +
                                ", between stations of one city " + text(feed.cityTransfer) +
                                " (the planner's defaults for this timetable)");
    }
    return {feed.minTransfer, feed.cityTransfer, std::move(feed.validFrom)};
}

}  // namespace korvel::timetable
