// A map scene as an SVG document (UTF-8): the backdrop as one faint path, then one element
// per route line (a polyline, dashed where the scene says), one per stop (a circle; hollow
// for an estimated place) and one per label, the stations without a place listed in a
// corner, and the OpenStreetMap attribution in the other.
#pragma once

#include <string>

#include "views/map_scene.h"

namespace korvel {

std::string MapSvg(const MapScene& scene);

}  // namespace korvel
