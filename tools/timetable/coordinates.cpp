// Station coordinates for the timetable: a join by name, and an estimate along the trains for
// the stations the coordinates source does not name.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "timetable/builder.h"

namespace korvel::timetable {
namespace {

bool ReadDegrees(std::string_view text, double limit, double& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out) &&
           std::fabs(out) <= limit;
}

}  // namespace

std::map<std::string, LonLat> ParseCoordinatesCsv(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::map<std::string, LonLat> out;
    bool header = true;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (header) {
            header = false;
            continue;
        }
        const std::size_t c1 = line.find(',');
        const std::size_t c2 = c1 == std::string_view::npos ? c1 : line.find(',', c1 + 1);
        if (c2 == std::string_view::npos || c1 == 0) continue;
        LonLat p;
        if (!ReadDegrees(line.substr(c1 + 1, c2 - c1 - 1), 180, p.lon) ||
            !ReadDegrees(line.substr(c2 + 1), 90, p.lat)) {
            continue;
        }
        out.emplace(std::string(line.substr(0, c1)), p);
    }
    return out;
}

std::map<std::string, Located> LocateStations(
    const std::vector<std::vector<std::pair<std::string, int>>>& trains,
    const std::map<std::string, LonLat>& known, BuildReport& report) {
    std::map<std::string, Located> out;
    std::set<std::string> served;
    struct Sum {
        double lon = 0, lat = 0;
        int n = 0;
    };
    std::map<std::string, Sum> estimates;
    for (const auto& stops : trains) {
        // For each stop, the nearest known stop before it (or -1), then after it.
        const int n = static_cast<int>(stops.size());
        std::vector<int> before(stops.size(), -1), after(stops.size(), -1);
        for (int i = 0, last = -1; i < n; ++i) {
            served.insert(stops[i].first);
            before[i] = last;
            if (known.count(stops[i].first)) last = i;
        }
        for (int i = n - 1, next = -1; i >= 0; --i) {
            after[i] = next;
            if (known.count(stops[i].first)) next = i;
        }
        for (int i = 0; i < n; ++i) {
            if (known.count(stops[i].first) || before[i] < 0 || after[i] < 0) continue;
            const LonLat& a = known.at(stops[before[i]].first);
            const LonLat& b = known.at(stops[after[i]].first);
            const int span = stops[after[i]].second - stops[before[i]].second;
            // Two known stops at one km (or distances that disagree) give the midpoint.
            double t = 0.5;
            if (span > 0) {
                t = static_cast<double>(stops[i].second - stops[before[i]].second) / span;
                t = std::clamp(t, 0.0, 1.0);
            }
            Sum& s = estimates[stops[i].first];
            s.lon += a.lon + (b.lon - a.lon) * t;
            s.lat += a.lat + (b.lat - a.lat) * t;
            ++s.n;
        }
    }
    report.coordinatesGiven = true;
    for (const auto& name : served) {
        if (const auto it = known.find(name); it != known.end()) {
            out[name] = {it->second, false};
            ++report.stationsLocated;
        } else if (const auto e = estimates.find(name); e != estimates.end()) {
            out[name] = {{e->second.lon / e->second.n, e->second.lat / e->second.n}, true};
            ++report.stationsEstimated;
        } else {
            ++report.stationsUnlocated;
        }
    }
    return out;
}

}  // namespace korvel::timetable
