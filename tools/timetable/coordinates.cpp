// Station coordinates for the timetable: a join by name, and an estimate along the trains for
// the stations the coordinates source does not name.
#include <algorithm>
#include <optional>
#include <set>

#include "data/csv.h"
#include "data/station_coords.h"
#include "timetable/builder.h"

namespace korvel::timetable {

std::map<std::string, LonLat> ParseCoordinatesCsv(std::string_view text) {
    std::map<std::string, LonLat> out;
    const CsvText csv = ReadCsv(text);
    // The first record names the columns: station, longitude, latitude.
    for (std::size_t i = 1; i < csv.records.size(); ++i) {
        const std::vector<std::string>& v = csv.records[i].values;
        if (v.size() < 3 || v[0].empty()) continue;
        const std::optional<double> lon = DegreesWithin(v[1], 180);
        const std::optional<double> lat = DegreesWithin(v[2], 90);
        if (lon && lat) out.emplace(v[0], LonLat{*lon, *lat});
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
