#include "gtfs/gtfs.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <unordered_map>

#include "data/decimal.h"
#include "data/gbk.h"
#include "query/center.h"

namespace korvel::gtfs {
namespace {

std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t pos = text.find(sep, start);
        if (pos == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

std::string_view StripBom(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<int> ParseInt(std::string_view s) {
    std::int32_t v = 0;
    if (!ParseDecimal(Trim(s), -999999999, 999999999, v)) return std::nullopt;
    return v;
}

// The tables' clock text "HH:MM" as minutes; -1 when empty or unreadable.
int ParseClock(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return -1;
    const auto h = ParseInt(text.substr(0, colon)), m = ParseInt(text.substr(colon + 1));
    if (!h || !m || *h < 0 || *h > 23 || *m < 0 || *m > 59) return -1;
    return *h * 60 + *m;
}

std::string CsvField(const std::string& v) {
    if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
    std::string out = "\"";
    for (char c : v) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

void AddRow(std::string& text, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) text += ',';
        text += CsvField(values[i]);
    }
    text += "\r\n";
}

// Absolute minutes of the first time at or after `after` that shows `clock` on the clock.
int NextAt(int clock, int after) {
    int t = after - ((after % 1440) + 1440) % 1440 + clock;
    while (t < after) t += 1440;
    return t;
}

// A file of the feed as a header and rows of values, with the line each row starts on.
struct Table {
    std::string file;
    std::vector<std::string> header;
    std::vector<std::pair<int, std::vector<std::string>>> rows;

    int Column(const std::string& name, bool required) const {
        const auto it = std::find(header.begin(), header.end(), name);
        if (it == header.end()) {
            if (required) throw GtfsError(file + ": no column " + name);
            return -1;
        }
        return static_cast<int>(it - header.begin());
    }
    static std::string Value(const std::vector<std::string>& row, int column) {
        return column >= 0 && column < static_cast<int>(row.size()) ? row[column] : std::string();
    }
};

Table ReadTable(const GtfsFeed& feed, const std::string& file, bool required) {
    Table t;
    t.file = file;
    const auto it = feed.find(file);
    if (it == feed.end()) {
        if (required) throw GtfsError(file + ": missing");
        return t;
    }
    std::string_view text = StripBom(it->second);
    std::string pending;
    int lineNo = 0, startLine = 0;
    for (std::string_view raw : Split(text, '\n')) {
        ++lineNo;
        std::string line(raw);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (pending.empty()) {
            if (line.empty()) continue;
            startLine = lineNo;
            pending = line;
        } else {
            pending += "\n" + line;  // a quoted value spans lines
        }
        bool complete = true;
        auto values = SplitCsvLine(pending, &complete);
        if (!complete) continue;
        pending.clear();
        for (auto& v : values) v = std::string(Trim(v));
        if (t.header.empty()) {
            t.header = std::move(values);
        } else {
            t.rows.emplace_back(startLine, std::move(values));
        }
    }
    if (!pending.empty()) {
        throw GtfsError(file + ":" + std::to_string(startLine) + ": unterminated quoted value");
    }
    return t;
}

// "HH:MM:SS" (hours may pass 24) to minutes; -1 when empty or malformed.
int ParseGtfsTime(const std::string& text) {
    const auto parts = Split(text, ':');
    if (parts.size() != 3) return -1;
    const auto h = ParseInt(parts[0]), m = ParseInt(parts[1]), s = ParseInt(parts[2]);
    if (!h || !m || !s || *h < 0 || *m < 0 || *m > 59 || *s < 0 || *s > 59) return -1;
    return *h * 60 + *m;
}

int TypeFromName(const std::string& utf8) {
    if (utf8.empty()) return 0;
    const std::string gbk = Utf8ToGbk(utf8);
    for (int code = 1; code <= 14; ++code) {
        if (TrainTypeName(code) == gbk) return code;
    }
    return 0;
}

}  // namespace

std::string GtfsTime(int minutes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:00", minutes / 60, minutes % 60);
    return buf;
}

std::vector<std::string> SplitCsvLine(const std::string& line, bool* complete) {
    std::vector<std::string> values(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                values.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                values.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            values.emplace_back();
        } else {
            values.back() += c;
        }
    }
    if (complete) *complete = !quoted;
    return values;
}

GtfsFeed ExportGtfs(Timetable& tables, const GtfsFeedInfo& info) {
    GtfsFeed feed;
    std::string agency, stops, routes, trips, stopTimes, calendar, feedInfo;
    AddRow(agency, {"agency_id", "agency_name", "agency_url", "agency_timezone", "agency_lang"});
    AddRow(agency, {"CR", "中国铁路", "https://www.12306.cn/", "Asia/Shanghai", "zh"});

    // Stations: every station a train calls at, with its pinyin initials as stop_code.
    std::map<std::string, std::string> codes;  // GBK name -> short code
    MemTable& py = tables.KMPy;
    for (py.First(); !py.Eof(); py.Next()) {
        codes.emplace(py.FieldByName("Station").AsString(), py.FieldByName("Shortcode").AsString());
    }
    MemTable& st = tables.KMTrain;
    st.SetIndexName("SIDNo");
    std::map<std::string, std::string> stopIds;  // GBK name -> stop_id
    for (st.First(); !st.Eof(); st.Next())
        stopIds.emplace(st.FieldByName("Station").AsString(), "");
    AddRow(stops, {"stop_id", "stop_code", "stop_name", "location_type"});
    int number = 0;
    for (auto& [name, id] : stopIds) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "S%04d", ++number);
        id = buf;
        const auto code = codes.find(name);
        AddRow(stops, {id, code == codes.end() ? "" : code->second, GbkToUtf8(name), "0"});
    }

    AddRow(routes, {"route_id", "agency_id", "route_short_name", "route_long_name", "route_desc",
                    "route_type"});
    AddRow(trips, {"route_id", "service_id", "trip_id", "trip_short_name"});
    AddRow(stopTimes, {"trip_id", "arrival_time", "departure_time", "stop_id", "stop_sequence",
                       "shape_dist_traveled"});
    MemTable& list = tables.KMList;
    list.SetIndexName("SID");
    for (list.First(); !list.Eof(); list.Next()) {
        const std::string id = list.FieldByName("ID").AsString();
        const std::string from = GbkToUtf8(list.FieldByName("StartStation").AsString());
        const std::string to = GbkToUtf8(list.FieldByName("endStation").AsString());
        AddRow(routes, {id, "CR", id, from + " - " + to,
                        GbkToUtf8(TrainTypeName(list.FieldByName("NType").AsInteger())), "2"});
        AddRow(trips, {id, "daily", id, id});
        if (!st.Locate("ID", id)) continue;
        // Absolute times from the origin's departure: the run time says on which day each
        // stop lies; where it disagrees with the clock, the next time the clock shows it.
        int origin = -1, last = 0;
        for (; !st.Eof() && st.FieldByName("ID").AsString() == id; st.Next()) {
            const std::string a = st.FieldByName("A_Time").AsString();
            const std::string d = st.FieldByName("D_Time").AsString();
            const int aClock = ParseClock(a), dClock = ParseClock(d);
            int arrival, departure;
            if (origin < 0) {
                origin = dClock >= 0 ? dClock : std::max(aClock, 0);
                arrival = departure = origin;
            } else {
                const int run = ElapsedToMinutes(st.FieldByName("R_Date").AsString());
                arrival = origin + run;
                if (aClock >= 0 && arrival % 1440 != aClock) arrival = NextAt(aClock, last);
                departure = dClock >= 0 ? NextAt(dClock, arrival) : arrival;
            }
            last = departure;
            AddRow(stopTimes,
                   {id, GtfsTime(arrival), GtfsTime(departure),
                    stopIds[st.FieldByName("Station").AsString()],
                    st.FieldByName("S_No").AsString(), st.FieldByName("Distance").AsString()});
        }
    }
    AddRow(calendar, {"service_id", "monday", "tuesday", "wednesday", "thursday", "friday",
                      "saturday", "sunday", "start_date", "end_date"});
    AddRow(calendar, {"daily", "1", "1", "1", "1", "1", "1", "1", info.startDate, info.endDate});
    AddRow(feedInfo, {"feed_publisher_name", "feed_publisher_url", "feed_lang", "feed_version"});
    AddRow(feedInfo, {info.publisherName, info.publisherUrl, "zh", info.version});

    feed["agency.txt"] = agency;
    feed["stops.txt"] = stops;
    feed["routes.txt"] = routes;
    feed["trips.txt"] = trips;
    feed["stop_times.txt"] = stopTimes;
    feed["calendar.txt"] = calendar;
    feed["feed_info.txt"] = feedInfo;
    return feed;
}

