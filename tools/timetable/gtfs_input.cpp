#include "timetable/gtfs_input.h"

#include <cstdio>
#include <iterator>
#include <utility>

namespace korvel::timetable {

namespace {

// What was read and what the builder takes otherwise than the feed says: its fares, and the
// types of the trains whose route names none.
std::vector<std::string> FeedNotes(gtfs::GtfsTrains& feed) {
    std::size_t stopTimes = 0;
    std::vector<std::string> typedByNumber;
    for (const gtfs::GtfsTrain& t : feed.trains) {
        stopTimes += t.stops.size();
        if (!feed.types.count(t.number)) typedByNumber.push_back(t.number);
    }
    std::vector<std::string> notes = {
        "read from the feed: " + std::to_string(feed.stopRows) + " rows of stops.txt, " +
        std::to_string(feed.tripRows) + " trips, " + std::to_string(feed.stopTimeRows) +
        " stop times; kept as trains: " + std::to_string(feed.trains.size()) + " trips with " +
        std::to_string(stopTimes) + " stop times"};
    std::move(feed.notes.begin(), feed.notes.end(), std::back_inserter(notes));
    notes.push_back(
        "fares: none read from the feed; reference fares estimated by this railway's tariff "
        "from each train's type and distance");
    if (!typedByNumber.empty()) {
        std::string names;
        for (std::size_t i = 0; i < typedByNumber.size() && i < 5; ++i) {
            names += (i ? ", " : "") + typedByNumber[i];
        }
        if (typedByNumber.size() > 5) names += ", ...";
        notes.push_back(std::to_string(typedByNumber.size()) +
                        " trains' types taken from the letters of their numbers (their route's "
                        "route_desc names no train type): " +
                        names);
    }
    return notes;
}

}  // namespace

FeedChanges AddGtfsTrains(gtfs::GtfsTrains feed, Sources& sources, bool withSourceLists) {
    sources.notes = FeedNotes(feed);
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
