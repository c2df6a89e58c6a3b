// The railway on a map, computed once for every painter: the network as a backdrop, a train's
// or a journey's route on top with its stops, change stations and names, all in pixels of a
// canvas. The window paints it with QPainter and the command line writes it as SVG; neither
// projects, places labels or thins the backdrop itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/station_coords.h"
#include "timetable/timetable.h"

namespace korvel {

struct MapPoint {
    double x = 0, y = 0;
};

// Every pair of consecutive stops of any train, once, in degrees: what the backdrop draws.
class MapNetwork {
  public:
    // Every train's consecutive stops (trains in number order, each in stop order; a pair
    // keeps the direction it was first met in) and the places of their stations. Pairs with
    // an unplaced station are left out.
    MapNetwork(const Timetable& tt, const StationCoords& coords);
    MapNetwork(const StationCoords& coords, std::vector<std::pair<std::string, std::string>> pairs);

    const StationCoords& Coords() const { return *coords_; }
    std::size_t SegmentCount() const { return lon0_.size(); }
    // The segments' ends, one array a coordinate (the backdrop is projected in one pass).
    const std::vector<float>& Lon0() const { return lon0_; }
    const std::vector<float>& Lat0() const { return lat0_; }
    const std::vector<float>& Lon1() const { return lon1_; }
    const std::vector<float>& Lat1() const { return lat1_; }

  private:
    void Add(const std::string& a, const std::string& b);
    void Add(const StationPoint& a, const StationPoint& b);
    const StationCoords* coords_;
    std::vector<float> lon0_, lat0_, lon1_, lat1_;
};

// Degrees to canvas pixels: equirectangular, x shrunk by the cosine of the middle latitude
// so that shapes keep their proportions at China's latitudes; north up.
class MapProjection {
  public:
    // The smallest view that holds the box [minLon, maxLon] x [minLat, maxLat] with `margin`
    // pixels round it, centred on the canvas.
    MapProjection(double minLon, double maxLon, double minLat, double maxLat, int width, int height,
                  double margin);
    MapPoint operator()(double lon, double lat) const {
        return {x0_ + (lon - lon0_) * kx_, y0_ - (lat - lat0_) * ky_};
    }
    double PixelsPerDegreeLat() const { return ky_; }
    // The view `factor` times as close about the canvas's centre, then moved by `shift` pixels.
    void Zoom(double factor, MapPoint shift) {
        kx_ *= factor;
        ky_ *= factor;
        x0_ += shift.x;
        y0_ += shift.y;
    }

  private:
    double lon0_, lat0_, kx_, ky_, x0_, y0_;
};

// One leg of a route: a train's stations from boarding to alighting (GBK names, in order).
struct RouteLeg {
    std::string train;  // the KMList ID
    std::vector<std::string> stations;
};

// The stations of train `id` (the train number the tables key it by) between stop numbers
// `fromSNo` and `toSNo` (0: to the terminus); no stations for a train the timetable lacks.
RouteLeg TrainLeg(const Timetable& tt, std::string_view id, int fromSNo = 1, int toSNo = 0);

enum class MapStopKind : std::uint8_t { Call, Origin, Terminus, Change };

struct MapStop {
    std::string name;  // GBK
    MapPoint at;
    MapStopKind kind = MapStopKind::Call;
    bool estimated = false;  // its place was estimated: draw it hollow
};

// A run of the route drawn one way: solid between observed places, dashed where an end is an
// estimated place or the line jumps over a station without one.
struct MapLine {
    std::vector<MapPoint> points;
    bool dashed = false;
    int leg = 0;
};

struct MapLabel {
    std::string text;  // GBK
    MapPoint at;       // top left of its box
    double width = 0, height = 0;
    bool emphasised = false;  // an end or a change station
};

struct MapSceneOptions {
    int width = 1600, height = 1000;
    double margin = 40;      // pixels round the route
    double fontPixels = 12;  // label height; a Chinese character is one square of it
    bool backdrop = true;
    // A window's own view: the fitted view `zoom` times as close about the canvas's centre,
    // then moved by `pan` pixels (1 and none: fitted to the route).
    double zoom = 1;
    MapPoint pan;
};

struct MapScene {
    int width = 0, height = 0;
    // The backdrop: segments, each at least a pixel long, none twice after rounding to whole
    // pixels (shorter ones would paint the same pixels again).
    std::vector<MapPoint> backdropFrom, backdropTo;
    std::vector<MapLine> route;
    std::vector<MapStop> stops;    // each station once, in route order
    std::vector<MapLabel> labels;  // those that fit without overlapping another
    // Stations of the route that have no place (GBK), in route order: never dropped silently.
    std::vector<std::string> unlocated;
    std::string title;  // GBK: the train, or the journey's trains
    static constexpr const char* kAttribution = "\xC2\xA9 OpenStreetMap contributors";  // UTF-8
};

// The scene of a route: the view fits the route's placed stations (the whole network when
// none has a place).
MapScene BuildMapScene(const MapNetwork& network, const std::vector<RouteLeg>& legs,
                       const MapSceneOptions& options = {});

}  // namespace korvel
