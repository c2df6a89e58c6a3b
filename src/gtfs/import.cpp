// A feed read as trains for the builder. The timetable is one railway whose text is GBK: what
// it cannot hold is never changed quietly. Non-rail routes, stations whose names the tables
// cannot keep and stops that share a name with another stop are left out with their trips,
// and named in the notes; service that is not daily is taken as daily and said so; values no
// stream could hold refuse the feed with file, line and field.
#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "data/decimal.h"
#include "data/gbk.h"
#include "gtfs/csv.h"
#include "gtfs/gtfs.h"
#include "gtfs/import_feed_wide.h"
#include "query/fare_tariff.h"

namespace korvel::gtfs {
namespace {

// How many names a note lists before it only counts.
constexpr std::size_t kNamesInNote = 5;

std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kNamesInNote; ++i) {
        text += (i ? ", " : "") + names[i];
    }
    if (names.size() > kNamesInNote) text += ", …";
    return text;
}

int TypeFromName(const std::string& utf8) {
    if (utf8.empty()) return 0;
    const std::string gbk = Utf8ToGbk(utf8);
    for (int code = 1; code <= 14; ++code) {
        if (TrainTypeName(code) == gbk) return code;
    }
    return 0;
}

// "HH:MM:SS" (hours may pass 24) to minutes; -1 when empty. A malformed time, or one past
// kMaxGtfsHours, refuses the feed.
int ParseGtfsTime(const CsvTable& t, int line, const char* field, const std::string& text) {
    if (text.empty()) return -1;
    const std::size_t c1 = text.find(':'), c2 = text.find(':', c1 + 1);
    std::optional<int> h, m, s;
    if (c1 != std::string::npos && c2 != std::string::npos) {
        h = WholeInteger<int>(text.substr(0, c1));
        m = WholeInteger<int>(text.substr(c1 + 1, c2 - c1 - 1));
        s = WholeInteger<int>(text.substr(c2 + 1));
    }
    if (!h || !m || !s || *h < 0 || *m < 0 || *m > 59 || *s < 0 || *s > 59) {
        throw GtfsError(t.Where(line) + field + ": '" + text + "' is not a time HH:MM:SS");
    }
    if (*h >= kMaxGtfsHours) {
        throw GtfsError(t.Where(line) + field + ": '" + text + "' is past " +
                        std::to_string(kMaxGtfsHours) + ":00:00");
    }
    return *h * 60 + *m;
}

// Distance from the origin in whole km; -1 when empty.
int ParseDistance(const CsvTable& t, int line, const std::string& text) {
    if (text.empty()) return -1;
    const double v = DecimalNumber(text).value_or(-1.0);
    if (v < 0 || v > kMaxGtfsKm) {
        throw GtfsError(t.Where(line) + "shape_dist_traveled: '" + text +
                        "' is not a distance from 0 to " +
                        std::to_string(static_cast<int>(kMaxGtfsKm)) + " km");
    }
    return static_cast<int>(v + 0.5);
}

// A stop_code that can serve as pinyin initials: one to ten ASCII letters.
std::optional<std::string> InitialsCode(const std::string& code) {
    if (code.empty() || code.size() > 10) return std::nullopt;
    std::string upper;
    for (char c : code) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return std::nullopt;
        upper += static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
    }
    return upper;
}

// Why the tables cannot keep a station name, or empty when they can.
std::string NameProblem(const std::string& utf8) {
    const std::string gbk = Utf8ToGbk(utf8);
    if (gbk.empty() || (gbk.find('?') != std::string::npos && utf8.find('?') == std::string::npos))
        return "not GBK text";
    if (gbk.size() > 20) return "longer than 20 bytes in GBK";
    return {};
}

struct Stops {
    std::unordered_map<std::string, std::string> nameOf;    // usable stop_id -> UTF-8 name
    std::unordered_map<std::string, std::string> refusal;   // refused stop_id -> note
    std::unordered_map<std::string, std::string> parentOf;  // stop_id -> parent stop_id
    std::unordered_set<std::string> stations;               // location_type 1
};

struct StopRow {
    std::string id, name, parent;
};

