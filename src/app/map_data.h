// What a window needs to draw the railway on a map: the places of the timetable's stations
// and the network of every pair of consecutive stops, built once per timetable and shared by
// every map the windows open.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "data/station_coords.h"
#include "timetable/table_load.h"
#include "views/map_scene.h"

namespace korvel {

// The places that go with a timetable: COORDS from `source` when it is given, else from
// `folder`'s COORDS.stream when a folder is given, else the embedded blob. Nothing when the
// timetable has none (not an error: it has no map); `error` says why when it has a stream that
// cannot be read.
std::optional<StationCoords> LoadStationCoords(const BlobSource& source, const std::string& folder,
                                               std::string* error = nullptr);

class MapData {
  public:
    MapData(std::shared_ptr<const Timetable> timetable, StationCoords coords)
        : timetable_(std::move(timetable)),
          coords_(std::move(coords)),
          network_(*timetable_, coords_) {}
    MapData(const MapData&) = delete;
    MapData& operator=(const MapData&) = delete;

    const Timetable& Typed() const { return *timetable_; }
    const StationCoords& Coords() const { return coords_; }
    const MapNetwork& Network() const { return network_; }

  private:
    std::shared_ptr<const Timetable> timetable_;
    StationCoords coords_;
    MapNetwork network_;  // points into coords_
};

}  // namespace korvel
