// The loaded tables written as a feed. Stop ids are "S0001".. in GBK name order, parent
// stations "G001".. in group order, so that one timetable always gives the same feed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "data/clock.h"
#include "data/decimal.h"
#include "data/gbk.h"
#include "data/station_coords.h"
#include "gtfs/csv.h"
#include "gtfs/gtfs.h"
#include "query/fare_tariff.h"
#include "timetable/timetable.h"

namespace korvel::gtfs {
namespace {

std::string Numbered(char letter, int width, int n) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%c%0*d", letter, width, n);
    return buf;
}

// Absolute minutes of the first time at or after `after` that shows `clock` on the clock.
int NextAt(int clock, int after) {
    int t = after - ((after % 1440) + 1440) % 1440 + clock;
    while (t < after) t += 1440;
    return t;
}

struct Stations {
    std::map<std::string, std::string> ids;        // GBK name -> stop_id
    std::vector<std::vector<std::string>> groups;  // stop_ids of each group of two or more
};

// "lat", "lon" of a station as stops.txt takes them; empty when it has no place.
std::pair<std::string, std::string> LatLon(const std::optional<StationPoint>& p) {
    if (!p) return {};
    char lat[32], lon[32];
    std::snprintf(lat, sizeof lat, "%.6f", p->lat);
    std::snprintf(lon, sizeof lon, "%.6f", p->lon);
    return {lat, lon};
}

std::optional<StationPoint> PlaceOf(const StationCoords* coords, const std::string& name) {
    if (!coords) return std::nullopt;
    const auto it = coords->find(name);
    if (it == coords->end()) return std::nullopt;
    return it->second;
}

// A group's station stands where the member it is named after stands, else at the middle of
// its members that have a place.
std::optional<StationPoint> GroupPlace(const StationCoords* coords, const std::string& named,
                                       const std::vector<std::string>& members) {
    if (auto p = PlaceOf(coords, named)) return p;
    StationPoint sum;
    int n = 0;
    for (const auto& m : members) {
        if (const auto p = PlaceOf(coords, m)) {
            sum.lon += p->lon;
            sum.lat += p->lat;
            ++n;
        }
    }
    if (n == 0) return std::nullopt;
    return StationPoint{sum.lon / n, sum.lat / n, true};
}

// Every station a train calls at, with its pinyin initials as stop_code; then each same-city
// group as a station over them, named after its shortest member (the city's own name). With
// coordinates, each has stop_lat and stop_lon (empty for a station without a place).
Stations WriteStops(const Timetable& tt, std::string& stops, const StationCoords* coords) {
    Stations out;
    std::map<std::string, std::string> codes;  // GBK name -> short code (its first)
    for (std::uint32_t r = 0; r < tt.PinyinCount(); ++r)
        codes.emplace(tt.Name(tt.PinyinStation(r)), tt.PinyinCode(r));
    for (StopId s(0); s < StopId(tt.StopTotal()); ++s) out.ids.emplace(tt.Name(tt.Station(s)), "");

    // Groups in turn, each with its stations in the table's stored order.
    std::map<int, std::vector<std::string>> members;  // group -> GBK names in table order
    for (const Timetable::GroupRow& row : tt.GroupRows()) {
        const std::string& name = tt.Name(row.station);
        if (out.ids.count(name)) members[tt.GroupNumber(row.group)].push_back(name);
    }
    std::map<std::string, std::string> parentOf;               // GBK name -> parent stop_id
    std::vector<std::pair<std::string, std::string>> parents;  // stop_id, GBK name
    for (const auto& [gp, names] : members) {
        if (names.size() < 2) continue;
        const std::string id = Numbered('G', 3, static_cast<int>(parents.size()) + 1);
        const auto shortest = std::min_element(
            names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
        parents.emplace_back(id, *shortest);
        for (const auto& name : names) parentOf[name] = id;
    }

    int number = 0;
    for (auto& [name, id] : out.ids) id = Numbered('S', 4, ++number);
    std::vector<std::string> header = {"stop_id", "stop_code", "stop_name", "location_type",
                                       "parent_station"};
    if (coords) header.insert(header.end(), {"stop_lat", "stop_lon"});
    AddRow(stops, header);
    auto row = [&](std::vector<std::string> values, const std::optional<StationPoint>& place) {
        if (coords) {
            auto [lat, lon] = LatLon(place);
            values.push_back(std::move(lat));
            values.push_back(std::move(lon));
        }
        AddRow(stops, values);
    };
    auto add = [&](const std::string& name, const std::string& parentId) {
        const auto code = codes.find(name);
        row({out.ids.at(name), code == codes.end() ? "" : code->second, GbkToUtf8(name), "0",
             parentId},
            PlaceOf(coords, name));
    };
    // A group's stations are written together, in the group's order, where its first one
    // falls in name order: a reader that keeps stops.txt order gets the group back as it was.
    std::map<std::string, std::vector<std::string>> byParent;  // parent id -> GBK names
    for (const auto& [gp, names] : members) {
        if (names.size() >= 2) byParent[parentOf.at(names.front())] = names;
    }
    for (const auto& [name, id] : out.ids) {
        const auto parent = parentOf.find(name);
        if (parent == parentOf.end()) {
            add(name, "");
            continue;
        }
        auto group = byParent.find(parent->second);
        if (group == byParent.end()) continue;  // written with its first station
        for (const auto& member : group->second) add(member, parent->second);
        byParent.erase(group);
    }
    for (const auto& [id, name] : parents) {
        std::vector<std::string> names, ids;
        for (const auto& [member, parentId] : parentOf) {
            if (parentId == id) names.push_back(member);
        }
        row({id, "", GbkToUtf8(name), "1", ""}, GroupPlace(coords, name, names));
        for (const auto& [member, parentId] : parentOf) {
            if (parentId == id) ids.push_back(out.ids.at(member));
        }
        out.groups.push_back(std::move(ids));
    }
    return out;
}

// The planner's change rules: a change at one station, and between stations of one group.
std::string TransfersText(const Stations& stations, const GtfsFeedInfo& info) {
    std::string text;
    AddRow(text, {"from_stop_id", "to_stop_id", "transfer_type", "min_transfer_time"});
    const std::string same = std::to_string(info.minTransfer * 60);
    const std::string city = std::to_string(info.cityTransfer * 60);
    for (const auto& [name, id] : stations.ids) AddRow(text, {id, id, "2", same});
    for (const auto& group : stations.groups) {
        for (const auto& from : group) {
            for (const auto& to : group) {
                if (from != to) AddRow(text, {from, to, "2", city});
            }
        }
    }
    return text;
}

// One train's stop times. Absolute times from the origin's departure: the run time says on
// which day each stop lies; where it disagrees with the clock, the next time the clock shows
// it. A distance that would not increase (two stations given at one km) is left empty.
void WriteStopTimes(const Timetable& tt, TrainId train, const Stations& stations,
                    std::string& stopTimes) {
    const std::string& id = tt.Number(train);
    int origin = -1, last = 0, lastKm = -1;
    for (StopId s = tt.FirstStop(train); s < tt.EndStop(train); ++s) {
        const int aClock = tt.Arrivals().Minutes(s.Value());
        const int dClock = tt.Departures().Minutes(s.Value());
        int arrival, departure;
        if (origin < 0) {
            origin = dClock >= 0 ? dClock : std::max(aClock, 0);
            arrival = departure = origin;
        } else {
            arrival = origin + tt.RunTimes().Minutes(s.Value());
            if (aClock >= 0 && arrival % 1440 != aClock) arrival = NextAt(aClock, last);
            departure = dClock >= 0 ? NextAt(dClock, arrival) : arrival;
        }
        last = departure;
        std::string distance;
        if (const int km = tt.Km(s); km > lastKm) {
            distance = std::to_string(km);
            lastKm = km;
        }
        AddRow(stopTimes,
               {id, GtfsTime(arrival), GtfsTime(departure), stations.ids.at(tt.Name(tt.Station(s))),
                std::to_string(tt.StopNumber(s)), distance});
    }
}

}  // namespace

std::string GtfsTime(int minutes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:00", minutes / 60, minutes % 60);
    return buf;
}

std::optional<FeedDates> FeedDatesFrom(const std::string& validFrom) {
    using namespace std::chrono;
    int y = 0;
    unsigned m = 0, d = 0;
    char tail = 0;
    if (validFrom.size() != 10 ||
        std::sscanf(validFrom.c_str(), "%4d-%2u-%2u%c", &y, &m, &d, &tail) != 3) {
        return std::nullopt;
    }
    const year_month_day start{year{y}, month{m}, day{d}};
    if (!start.ok()) return std::nullopt;
    // A year on: the same date next year (1 March after 29 February), less one day.
    const year_month_day next{year{y + 1}, month{m}, day{d}};
    const year_month_day end{sys_days{next} - days{1}};
    auto text = [](const year_month_day& v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02u%02u", static_cast<int>(v.year()),
                      static_cast<unsigned>(v.month()), static_cast<unsigned>(v.day()));
        return std::string(buf);
    };
    return FeedDates{text(start), text(end)};
}

