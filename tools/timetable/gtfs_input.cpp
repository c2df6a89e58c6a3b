#include "timetable/gtfs_input.h"

#include <utility>

namespace korvel::timetable {

void AddGtfsTrains(gtfs::GtfsTrains feed, Sources& sources) {
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
}

}  // namespace korvel::timetable
