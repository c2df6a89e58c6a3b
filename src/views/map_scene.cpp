#include "views/map_scene.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace korvel {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Width of a GBK text in pixels: a two-byte character is a square, a byte of ASCII about
// 0.6 of one.
double TextWidth(const std::string& gbk, double font) {
    double w = 0;
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        if (static_cast<unsigned char>(gbk[i]) >= 0x81 && i + 1 < gbk.size()) {
            w += font;
            ++i;
        } else {
            w += 0.6 * font;
        }
    }
    return w;
}

bool Overlap(const MapLabel& a, const MapLabel& b) {
    return a.at.x < b.at.x + b.width && b.at.x < a.at.x + a.width && a.at.y < b.at.y + b.height &&
           b.at.y < a.at.y + a.height;
}

}  // namespace

MapNetwork::MapNetwork(const Timetable& tt, const StationCoords& coords) : coords_(&coords) {
    // Each station's place looked up once, and each pair known by its two station numbers.
    std::vector<const StationPoint*> place(tt.StationCount(), nullptr);
    for (std::uint32_t s = 0; s < tt.StationCount(); ++s) {
        const auto it = coords.find(tt.Name(StationId(s)));
        if (it != coords.end()) place[s] = &it->second;
    }
    std::unordered_set<std::uint64_t> seen;
    for (TrainId t(0); t.Value() < tt.TrainCount(); ++t) {
        const StopId end = tt.EndStop(t);
        StopId s = tt.FirstStop(t);
        if (s == end) continue;
        std::uint32_t last = tt.Station(s).Value();
        for (++s; s < end; ++s) {
            const std::uint32_t here = tt.Station(s).Value();
            // Each pair once, whichever way the trains run it.
            const std::uint64_t key =
                last < here ? std::uint64_t{last} << 32 | here : std::uint64_t{here} << 32 | last;
            if (seen.insert(key).second && place[last] && place[here]) {
                Add(*place[last], *place[here]);
            }
            last = here;
        }
    }
}

MapNetwork::MapNetwork(const StationCoords& coords,
                       std::vector<std::pair<std::string, std::string>> pairs)
    : coords_(&coords) {
    for (const auto& [a, b] : pairs) Add(a, b);
}

void MapNetwork::Add(const std::string& a, const std::string& b) {
    const auto pa = coords_->find(a), pb = coords_->find(b);
    if (pa != coords_->end() && pb != coords_->end()) Add(pa->second, pb->second);
}

void MapNetwork::Add(const StationPoint& a, const StationPoint& b) {
    lon0_.push_back(static_cast<float>(a.lon));
    lat0_.push_back(static_cast<float>(a.lat));
    lon1_.push_back(static_cast<float>(b.lon));
    lat1_.push_back(static_cast<float>(b.lat));
}

MapProjection::MapProjection(double minLon, double maxLon, double minLat, double maxLat, int width,
                             int height, double margin) {
    const double midLat = (minLat + maxLat) / 2;
    const double shrink = std::max(0.1, std::cos(midLat * kPi / 180));
    // A single station, or stations in a line, still get a view some tens of km wide.
    const double spanLon = std::max((maxLon - minLon) * shrink, 0.2);
    const double spanLat = std::max(maxLat - minLat, 0.2);
    const double usableW = std::max(1.0, width - 2 * margin);
    const double usableH = std::max(1.0, height - 2 * margin);
    ky_ = std::min(usableW / spanLon, usableH / spanLat);
    kx_ = ky_ * shrink;
    lon0_ = (minLon + maxLon) / 2;
    lat0_ = midLat;
    x0_ = width / 2.0;
    y0_ = height / 2.0;
}

RouteLeg TrainLeg(const Timetable& tt, std::string_view id, int fromSNo, int toSNo) {
    RouteLeg leg{std::string(id), {}};
    const TrainId t = tt.FindTrain(id);
    if (t.IsNone()) return leg;
    for (StopId s = tt.FirstStop(t); s < tt.EndStop(t); ++s) {
        const int n = tt.StopNumber(s);
        if (n >= fromSNo && (toSNo == 0 || n <= toSNo))
            leg.stations.push_back(tt.Name(tt.Station(s)));
    }
    return leg;
}

