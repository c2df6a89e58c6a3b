// A map scene painted with QPainter: what the window's 地图 tab shows, what its printed page
// holds, and what the benchmark times. The scene is in the painter's pixels (or in any unit
// the painter is scaled to); nothing here projects or places labels.
#pragma once

class QPainter;

namespace korvel {
struct MapScene;
}

namespace korvel::ui {

// The network behind the route: faint thin lines, one call for all of them.
void PaintMapBackdrop(QPainter& painter, const MapScene& scene);

// The whole scene: background, backdrop, the route's lines (each leg in its colour, estimated
// runs dashed), its stops (ends and changes larger, change stations ringed, estimated places
// hollow), the labels, the stations without a place, and "© OpenStreetMap contributors" in
// the bottom right corner.
void PaintMapScene(QPainter& painter, const MapScene& scene);

}  // namespace korvel::ui