// Stops that share a name are one station only as platforms of one parent station; any other
// pair would merge two places, so both are refused.
void RefuseSharedNames(const std::vector<StopRow>& rows, Stops& s) {
    std::unordered_map<std::string, const StopRow*> first;
    for (const StopRow& r : rows) {
        if (s.refusal.count(r.id)) continue;
        const auto [it, fresh] = first.emplace(r.name, &r);
        if (fresh || (!r.parent.empty() && r.parent == it->second->parent)) continue;
        const std::string note = "stops " + it->second->id + " and " + r.id + " are both named " +
                                 r.name + ": both refused";
        s.refusal.emplace(it->second->id, note);
        s.refusal[r.id] = note;
    }
}

// Degrees within `limit`, or nothing (an empty value is no place, not a place at 0).
std::optional<double> Degrees(std::string_view text, double limit) {
    const std::optional<double> value = DecimalNumber(text);
    if (!value || std::fabs(*value) > limit) return std::nullopt;
    return value;
}

std::optional<StationPoint> Place(const std::string& lon, const std::string& lat) {
    const auto x = Degrees(lon, 180), y = Degrees(lat, 90);
    if (!x || !y) return std::nullopt;
    return StationPoint{*x, *y, false};
}

Stops ReadStops(const CsvTable& t, GtfsTrains& out) {
    Stops s;
    const int id = t.Column("stop_id", true), name = t.Column("stop_name", true);
    const int type = t.Column("location_type", false), parent = t.Column("parent_station", false);
    const int code = t.Column("stop_code", false);
    const int lat = t.Column("stop_lat", false), lon = t.Column("stop_lon", false);
    std::vector<StopRow> rows;
    std::vector<std::string> parents;  // stop_ids of stations, in stops.txt order
    for (const auto& [line, row] : t.rows) {
        const std::string stopId = CsvTable::Value(row, id);
        const std::string stopName = CsvTable::Value(row, name);
        const std::string kind = CsvTable::Value(row, type);
        if (stopId.empty()) throw GtfsError(t.Where(line) + "stop without id");
        if (kind == "1") {
            parents.push_back(stopId);
            s.stations.insert(stopId);
            continue;
        }
        if (!kind.empty() && kind != "0") continue;  // entrances, nodes, boarding areas
        if (stopName.empty()) throw GtfsError(t.Where(line) + "stop " + stopId + " without name");
        rows.push_back({stopId, stopName, CsvTable::Value(row, parent)});
        if (const std::string why = NameProblem(stopName); !why.empty()) {
            s.refusal[stopId] = "station " + stopName + " (" + stopId + "): " + why;
        }
        if (const auto initials = InitialsCode(CsvTable::Value(row, code))) {
            out.codes.emplace(stopName, *initials);
        }
        if (const auto place = Place(CsvTable::Value(row, lon), CsvTable::Value(row, lat))) {
            out.places.emplace(stopName, *place);
        }
    }
    RefuseSharedNames(rows, s);
    // The groups in the order of their parent stations, each in stops.txt order.
    std::unordered_map<std::string, std::vector<std::string>> children;
    for (const StopRow& r : rows) {
        if (s.refusal.count(r.id)) continue;
        s.nameOf[r.id] = r.name;
        if (r.parent.empty()) continue;
        s.parentOf[r.id] = r.parent;
        auto& names = children[r.parent];
        if (std::find(names.begin(), names.end(), r.name) == names.end()) names.push_back(r.name);
    }
    for (const std::string& p : parents) {
        auto it = children.find(p);
        if (it != children.end() && it->second.size() >= 2)
            out.groups.push_back(std::move(it->second));
    }
    return s;
}

// Rail in the basic and the extended route types; anything else is not this timetable's.
bool IsRail(const std::string& routeType) {
    if (routeType.empty()) return true;
    const auto v = WholeInteger<int>(routeType);
    return v && (*v == 2 || (*v >= 100 && *v <= 199));
}

struct Routes {
    std::unordered_map<std::string, int> type;             // rail route_id -> NType (0 none named)
    std::unordered_map<std::string, std::string> skipped;  // route_id -> its route_type
    bool present = false;
};

