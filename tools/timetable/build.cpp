// The build: every stage in turn, then the four table streams and the build report.
#include <algorithm>
#include <set>
#include <sstream>

#include "data/clock.h"
#include "data/gbk.h"
#include "data/schema.h"
#include "data/station_coords.h"
#include "data/table_stream.h"
#include "timetable/builder.h"
#include "timetable/text_util.h"

namespace korvel::timetable {
namespace {

// Counts the segments whose distance the repair changed and that the network knows, and how
// many of them ended up more than 5 % off what the network gives.
void CheckAgainstConsensus(const std::vector<SourceStop>& source,
                           const std::vector<CleanStop>& clean, const DistanceConsensus& network,
                           BuildReport& report) {
    for (std::size_t i = 1; i < clean.size() && i < source.size(); ++i) {
        const int built = clean[i].km - clean[i - 1].km;
        if (source[i].km >= 0 && source[i - 1].km >= 0 &&
            source[i].km - source[i - 1].km == built) {
            continue;
        }
        const auto expected = network.Between(clean[i - 1].station, clean[i].station);
        if (!expected) continue;
        ++report.repairedSegmentsChecked;
        if (!NearConsensus(built, *expected)) ++report.repairedSegmentsOff;
    }
}

}  // namespace

// --- the build: one function per stage ----------------------------------------------------------

namespace {

void Drop(BuildReport& report, const std::string& reason, const std::string& number) {
    ++report.drops[reason];
    auto& examples = report.dropExamples[reason];
    if (examples.size() < 3) examples.push_back(number);
}

// The trains as read: a feed's trains are distinct already (each keeps its own number); a stop
// list's numbers with identical stops become one train.
std::vector<MergedTrain> ReadTrains(const Sources& sources, BuildReport& report) {
    std::vector<MergedTrain> merged;
    if (sources.trains) {
        for (const SourceTrain& t : *sources.trains) {
            merged.push_back({{t.number}, t.stops});
            report.rowsRead += static_cast<int>(t.stops.size());
        }
        report.numbersRead = report.distinctTrains = static_cast<int>(merged.size());
        return merged;
    }
    merged = MergeIdenticalTrains(ParseStopsCsv(sources.stopsCsv, report), report);
    // Numbers left out while reading count among the trains that did not survive.
    if (auto it = report.drops.find("conflicting rows for one stop number");
        it != report.drops.end()) {
        report.distinctTrains += it->second;
    }
    return merged;
}

struct Built {
    CleanTrain train;
    int nType = 0;
    std::vector<StopFares> fares;
};

bool NameFitsTables(const std::string& utf8) {
    const std::string gbk = Utf8ToGbk(utf8);
    return !gbk.empty() && gbk.size() <= 20 && gbk.find('?') == std::string::npos;
}

// Absolute times and known distances for every train that can have them; the others dropped.
std::vector<Built> CleanTrains(const std::vector<MergedTrain>& merged, BuildReport& report) {
    const DistanceConsensus network = BuildConsensus(merged);
    report.consensusPairs = static_cast<int>(network.Pairs());
    std::vector<Built> built;
    for (const MergedTrain& m : merged) {
        CleanedStops cleaned = CleanStops(m.stops, MaxSpeedForNumber(m.numbers.front()), &network);
        auto& stops = cleaned.stops;
        const std::string& repaired = cleaned.repaired;
        if (!stops) {
            Drop(report, cleaned.reason, m.numbers.front());
            continue;
        }
        CheckAgainstConsensus(m.stops, *stops, network, report);
        if (!std::all_of(stops->begin(), stops->end(),
                         [](const CleanStop& s) { return NameFitsTables(s.station); })) {
            Drop(report, "station name not in GBK or too long", m.numbers.front());
            continue;
        }
        if (!repaired.empty()) ++report.repairs[repaired];
        Built b;
        b.train.numbers = m.numbers;
        for (const auto& num : m.numbers) {
            if (!b.train.id.empty()) b.train.id += "/";
            b.train.id += num;
        }
        b.train.stops = std::move(*stops);
        b.nType = TrainTypeFromNumber(m.numbers.front());
        built.push_back(std::move(b));
    }
    return built;
}

// Types and reference fares, then the exact values the overrides give.
void PriceTrains(std::vector<Built>& built, const Sources& sources, BuildReport& report) {
    auto overrides = ParseOverrides(sources.overrides);
    for (const auto& [train, nType] : sources.types) overrides.push_back({train, "", nType, {}});
    auto matches = [](const Built& b, const std::string& name) {
        return b.train.id == name || std::find(b.train.numbers.begin(), b.train.numbers.end(),
                                               name) != b.train.numbers.end();
    };
    for (Built& b : built) {
        for (const Override& o : overrides) {
            if (o.station.empty() && o.nType > 0 && matches(b, o.train)) b.nType = o.nType;
        }
        const auto& stops = b.train.stops;
        const bool sleepers = HasSleepers(stops);
        b.fares.resize(stops.size());
        for (std::size_t i = 1; i < stops.size(); ++i) {
            b.fares[i] = ComputeFares(b.nType, stops[i].km - stops[0].km, sleepers);
        }
        for (const Override& o : overrides) {
            if (o.station.empty() || !matches(b, o.train)) continue;
            for (std::size_t i = 1; i < stops.size(); ++i) {
                if (stops[i].station == o.station) {
                    b.fares[i] = o.fares;
                    ++report.fareOverrides;
                }
            }
        }
    }
}

// Sorted by ID; numbers are unique in the train list, so a later train whose ID repeats is
// left out.
void SortAndDropRepeatedIds(std::vector<Built>& built, BuildReport& report) {
    std::sort(built.begin(), built.end(),
              [](const Built& a, const Built& b) { return a.train.id < b.train.id; });
    built.erase(std::unique(built.begin(), built.end(),
                            [&](const Built& a, const Built& b) {
                                if (a.train.id != b.train.id) return false;
                                Drop(report, "number already used", b.train.id);
                                return true;
                            }),
                built.end());
}

using Rows = std::vector<std::vector<std::string>>;

struct TrainRows {
    Rows list, stops;
    std::map<std::string, int> calls;           // GBK station -> trains calling
    std::map<std::string, std::string> utf8Of;  // GBK station -> UTF-8 name
};

TrainRows TrainAndStopRows(const std::vector<Built>& built) {
    TrainRows rows;
    for (const Built& b : built) {
        const auto& stops = b.train.stops;
        const int origin = stops.front().departure;
        std::set<std::string> seen;
        for (std::size_t i = 0; i < stops.size(); ++i) {
            const CleanStop& s = stops[i];
            const std::string name = Utf8ToGbk(s.station);
            rows.utf8Of[name] = s.station;
            if (seen.insert(name).second) ++rows.calls[name];
            const bool first = i == 0, last = i + 1 == stops.size();
            rows.stops.push_back({b.train.id, name, IntText(static_cast<int>(i) + 1),
                                  first ? "" : ClockText(s.arrival),
                                  last ? "" : ClockText(s.departure),
                                  first ? "0" : RunTimeText(s.arrival - origin), IntText(s.km),
                                  b.fares[i].p1, b.fares[i].p2, b.fares[i].p3, b.fares[i].p4});
        }
        const CleanStop& end = stops.back();
        const StopFares& f = b.fares.back();
        rows.list.push_back({b.train.id, IntText(b.nType), Utf8ToGbk(stops.front().station),
                             Utf8ToGbk(end.station), ClockText(origin), ClockText(end.arrival),
                             RunTimeText(end.arrival - origin), IntText(end.km), f.p1, f.p2, f.p3,
                             f.p4});
    }
    return rows;
}

// The short code of one station: the newest station list that has the name, else the code
// given with the trains, else the readings.
std::string ShortCode(const std::string& utf8,
                      const std::vector<std::map<std::string, std::string>>& lists,
                      const Sources& sources, BuildReport& report) {
    for (const auto& list : lists) {
        const auto it = list.find(utf8);
        if (it != list.end()) {
            ++report.shortcodesFromList;
            return it->second;
        }
    }
    if (const auto given = sources.codes.find(utf8); given != sources.codes.end()) {
        ++report.shortcodesFromList;
        return given->second;
    }
    bool complete = true;
    std::string code = InitialsFromReadings(utf8, sources.readings, &complete);
    ++report.shortcodesFromReadings;
    if (!complete) {
        ++report.shortcodesIncomplete;
        report.notes.push_back("short code of " + utf8 + " lacks a character: " + code);
    }
    return code;
}

// KMPy: sorted by code; within a code the stations most trains call at first.
Rows PinyinRows(const TrainRows& trains, const Sources& sources, BuildReport& report) {
    std::vector<std::map<std::string, std::string>> lists;
    for (const auto& text : sources.stationLists) lists.push_back(ParseStationList(text));
    report.readingsAvailable = !sources.readings.empty();
    report.readingsBuiltIn = sources.readingsBuiltIn;
    struct PyRow {
        std::string code, station;
        int calls;
    };
    std::vector<PyRow> pyRows;
    for (const auto& [name, count] : trains.calls) {
        std::string code = ShortCode(trains.utf8Of.at(name), lists, sources, report);
        if (code.size() > 10) code.resize(10);
        pyRows.push_back({code, name, count});
    }
    std::sort(pyRows.begin(), pyRows.end(), [](const PyRow& a, const PyRow& b) {
        if (a.code != b.code) return a.code < b.code;
        if (a.calls != b.calls) return a.calls > b.calls;
        return a.station < b.station;
    });
    Rows rows;
    for (const auto& r : pyRows) rows.push_back({r.station, r.code});
    return rows;
}

// KMSM: the same-city groups kept to the stations trains call at, a station in its first
// group only, groups of at least two, numbered from 1.
Rows GroupRows(const TrainRows& trains, const Sources& sources, BuildReport& report) {
    Rows rows;
    std::set<std::string> grouped;
    int gp = 0;
    auto groups = ParseGroups(sources.groups);
    groups.insert(groups.end(), sources.groupLists.begin(), sources.groupLists.end());
    for (const auto& group : groups) {
        std::vector<std::string> members;
        for (const auto& utf8 : group) {
            const std::string name = Utf8ToGbk(utf8);
            if (trains.calls.count(name) && !grouped.count(name) &&
                std::find(members.begin(), members.end(), name) == members.end()) {
                members.push_back(name);
            }
        }
        if (members.size() < 2) {
            ++report.groupsDropped;
            continue;
        }
        ++gp;
        for (const auto& name : members) {
            grouped.insert(name);
            rows.push_back({name, IntText(gp)});
        }
    }
    report.groupsKept = gp;
    report.groupStations = static_cast<int>(rows.size());
    return rows;
}

// COORDS: every station the trains serve that has a place, in GBK name order.
std::string CoordsStream(const std::vector<Built>& built, const Sources& sources,
                         BuildReport& report) {
    std::vector<std::vector<std::pair<std::string, int>>> trains;
    trains.reserve(built.size());
    for (const Built& b : built) {
        auto& stops = trains.emplace_back();
        for (const CleanStop& s : b.train.stops) stops.emplace_back(s.station, s.km);
    }
    const auto located =
        LocateStations(trains, ParseCoordinatesCsv(sources.coordinatesCsv), report);
    std::vector<std::pair<std::string, StationPoint>> rows;
    rows.reserve(located.size());
    for (const auto& [utf8, place] : located) {
        rows.push_back({Utf8ToGbk(utf8), {place.at.lon, place.at.lat, place.estimated}});
    }
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    return WriteCoordsStream(rows);
}

}  // namespace

BuildOutput BuildTimetable(const Sources& sources) {
    BuildOutput out;
    BuildReport& report = out.report;
    report.notes = sources.notes;
    std::vector<Built> built = CleanTrains(ReadTrains(sources, report), report);
    PriceTrains(built, sources, report);
    SortAndDropRepeatedIds(built, report);

    const TrainRows trains = TrainAndStopRows(built);
    report.trainsBuilt = static_cast<int>(trains.list.size());
    report.stopsBuilt = static_cast<int>(trains.stops.size());
    report.stations = static_cast<int>(trains.calls.size());
    const Rows pinyin = PinyinRows(trains, sources, report);
    const Rows groups = GroupRows(trains, sources, report);

    out.slist = WriteTableStream(KMListFields(), KMListIndexes(), trains.list);
    out.strain = WriteTableStream(KMTrainFields(), KMTrainIndexes(), trains.stops);
    out.sm = WriteTableStream(KMSMFields(), KMSMIndexes(), groups);
    out.spy = WriteTableStream(KMPyFields(), KMPyIndexes(), pinyin);
    if (!sources.coordinatesCsv.empty()) out.coords = CoordsStream(built, sources, report);
    return out;
}

std::string BuildReport::Text() const {
    std::ostringstream o;
    o << "Timetable build report\n";
    o << "  stop rows read:            " << rowsRead << " (rejected " << rowsRejected << ")\n";
    o << "  train numbers read:        " << numbersRead << "\n";
    o << "  numbers merged into another number's train (identical stop lists): " << numbersMerged
      << "\n";
    if (numbersNotJoined) {
        o << "  identical numbers left out (ID would exceed 35 characters): " << numbersNotJoined
          << "\n";
    }
    o << "  distinct trains:           " << distinctTrains << "\n";
    int repaired = 0, dropped = 0;
    for (const auto& [why, n] : repairs) repaired += n;
    for (const auto& [why, n] : drops) dropped += n;
    o << "  trains repaired:           " << repaired << "\n";
    for (const auto& [why, n] : repairs) o << "    " << why << ": " << n << "\n";
    o << "  trains dropped:            " << dropped << "\n";
    for (const auto& [why, n] : drops) {
        o << "    " << why << ": " << n;
        const auto it = dropExamples.find(why);
        if (it != dropExamples.end() && !it->second.empty()) {
            o << " (";
            for (std::size_t i = 0; i < it->second.size(); ++i)
                o << (i ? ", " : "") << it->second[i];
            o << ")";
        }
        o << "\n";
    }
    o << "  station pairs with a consensus distance: " << consensusPairs
      << "; repaired segments against it: " << repairedSegmentsChecked
      << ", more than 5 % off: " << repairedSegmentsOff << "\n";
    o << "  trains built:              " << trainsBuilt;
    if (distinctTrains > 0) {
        o << " (" << (1000 * trainsBuilt / distinctTrains) / 10.0 << " % of distinct trains)";
    }
    o << "\n  stops built:               " << stopsBuilt << "\n";
    o << "  stations:                  " << stations << "\n";
    o << "  short codes from station lists: " << shortcodesFromList
      << ", from character readings: " << shortcodesFromReadings
      << (!readingsAvailable ? " (no readings available)"
          : readingsBuiltIn  ? " (readings file not available: built-in table)"
                             : "")
      << ", incomplete: " << shortcodesIncomplete << "\n";
    o << "  same-city groups kept:     " << groupsKept << " (" << groupStations
      << " stations), dropped (fewer than two served stations): " << groupsDropped << "\n";
    if (fareOverrides) o << "  stop fares set by overrides: " << fareOverrides << "\n";
    if (coordinatesGiven) {
        o << "  station coordinates: " << stationsLocated << " by name, " << stationsEstimated
          << " estimated along their trains, " << stationsUnlocated << " unlocated\n";
    }
    for (const auto& note : notes) o << "  note: " << note << "\n";
    return o.str();
}
}  // namespace korvel::timetable
