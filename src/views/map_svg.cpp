#include "views/map_svg.h"

#include <cstdio>

#include "data/gbk.h"

namespace korvel {
namespace {

// Text for an SVG text node or attribute value.
std::string Escaped(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// One decimal: a tenth of a pixel is finer than any screen or printer needs here.
void Num(std::string& out, double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    out += buf;
}

void Point(std::string& out, const MapPoint& p) {
    Num(out, p.x);
    out += ',';
    Num(out, p.y);
}

// The route's legs take turns between two colours, so that a change shows at a glance.
const char* LegColour(int leg) {
    return leg % 2 == 0 ? "#c0392b" : "#1f5fbf";
}

}  // namespace

std::string MapSvg(const MapScene& scene) {
    std::string out;
    out.reserve(64 * 1024 + scene.backdropFrom.size() * 24);
    char head[256];
    std::snprintf(head, sizeof head,
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                  "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\">\n",
                  scene.width, scene.height, scene.width, scene.height);
    out += head;
    out += "<title>" + Escaped(GbkToUtf8(scene.title)) + "</title>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";

    if (!scene.backdropFrom.empty()) {
        out += "<path class=\"network\" fill=\"none\" stroke=\"#c8c8c8\" stroke-width=\"1\" d=\"";
        for (std::size_t i = 0; i < scene.backdropFrom.size(); ++i) {
            out += 'M';
            Point(out, scene.backdropFrom[i]);
            out += 'L';
            Point(out, scene.backdropTo[i]);
        }
        out += "\"/>\n";
    }
    for (const MapLine& line : scene.route) {
        out += "<polyline class=\"route\" fill=\"none\" stroke=\"";
        out += LegColour(line.leg);
        out += "\" stroke-width=\"3\"";
        if (line.dashed) out += " stroke-dasharray=\"8,5\"";
        out += " points=\"";
        for (std::size_t i = 0; i < line.points.size(); ++i) {
            if (i) out += ' ';
            Point(out, line.points[i]);
        }
        out += "\"/>\n";
    }
    for (const MapStop& stop : scene.stops) {
        const bool major = stop.kind != MapStopKind::Call;
        out += "<circle class=\"";
        out += stop.kind == MapStopKind::Change ? "stop change" : major ? "stop end" : "stop";
        out += "\" cx=\"";
        Num(out, stop.at.x);
        out += "\" cy=\"";
        Num(out, stop.at.y);
        out += major ? "\" r=\"6\"" : "\" r=\"3.5\"";
        out += stop.estimated ? " fill=\"#ffffff\" stroke-dasharray=\"2,2\"" : " fill=\"#333333\"";
        out += stop.kind == MapStopKind::Change ? " stroke=\"#e67e22\" stroke-width=\"3\""
                                                : " stroke=\"#333333\" stroke-width=\"1.5\"";
        out += "><title>" + Escaped(GbkToUtf8(stop.name)) + (stop.estimated ? " (estimated)" : "") +
               "</title></circle>\n";
    }
    for (const MapLabel& label : scene.labels) {
        out += "<text class=\"label\" x=\"";
        Num(out, label.at.x);
        out += "\" y=\"";
        Num(out, label.at.y + label.height * 0.85);  // the baseline
        out += "\" font-size=\"";
        Num(out, label.height);
        out += label.emphasised ? "\" font-weight=\"bold\">" : "\">";
        out += Escaped(GbkToUtf8(label.text)) + "</text>\n";
    }
    if (!scene.unlocated.empty()) {
        std::string names;
        for (const std::string& n : scene.unlocated) names += (names.empty() ? "" : ", ") + n;
        out +=
            "<text class=\"unlocated\" x=\"8\" y=\"18\" font-size=\"12\" fill=\"#555555\">"
            "地图上未标出（无坐标）：" +
            Escaped(GbkToUtf8(names)) + "</text>\n";
    }
    char foot[160];
    std::snprintf(foot, sizeof foot,
                  "<text class=\"attribution\" x=\"%d\" y=\"%d\" font-size=\"11\" "
                  "text-anchor=\"end\" fill=\"#555555\">",
                  scene.width - 6, scene.height - 6);
    out += foot;
    out += Escaped(MapScene::kAttribution);
    out += "</text>\n</svg>\n";
    return out;
}

}  // namespace korvel