GtfsTrains ReadGtfs(const GtfsFeed& feed) {
    GtfsTrains out;
    const Table stops = ReadTable(feed, "stops.txt", true);
    const Table routes = ReadTable(feed, "routes.txt", false);
    const Table trips = ReadTable(feed, "trips.txt", true);
    const Table times = ReadTable(feed, "stop_times.txt", true);
    auto where = [](const Table& t, int line) {
        return t.file + ":" + std::to_string(line) + ": ";
    };

    std::unordered_map<std::string, std::string> stationOf;
    {
        const int id = stops.Column("stop_id", true), name = stops.Column("stop_name", true);
        for (const auto& [line, row] : stops.rows) {
            if (Table::Value(row, id).empty() || Table::Value(row, name).empty()) {
                throw GtfsError(where(stops, line) + "stop without id or name");
            }
            stationOf[Table::Value(row, id)] = Table::Value(row, name);
        }
    }
    std::unordered_map<std::string, int> routeType;
    if (!routes.header.empty()) {
        const int id = routes.Column("route_id", true), desc = routes.Column("route_desc", false);
        for (const auto& [line, row] : routes.rows) {
            routeType[Table::Value(row, id)] = TypeFromName(Table::Value(row, desc));
        }
    }
    std::unordered_map<std::string, std::size_t> tripIndex;
    {
        const int id = trips.Column("trip_id", true), route = trips.Column("route_id", true);
        const int name = trips.Column("trip_short_name", false);
        for (const auto& [line, row] : trips.rows) {
            const std::string trip = Table::Value(row, id);
            if (trip.empty()) throw GtfsError(where(trips, line) + "trip without id");
            std::string numberText = Table::Value(row, name);
            if (numberText.empty()) numberText = trip;
            if (!tripIndex.emplace(trip, out.trains.size()).second) {
                throw GtfsError(where(trips, line) + "trip " + trip + " given twice");
            }
            out.trains.push_back({numberText, {}});
            const auto type = routeType.find(Table::Value(row, route));
            if (type != routeType.end() && type->second > 0) out.types[numberText] = type->second;
        }
    }
    struct Timed {
        int sequence, arrival, departure, km;
        std::string station;
    };
    std::vector<std::vector<Timed>> timed(out.trains.size());
    {
        const int trip = times.Column("trip_id", true), arr = times.Column("arrival_time", true);
        const int dep = times.Column("departure_time", true), stop = times.Column("stop_id", true);
        const int seq = times.Column("stop_sequence", true);
        const int dist = times.Column("shape_dist_traveled", false);
        for (const auto& [line, row] : times.rows) {
            const auto t = tripIndex.find(Table::Value(row, trip));
            if (t == tripIndex.end()) throw GtfsError(where(times, line) + "unknown trip_id");
            const auto s = stationOf.find(Table::Value(row, stop));
            if (s == stationOf.end()) throw GtfsError(where(times, line) + "unknown stop_id");
            const auto sequence = ParseInt(Table::Value(row, seq));
            if (!sequence) throw GtfsError(where(times, line) + "stop_sequence is not a number");
            int a = ParseGtfsTime(Table::Value(row, arr));
            int d = ParseGtfsTime(Table::Value(row, dep));
            if (a < 0 && d < 0)
                throw GtfsError(where(times, line) + "no arrival or departure time");
            if (a < 0) a = d;
            if (d < 0) d = a;
            int km = -1;
            const std::string distance = Table::Value(row, dist);
            if (!distance.empty()) {
                char* end = nullptr;
                const double v = std::strtod(distance.c_str(), &end);
                if (end == distance.c_str() || *end != '\0' || v < 0) {
                    throw GtfsError(where(times, line) + "shape_dist_traveled is not a distance");
                }
                km = static_cast<int>(v + 0.5);
            }
            timed[t->second].push_back({*sequence, a, d, km, s->second});
        }
    }
    // The builder's source form: clock times and the day of each arrival.
    for (std::size_t i = 0; i < timed.size(); ++i) {
        auto& stopsOfTrip = timed[i];
        std::stable_sort(stopsOfTrip.begin(), stopsOfTrip.end(),
                         [](const Timed& a, const Timed& b) { return a.sequence < b.sequence; });
        for (std::size_t k = 0; k < stopsOfTrip.size(); ++k) {
            const Timed& t = stopsOfTrip[k];
            const bool first = k == 0, lastStop = k + 1 == stopsOfTrip.size();
            GtfsStop s;
            s.station = t.station;
            s.arrival = first ? -1 : t.arrival % 1440;
            s.departure = lastStop ? -1 : t.departure % 1440;
            s.day = (first ? t.departure : t.arrival) / 1440 + 1;
            s.km = t.km;
            out.trains[i].stops.push_back(std::move(s));
        }
    }
    return out;
}

}  // namespace korvel::gtfs