GtfsFeed ExportGtfs(StoredTables& tables, const GtfsFeedInfo& info) {
    return ExportGtfs(Timetable(tables), info);
}

GtfsFeed ExportGtfs(const Timetable& tt, const GtfsFeedInfo& info) {
    GtfsFeed feed;
    std::string agency, stops, routes, trips, stopTimes, calendar, feedInfo;
    AddRow(agency, {"agency_id", "agency_name", "agency_url", "agency_timezone", "agency_lang"});
    AddRow(agency, {"CR", "中国铁路", "https://www.12306.cn/", "Asia/Shanghai", "zh"});

    const Stations stations = WriteStops(tt, stops, info.coords);

    AddRow(routes, {"route_id", "agency_id", "route_short_name", "route_long_name", "route_desc",
                    "route_type"});
    AddRow(trips, {"route_id", "service_id", "trip_id", "trip_short_name"});
    AddRow(stopTimes, {"trip_id", "arrival_time", "departure_time", "stop_id", "stop_sequence",
                       "shape_dist_traveled"});
    // Every train-list row in number order, each with its train's stops in stop order.
    for (std::uint32_t row = 0; row < tt.ListRowCount(); ++row) {
        const TrainId train = tt.RowTrain(row);
        const std::string& id = tt.Number(train);
        const std::string from = GbkToUtf8(tt.Name(tt.RowOrigin(row)));
        const std::string to = GbkToUtf8(tt.Name(tt.RowTerminus(row)));
        AddRow(routes,
               {id, "CR", id, from + " - " + to, GbkToUtf8(TrainTypeName(tt.RowType(row))), "2"});
        AddRow(trips, {id, "daily", id, id});
        WriteStopTimes(tt, train, stations, stopTimes);
    }
    AddRow(calendar, {"service_id", "monday", "tuesday", "wednesday", "thursday", "friday",
                      "saturday", "sunday", "start_date", "end_date"});
    AddRow(calendar, {"daily", "1", "1", "1", "1", "1", "1", "1", info.startDate, info.endDate});
    AddRow(feedInfo, {"feed_publisher_name", "feed_publisher_url", "feed_lang", "feed_start_date",
                      "feed_end_date", "feed_version"});
    AddRow(feedInfo, {info.publisherName, info.publisherUrl, "zh", info.startDate, info.endDate,
                      info.version});

    feed["agency.txt"] = agency;
    feed["stops.txt"] = stops;
    feed["routes.txt"] = routes;
    feed["trips.txt"] = trips;
    feed["stop_times.txt"] = stopTimes;
    feed["calendar.txt"] = calendar;
    feed["feed_info.txt"] = feedInfo;
    feed["transfers.txt"] = TransfersText(stations, info);
    // The stations' places are OpenStreetMap's, whose licence asks for its name.
    if (info.coords) {
        std::string attributions;
        AddRow(attributions,
               {"attribution_id", "organization_name", "is_producer", "attribution_url"});
        AddRow(attributions, {"OSM",
                              "© OpenStreetMap contributors (stop_lat, stop_lon; Open Database "
                              "License 1.0)",
                              "1", "https://www.openstreetmap.org/copyright"});
        feed["attributions.txt"] = attributions;
    }
    return feed;
}

}  // namespace korvel::gtfs
