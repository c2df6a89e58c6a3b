// The map scene and its SVG on a small hand-made network: the view fits the route, the
// backdrop draws each pair once and skips what a pixel hides, change stations and estimated
// places are marked, a station without a place is listed rather than dropped, labels never
// overlap, and the SVG has one element per drawn stop and route line.
#include "views/map_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "views/map_svg.h"

namespace korvel {
namespace {

// A line A - B - C - D running east along 30°N (C's place estimated), a branch C - E - G
// north, F two metres from A.
StationCoords Places() {
    return {{"A", {110, 30, false}}, {"B", {111, 30, false}}, {"C", {112, 30, true}},
            {"D", {113, 30, false}}, {"E", {112, 31, false}}, {"F", {110.00002, 30, false}},
            {"G", {112, 32, false}}};
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(MapScene, RouteFitsTheViewAndEachStationIsDrawnOrListed) {
    const StationCoords coords = Places();
    const MapNetwork network(coords, {{"A", "B"},
                                      {"B", "C"},
                                      {"C", "D"},
                                      {"C", "E"},
                                      {"E", "G"},
                                      {"A", "F"},
                                      {"B", "A"},
                                      {"X", "A"}});
    // X has no place: no segment. B - A repeats A - B (the timetable's network has each pair
    // once already; the scene draws it once all the same).
    EXPECT_EQ(network.SegmentCount(), 7u);

    MapSceneOptions o;
    o.width = 800;
    o.height = 500;
    // X is a station without a place between B and C.
    const MapScene scene = BuildMapScene(network, {{"K1", {"A", "B", "X", "C", "D"}}}, o);
    ASSERT_EQ(scene.stops.size(), 4u);
    EXPECT_EQ(scene.unlocated, std::vector<std::string>{"X"});
    EXPECT_EQ(scene.stops.front().kind, MapStopKind::Origin);
    EXPECT_EQ(scene.stops.back().kind, MapStopKind::Terminus);
    EXPECT_TRUE(scene.stops[2].estimated);
    // Fitted: the ends at the margins, west on the left, the line level.
    EXPECT_NEAR(scene.stops.front().at.x, o.margin, 1e-6);
    EXPECT_NEAR(scene.stops.back().at.x, o.width - o.margin, 1e-6);
    EXPECT_NEAR(scene.stops.front().at.y, scene.stops.back().at.y, 1e-6);
    // Equal steps of longitude are equal steps on the map.
    EXPECT_NEAR(scene.stops[1].at.x - scene.stops[0].at.x,
                scene.stops[3].at.x - scene.stops[2].at.x, 1e-6);

    // A - B solid; B - (X) - C - D dashed, over the gap and the estimated C.
    ASSERT_EQ(scene.route.size(), 2u);
    EXPECT_FALSE(scene.route[0].dashed);
    EXPECT_EQ(scene.route[0].points.size(), 2u);
    EXPECT_TRUE(scene.route[1].dashed);
    EXPECT_EQ(scene.route[1].points.size(), 3u);

    // A - F is under a pixel, B - A drawn already, E - G wholly above the canvas: skipped.
    // C - E leaves the canvas but starts on it: drawn.
    EXPECT_EQ(scene.backdropFrom.size(), 4u);
    for (std::size_t i = 0; i < scene.backdropFrom.size(); ++i) {
        EXPECT_GE(std::hypot(scene.backdropTo[i].x - scene.backdropFrom[i].x,
                             scene.backdropTo[i].y - scene.backdropFrom[i].y),
                  0.5);
    }
}

TEST(MapScene, JourneyMarksChangesAndLabelsDoNotOverlap) {
    const StationCoords coords = Places();
    const MapNetwork network(coords, {{"A", "B"}, {"B", "C"}, {"C", "E"}});
    // A change at C (one station), then E; crowd the map with a tiny canvas.
    const MapScene scene =
        BuildMapScene(network, {{"K1", {"A", "B", "C"}}, {"T2", {"C", "E"}}}, {});
    ASSERT_EQ(scene.stops.size(), 4u);  // C once
    EXPECT_EQ(scene.stops[2].name, "C");
    EXPECT_EQ(scene.stops[2].kind, MapStopKind::Change);
    EXPECT_EQ(scene.title, "K1 - T2");
    // Leg 0 solid to B, dashed to the estimated C; leg 1 a line of its own.
    ASSERT_EQ(scene.route.size(), 3u);
    EXPECT_EQ(scene.route[1].leg, 0);
    EXPECT_TRUE(scene.route[1].dashed);
    EXPECT_EQ(scene.route[2].leg, 1);
    EXPECT_EQ(scene.route[2].points.size(), 2u);

    // A change at B, where neither leg's line is uncertain: both solid. A change from B to
    // E (two stations of a city) is walked: that link is dashed, the legs are not.
    const MapNetwork plain(coords, {});
    const MapScene atB = BuildMapScene(plain, {{"K1", {"A", "B"}}, {"T2", {"B", "E"}}}, {});
    ASSERT_EQ(atB.route.size(), 2u);
    EXPECT_FALSE(atB.route[0].dashed);
    EXPECT_FALSE(atB.route[1].dashed);
    const MapScene walked = BuildMapScene(plain, {{"K1", {"A", "B"}}, {"T2", {"E", "G"}}}, {});
    ASSERT_EQ(walked.route.size(), 3u);
    EXPECT_FALSE(walked.route[0].dashed);
    EXPECT_TRUE(walked.route[1].dashed);
    EXPECT_FALSE(walked.route[2].dashed);
    EXPECT_EQ(walked.stops[1].kind, MapStopKind::Change);
    EXPECT_EQ(walked.stops[2].kind, MapStopKind::Change);

    MapSceneOptions tiny;
    tiny.width = 120;
    tiny.height = 90;
    tiny.margin = 10;
    tiny.fontPixels = 14;
    // Ten stations a hundred metres apart, and one far away.
    StationCoords crowded = {{"P9", {110.2, 30.1, false}}};
    RouteLeg leg{"K9", {}};
    for (int i = 0; i < 9; ++i) {
        const std::string name = "P" + std::to_string(i);
        crowded[name] = {110 + 0.001 * i, 30, false};
        leg.stations.push_back(name);
    }
    leg.stations.push_back("P9");
    const MapNetwork none(crowded, {});
    const MapScene dense = BuildMapScene(none, {leg}, tiny);
    EXPECT_EQ(dense.stops.size(), 10u);
    EXPECT_LT(dense.labels.size(), 10u) << "some labels cannot fit";
    for (std::size_t i = 0; i < dense.labels.size(); ++i) {
        const MapLabel& a = dense.labels[i];
        EXPECT_GE(a.at.x, 0);
        EXPECT_LE(a.at.x + a.width, tiny.width);
        for (std::size_t j = i + 1; j < dense.labels.size(); ++j) {
            const MapLabel& b = dense.labels[j];
            const bool apart = a.at.x + a.width <= b.at.x || b.at.x + b.width <= a.at.x ||
                               a.at.y + a.height <= b.at.y || b.at.y + b.height <= a.at.y;
            EXPECT_TRUE(apart) << a.text << " overlaps " << b.text;
        }
    }
    // The ends are labelled first, so they are never the ones left out.
    auto labelled = [&](const std::string& name) {
        return std::any_of(dense.labels.begin(), dense.labels.end(),
                           [&](const MapLabel& l) { return l.text == name; });
    };
    EXPECT_TRUE(labelled("P0"));
    EXPECT_TRUE(labelled("P9"));
}

TEST(MapSvg, OneElementPerStopAndLineAndWellFormed) {
    const StationCoords coords = Places();
    const MapNetwork network(coords, {{"A", "B"}, {"B", "C"}, {"C", "D"}});
    // "<&" in a name must be escaped; X is unplaced and listed.
    StationCoords named = coords;
    named["Q<&"] = {113.5, 30, false};
    const MapNetwork withQ(named, {{"A", "B"}});
    const MapScene scene =
        BuildMapScene(withQ, {{"K1", {"A", "B", "X", "C"}}, {"T2", {"C", "D", "Q<&"}}}, {});
    const std::string svg = MapSvg(scene);

    EXPECT_EQ(Count(svg, "<circle "), scene.stops.size());
    EXPECT_EQ(Count(svg, "<polyline "), scene.route.size());
    EXPECT_EQ(Count(svg, "<text class=\"label\""), scene.labels.size());
    EXPECT_EQ(Count(svg, "<path class=\"network\""), 1u);
    EXPECT_EQ(Count(svg, "stroke-dasharray=\"8,5\""),
              static_cast<std::size_t>(std::count_if(scene.route.begin(), scene.route.end(),
                                                     [](const MapLine& l) { return l.dashed; })));
    EXPECT_NE(svg.find("\xC2\xA9 OpenStreetMap contributors"), std::string::npos);
    EXPECT_NE(svg.find("Q&lt;&amp;"), std::string::npos);
    EXPECT_EQ(svg.find("Q<&"), std::string::npos);
    EXPECT_NE(svg.find("<text class=\"unlocated\""), std::string::npos);

    // Well formed: every element opened is closed, in order, and one root.
    std::vector<std::string> open;
    int roots = 0;
    for (std::size_t at = svg.find('<'); at != std::string::npos; at = svg.find('<', at + 1)) {
        const std::size_t end = svg.find('>', at);
        ASSERT_NE(end, std::string::npos);
        const std::string tag = svg.substr(at + 1, end - at - 1);
        if (tag.starts_with("?")) continue;
        if (tag.starts_with("/")) {
            ASSERT_FALSE(open.empty()) << tag;
            EXPECT_EQ("/" + open.back(), tag);
            open.pop_back();
            continue;
        }
        if (open.empty()) ++roots;
        const std::string name = tag.substr(0, tag.find_first_of(" /"));
        if (!tag.ends_with("/")) open.push_back(name);
        // Attribute values are quoted in pairs.
        EXPECT_EQ(Count(tag, "\"") % 2, 0u) << tag;
    }
    EXPECT_TRUE(open.empty());
    EXPECT_EQ(roots, 1);
}

}  // namespace
}  // namespace korvel