Routes ReadRoutes(const CsvTable& t) {
    Routes r;
    r.present = t.Present();
    if (!r.present) return r;
    const int id = t.Column("route_id", true), desc = t.Column("route_desc", false);
    const int kind = t.Column("route_type", false);
    for (const auto& [line, row] : t.rows) {
        const std::string routeId = CsvTable::Value(row, id),
                          routeType = CsvTable::Value(row, kind);
        if (IsRail(routeType)) {
            r.type[routeId] = TypeFromName(CsvTable::Value(row, desc));
        } else {
            r.skipped[routeId] = routeType;
        }
    }
    return r;
}

// Service that runs on fewer than seven days, or with dated exceptions, is taken as daily.
std::set<std::string> NotDaily(const GtfsFeed& feed) {
    std::set<std::string> services;
    const CsvTable calendar = ReadCsvTable(feed, "calendar.txt", false);
    if (calendar.Present()) {
        const int id = calendar.Column("service_id", true);
        std::vector<int> days;
        for (const char* d :
             {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"}) {
            days.push_back(calendar.Column(d, true));
        }
        for (const auto& [line, row] : calendar.rows) {
            for (int d : days) {
                if (CsvTable::Value(row, d) != "1") services.insert(CsvTable::Value(row, id));
            }
        }
    }
    const CsvTable dates = ReadCsvTable(feed, "calendar_dates.txt", false);
    if (dates.Present()) {
        const int id = dates.Column("service_id", true);
        for (const auto& [line, row] : dates.rows) services.insert(CsvTable::Value(row, id));
    }
    return services;
}

// One note per service, or one for them all when there are many.
void NoteTakenDaily(const std::map<std::string, int>& takenDaily, GtfsTrains& out) {
    if (takenDaily.size() <= kNamesInNote) {
        for (const auto& [svc, count] : takenDaily) {
            out.notes.push_back("service " + svc + " does not run every day: its " +
                                std::to_string(count) + " trips taken as daily");
        }
        return;
    }
    std::vector<std::string> names;
    int trips = 0;
    for (const auto& [svc, count] : takenDaily) {
        names.push_back(svc);
        trips += count;
    }
    out.notes.push_back(std::to_string(takenDaily.size()) +
                        " services do not run every day: their " + std::to_string(trips) +
                        " trips taken as daily: " + NameList(names));
}

struct Trips {
    std::unordered_map<std::string, std::size_t> index;  // trip_id -> train
    std::unordered_set<std::string> skipped;             // trips of non-rail routes
    std::vector<std::string> ids;                        // train -> trip_id
};

Trips ReadTrips(const GtfsFeed& feed, const CsvTable& t, const Routes& routes, GtfsTrains& out) {
    Trips trips;
    const int id = t.Column("trip_id", true), route = t.Column("route_id", true);
    const int name = t.Column("trip_short_name", false), service = t.Column("service_id", false);
    const std::set<std::string> notDaily = NotDaily(feed);
    std::map<std::string, int> takenDaily;  // service_id -> trips
    std::set<std::string> skippedRoutes;
    for (const auto& [line, row] : t.rows) {
        const std::string trip = CsvTable::Value(row, id), routeId = CsvTable::Value(row, route);
        if (trip.empty()) throw GtfsError(t.Where(line) + "trip without id");
        if (trips.index.count(trip) || trips.skipped.count(trip)) {
            throw GtfsError(t.Where(line) + "trip " + trip + " given twice");
        }
        if (routes.skipped.count(routeId)) {
            trips.skipped.insert(trip);
            skippedRoutes.insert(routeId);
            continue;
        }
        const auto type = routes.type.find(routeId);
        if (routes.present && type == routes.type.end()) {
            throw GtfsError(t.Where(line) + "route_id: no route " + routeId);
        }
        std::string number = CsvTable::Value(row, name);
        if (number.empty()) number = trip;
        trips.index.emplace(trip, out.trains.size());
        trips.ids.push_back(trip);
        out.trains.push_back({number, {}});
        if (type != routes.type.end() && type->second > 0) out.types[number] = type->second;
        if (notDaily.count(CsvTable::Value(row, service)))
            ++takenDaily[CsvTable::Value(row, service)];
    }
    if (!skippedRoutes.empty()) {
        std::vector<std::string> names;
        for (const auto& r : skippedRoutes)
            names.push_back(r + " (route_type " + routes.skipped.at(r) + ")");
        out.notes.push_back(std::to_string(skippedRoutes.size()) +
                            " routes not by rail left out with their " +
                            std::to_string(trips.skipped.size()) + " trips: " + NameList(names));
    }
    NoteTakenDaily(takenDaily, out);
    return trips;
}

struct Timed {
    int sequence, arrival, departure, km;
    std::string station;
};

struct StopTimes {
    std::vector<std::vector<Timed>> timed;  // by train
    std::set<std::size_t> dropped;          // trains calling at a refused stop
};

// stop_times.txt by trip. A trip calling at a refused stop is left out and counted there.
StopTimes ReadStopTimes(const CsvTable& t, const Stops& stops, const Trips& trips,
                        GtfsTrains& out) {
    StopTimes result;
    auto& timed = result.timed;
    timed.resize(out.trains.size());
    const int trip = t.Column("trip_id", true), arr = t.Column("arrival_time", true);
    const int dep = t.Column("departure_time", true), stop = t.Column("stop_id", true);
    const int seq = t.Column("stop_sequence", true);
    const int dist = t.Column("shape_dist_traveled", false);
    const int pickup = t.Column("pickup_type", false), dropOff = t.Column("drop_off_type", false);
    std::map<std::string, std::set<std::size_t>> refusedCalls;  // note -> trains
    int restricted = 0;
    for (const auto& [line, row] : t.rows) {
        const std::string tripId = CsvTable::Value(row, trip), stopId = CsvTable::Value(row, stop);
        const auto tr = trips.index.find(tripId);
        if (tr == trips.index.end()) {
            if (trips.skipped.count(tripId)) continue;
            throw GtfsError(t.Where(line) + "unknown trip_id");
        }
        const auto sequence = WholeInteger<int>(CsvTable::Value(row, seq));
        if (!sequence || *sequence < 0)
            throw GtfsError(t.Where(line) + "stop_sequence is not a number");
        int a = ParseGtfsTime(t, line, "arrival_time", CsvTable::Value(row, arr));
        int d = ParseGtfsTime(t, line, "departure_time", CsvTable::Value(row, dep));
        if (a < 0 && d < 0) throw GtfsError(t.Where(line) + "no arrival or departure time");
        if (a < 0) a = d;
        if (d < 0) d = a;
        const int km = ParseDistance(t, line, CsvTable::Value(row, dist));
        const std::string p = CsvTable::Value(row, pickup), o = CsvTable::Value(row, dropOff);
        if ((!p.empty() && p != "0") || (!o.empty() && o != "0")) ++restricted;
        const auto s = stops.nameOf.find(stopId);
        if (s == stops.nameOf.end()) {
            const auto refused = stops.refusal.find(stopId);
            if (refused == stops.refusal.end()) {
                throw GtfsError(t.Where(line) +
                                (stops.stations.count(stopId)
                                     ? "stop_id " + stopId + " is a station (location_type 1)"
                                     : "unknown stop_id " + stopId));
            }
            refusedCalls[refused->second].insert(tr->second);
            continue;
        }
        timed[tr->second].push_back({*sequence, a, d, km, s->second});
    }
    for (const auto& [note, trains] : refusedCalls) {
        out.notes.push_back(note + "; " + std::to_string(trains.size()) +
                            " trips calling there left out");
        result.dropped.insert(trains.begin(), trains.end());
    }
    if (restricted) {
        out.notes.push_back(std::to_string(restricted) +
                            " stop times where passengers may not board or alight "
                            "(pickup_type, drop_off_type) taken as ordinary stops");
    }
    return result;
}

// The most common min_transfer_time of the changes within one stop and between stations of one
// parent, in whole minutes (rounded up).
void ReadTransfers(const CsvTable& t, const Stops& stops, GtfsTrains& out) {
    if (!t.Present()) return;
    const int from = t.Column("from_stop_id", true), to = t.Column("to_stop_id", true);
    const int type = t.Column("transfer_type", true), time = t.Column("min_transfer_time", false);
    std::map<int, int> same, city;  // minutes -> rows
    std::size_t ignored = 0;
    for (const auto& [line, row] : t.rows) {
        if (CsvTable::Value(row, type) != "2") {
            ++ignored;
            continue;
        }
        const auto seconds = WholeInteger<int>(CsvTable::Value(row, time));
        if (!seconds || *seconds < 0 || *seconds > 86400) {
            throw GtfsError(t.Where(line) + "min_transfer_time: not seconds from 0 to 86400");
        }
        const int minutes = (*seconds + 59) / 60;
        const std::string a = CsvTable::Value(row, from), b = CsvTable::Value(row, to);
        const auto pa = stops.parentOf.find(a), pb = stops.parentOf.find(b);
        if (a == b) {
            ++same[minutes];
        } else if (pa != stops.parentOf.end() && pb != stops.parentOf.end() &&
                   pa->second == pb->second) {
            ++city[minutes];
        } else {
            ++ignored;
        }
    }
    if (ignored > 0) {
        out.notes.push_back(std::to_string(ignored) +
                            " rows of transfers.txt ignored: only minimum change times "
                            "(transfer_type 2) within one stop or between stations of one "
                            "parent station are taken");
    }
    auto mostCommon = [&](const std::map<int, int>& counts,
                          const char* what) -> std::optional<int> {
        if (counts.empty()) return std::nullopt;
        const auto best =
            std::max_element(counts.begin(), counts.end(),
                             [](const auto& x, const auto& y) { return x.second < y.second; });
        if (counts.size() > 1) {
            out.notes.push_back(std::string("changes ") + what + " take " +
                                std::to_string(counts.size()) +
                                " different times; the most common, " +
                                std::to_string(best->first) + " min, is taken");
        }
        return best->first;
    };
    out.minTransfer = mostCommon(same, "at one stop");
    out.cityTransfer = mostCommon(city, "between stations of one parent station");
}

// Great-circle distance in km on a sphere of the Earth's mean radius.
double KmBetween(const StationPoint& a, const StationPoint& b) {
    constexpr double kRadiusKm = 6371.0;
    constexpr double kRad = 3.14159265358979323846 / 180.0;
    const double dLat = (b.lat - a.lat) * kRad, dLon = (b.lon - a.lon) * kRad;
    const double h =
        std::sin(dLat / 2) * std::sin(dLat / 2) +
        std::cos(a.lat * kRad) * std::cos(b.lat * kRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kRadiusKm * std::asin(std::min(1.0, std::sqrt(h)));
}

// A trip that gives no distances, whose every stop has a place: the distance from its origin
// along straight lines between its stops, in whole km. False (nothing changed) otherwise.
bool DistancesFromPlaces(std::vector<Timed>& stopsOfTrip, const GtfsTrains& out) {
    std::vector<const StationPoint*> points;
    for (const Timed& t : stopsOfTrip) {
        if (t.km >= 0) return false;
        const auto p = out.places.find(t.station);
        if (p == out.places.end()) return false;
        points.push_back(&p->second);
    }
    double km = 0;
    for (std::size_t k = 0; k < stopsOfTrip.size(); ++k) {
        if (k > 0) km += KmBetween(*points[k - 1], *points[k]);
        if (km > kMaxGtfsKm) return false;
        stopsOfTrip[k].km = static_cast<int>(std::lround(km));
    }
    return true;
}

// Of the trips that share one number, the first in trips.txt is kept: the timetable knows a
// train by its number. The others join the trips left out.
void KeepFirstOfEachNumber(const Trips& trips, StopTimes& read, GtfsTrains& out) {
    std::map<std::string, std::vector<std::string>> tripsOf;  // number -> its trips
    for (std::size_t i = 0; i < out.trains.size(); ++i) {
        if (read.dropped.count(i)) continue;
        auto& ofNumber = tripsOf[out.trains[i].number];
        ofNumber.push_back(trips.ids[i]);
        if (ofNumber.size() > 1) read.dropped.insert(i);
    }
    std::vector<std::string> numbers;
    for (const auto& [number, ofNumber] : tripsOf) {
        if (ofNumber.size() > 1) numbers.push_back(number);
    }
    for (std::size_t n = 0; n < numbers.size() && n < kNamesInNote; ++n) {
        const auto& ofNumber = tripsOf[numbers[n]];
        const std::vector<std::string> others(ofNumber.begin() + 1, ofNumber.end());
        out.notes.push_back("train number " + numbers[n] + " on " +
                            std::to_string(ofNumber.size()) + " trips: trip " + ofNumber.front() +
                            " kept (the first in trips.txt), " + NameList(others) + " left out");
    }
    if (numbers.size() > kNamesInNote) {
        out.notes.push_back(std::to_string(numbers.size() - kNamesInNote) +
                            " more train numbers on several trips: the first trip in trips.txt "
                            "of each kept");
    }
}

}  // namespace

GtfsTrains ReadGtfs(const GtfsFeed& feed) {
    GtfsTrains out;
    const CsvTable stopsTable = ReadCsvTable(feed, "stops.txt", true);
    const CsvTable routesTable = ReadCsvTable(feed, "routes.txt", false);
    const CsvTable tripsTable = ReadCsvTable(feed, "trips.txt", true);
    const CsvTable times = ReadCsvTable(feed, "stop_times.txt", true);

    const Stops stops = ReadStops(stopsTable, out);
    const Trips trips = ReadTrips(feed, tripsTable, ReadRoutes(routesTable), out);
    out.stopRows = stopsTable.rows.size();
    out.tripRows = tripsTable.rows.size();
    out.stopTimeRows = times.rows.size();
    StopTimes read = ReadStopTimes(times, stops, trips, out);
    KeepFirstOfEachNumber(trips, read, out);
    ReadTransfers(ReadCsvTable(feed, "transfers.txt", false), stops, out);
    NoteFeedWide(feed, out);
    ReadFeedStart(feed, out);

    // The builder's source form: clock times and the day of each arrival.
    std::vector<GtfsTrain> kept;
    int sharedKm = 0, placedTrips = 0;
    for (std::size_t i = 0; i < read.timed.size(); ++i) {
        if (read.dropped.count(i)) continue;
        auto& stopsOfTrip = read.timed[i];
        std::stable_sort(stopsOfTrip.begin(), stopsOfTrip.end(),
                         [](const Timed& a, const Timed& b) { return a.sequence < b.sequence; });
        if (DistancesFromPlaces(stopsOfTrip, out)) ++placedTrips;
        const bool withKm = !stopsOfTrip.empty() && stopsOfTrip.front().km >= 0 &&
                            std::count_if(stopsOfTrip.begin(), stopsOfTrip.end(),
                                          [](const Timed& t) { return t.km >= 0; }) > 1;
        for (std::size_t k = 0; k < stopsOfTrip.size(); ++k) {
            const Timed& t = stopsOfTrip[k];
            if (k > 0 && stopsOfTrip[k - 1].sequence == t.sequence) {
                throw GtfsError("stop_times.txt: trip " + out.trains[i].number +
                                ": stop_sequence " + std::to_string(t.sequence) + " given twice");
            }
            const bool first = k == 0, lastStop = k + 1 == stopsOfTrip.size();
            int km = t.km;
            // In a trip that gives distances, one left out means two stations at one km (the
            // distance must increase, so the writer leaves it empty).
            if (km < 0 && !first && withKm) {
                km = out.trains[i].stops.back().km;
                ++sharedKm;
            }
            GtfsStop s;
            s.station = t.station;
            s.arrival = first ? -1 : t.arrival % 1440;
            s.departure = lastStop ? -1 : t.departure % 1440;
            s.day = (first ? t.departure : t.arrival) / 1440 + 1;
            s.km = km;
            out.trains[i].stops.push_back(std::move(s));
        }
        kept.push_back(std::move(out.trains[i]));
    }
    out.trains = std::move(kept);
    if (placedTrips > 0) {
        out.notes.push_back(std::to_string(placedTrips) +
                            " trips without shape_dist_traveled: distances taken along straight "
                            "lines between their stops' coordinates (stop_lat, stop_lon), in "
                            "whole km");
    }
    if (sharedKm > 0) {
        out.notes.push_back(std::to_string(sharedKm) +
                            " stop times without shape_dist_traveled between stops that have one "
                            "taken at the distance of the stop before");
    }
    return out;
}

}  // namespace korvel::gtfs