namespace {

struct RouteStation {
    std::string name;
    const StationPoint* place = nullptr;
    MapStopKind kind = MapStopKind::Call;
    int leg = 0;
    bool walked = false;  // reached from the station before by a change within a city
};

// The route's stations in order, a change station once (its arrival and departure merged).
std::vector<RouteStation> RouteStations(const StationCoords& coords,
                                        const std::vector<RouteLeg>& legs) {
    std::vector<RouteStation> out;
    for (std::size_t l = 0; l < legs.size(); ++l) {
        const auto& stations = legs[l].stations;
        for (std::size_t i = 0; i < stations.size(); ++i) {
            if (l > 0 && i == 0 && !out.empty() && out.back().name == stations[i]) {
                out.back().kind = MapStopKind::Change;
                continue;
            }
            RouteStation s;
            s.name = stations[i];
            const auto it = coords.find(s.name);
            if (it != coords.end()) s.place = &it->second;
            s.leg = static_cast<int>(l);
            // A change between two stations of one city: both ends are change stations.
            if (l > 0 && i == 0) {
                s.kind = MapStopKind::Change;
                s.walked = true;
                if (!out.empty()) out.back().kind = MapStopKind::Change;
            }
            out.push_back(std::move(s));
        }
    }
    if (!out.empty()) {
        out.front().kind = MapStopKind::Origin;
        out.back().kind = MapStopKind::Terminus;
    }
    return out;
}

void AddBackdrop(const MapProjection& project, const MapSceneOptions& o, MapScene& scene,
                 const std::vector<float>& lon0, const std::vector<float>& lat0,
                 const std::vector<float>& lon1, const std::vector<float>& lat1) {
    std::unordered_set<std::uint64_t> drawn;
    drawn.reserve(lon0.size());
    const double w = o.width, h = o.height;
    for (std::size_t i = 0; i < lon0.size(); ++i) {
        const MapPoint a = project(lon0[i], lat0[i]), b = project(lon1[i], lat1[i]);
        // Wholly off the canvas on one side.
        if ((a.x < 0 && b.x < 0) || (a.x > w && b.x > w) || (a.y < 0 && b.y < 0) ||
            (a.y > h && b.y > h)) {
            continue;
        }
        const auto ax = static_cast<std::int32_t>(std::lround(a.x));
        const auto ay = static_cast<std::int32_t>(std::lround(a.y));
        const auto bx = static_cast<std::int32_t>(std::lround(b.x));
        const auto by = static_cast<std::int32_t>(std::lround(b.y));
        if (ax == bx && ay == by) continue;  // under a pixel
        // One key for both directions of a rounded segment; the canvas is far below 2^16.
        auto end = [](std::int32_t x, std::int32_t y) {
            return (static_cast<std::uint64_t>(static_cast<std::uint16_t>(x)) << 16) |
                   static_cast<std::uint16_t>(y);
        };
        std::uint64_t p = end(ax, ay), q = end(bx, by);
        if (p > q) std::swap(p, q);
        if (!drawn.insert(p << 32 | q).second) continue;
        scene.backdropFrom.push_back(a);
        scene.backdropTo.push_back(b);
    }
}

void AddLabels(const std::vector<std::size_t>& order, const MapSceneOptions& o, MapScene& scene) {
    const double gap = 4, r = o.fontPixels / 2;
    for (const std::size_t i : order) {
        const MapStop& stop = scene.stops[i];
        MapLabel label;
        label.text = stop.name;
        label.width = TextWidth(stop.name, o.fontPixels);
        label.height = o.fontPixels;
        label.emphasised = stop.kind != MapStopKind::Call;
        // Right, left, above, below the stop: the first place free of other labels, stops and
        // the canvas edge.
        const MapPoint tries[] = {
            {stop.at.x + r + gap, stop.at.y - label.height / 2},
            {stop.at.x - r - gap - label.width, stop.at.y - label.height / 2},
            {stop.at.x - label.width / 2, stop.at.y - r - gap - label.height},
            {stop.at.x - label.width / 2, stop.at.y + r + gap},
        };
        for (const MapPoint& at : tries) {
            label.at = at;
            if (at.x < 0 || at.y < 0 || at.x + label.width > o.width ||
                at.y + label.height > o.height) {
                continue;
            }
            bool clear = true;
            for (const MapLabel& other : scene.labels) {
                if (Overlap(label, other)) {
                    clear = false;
                    break;
                }
            }
            for (const MapStop& s : scene.stops) {
                if (!clear) break;
                // The painters draw an end or a change larger than a call.
                const double d = s.kind == MapStopKind::Call ? 4 : 7;
                const MapLabel dot{{}, {s.at.x - d, s.at.y - d}, 2 * d, 2 * d, false};
                clear = !Overlap(label, dot);
            }
            if (clear) {
                scene.labels.push_back(label);
                break;
            }
        }
    }
}

}  // namespace

MapScene BuildMapScene(const MapNetwork& network, const std::vector<RouteLeg>& legs,
                       const MapSceneOptions& o) {
    MapScene scene;
    scene.width = o.width;
    scene.height = o.height;
    for (const RouteLeg& leg : legs) scene.title += (scene.title.empty() ? "" : " - ") + leg.train;
    const std::vector<RouteStation> route = RouteStations(network.Coords(), legs);

    // The view: the route's placed stations, else the whole network.
    double minLon = std::numeric_limits<double>::max(), maxLon = -minLon;
    double minLat = minLon, maxLat = -minLon;
    auto widen = [&](double lon, double lat) {
        minLon = std::min(minLon, lon);
        maxLon = std::max(maxLon, lon);
        minLat = std::min(minLat, lat);
        maxLat = std::max(maxLat, lat);
    };
    for (const RouteStation& s : route) {
        if (s.place) widen(s.place->lon, s.place->lat);
    }
    if (minLon > maxLon) {
        for (std::size_t i = 0; i < network.SegmentCount(); ++i) {
            widen(network.Lon0()[i], network.Lat0()[i]);
            widen(network.Lon1()[i], network.Lat1()[i]);
        }
    }
    if (minLon > maxLon) widen(105, 35);  // nothing placed at all: China's middle
    MapProjection project(minLon, maxLon, minLat, maxLat, o.width, o.height, o.margin);
    project.Zoom(o.zoom, o.pan);

    if (o.backdrop) {
        AddBackdrop(project, o, scene, network.Lon0(), network.Lat0(), network.Lon1(),
                    network.Lat1());
    }

    // The route: one line a leg, split where it turns dashed or solid.
    const RouteStation* last = nullptr;
    bool skipped = false;  // a station without a place since `last`
    for (const RouteStation& s : route) {
        if (!s.place) {
            scene.unlocated.push_back(s.name);
            skipped = true;
            continue;
        }
        const MapPoint at = project(s.place->lon, s.place->lat);
        scene.stops.push_back({s.name, at, s.kind, s.place->estimated});
        if (last) {
            // A change between two stations of one city is no train's line: dashed too.
            const bool dashed = skipped || s.place->estimated || last->place->estimated || s.walked;
            if (scene.route.empty() || scene.route.back().dashed != dashed ||
                scene.route.back().leg != s.leg) {
                scene.route.push_back(
                    {{project(last->place->lon, last->place->lat)}, dashed, s.leg});
            }
            scene.route.back().points.push_back(at);
        }
        last = &s;
        skipped = false;
    }

    // Labels: the ends and change stations first, then the calls in route order.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < scene.stops.size(); ++i)
        if (scene.stops[i].kind != MapStopKind::Call) order.push_back(i);
    for (std::size_t i = 0; i < scene.stops.size(); ++i)
        if (scene.stops[i].kind == MapStopKind::Call) order.push_back(i);
    AddLabels(order, o, scene);
    return scene;
}

}  // namespace korvel
