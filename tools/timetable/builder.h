// The timetable builder: turns the public stop lists, station lists and same-city groups
// into the four table streams the program embeds (SLIST, STRAIN, SM, SPY).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::timetable {

// One stop as read from stops.csv. Clock times are minutes after midnight, -1 when absent.
struct SourceStop {
    std::string station;  // UTF-8
    int arrival = -1;
    int departure = -1;
    int day = 1;  // day of the journey on which the train arrives here (1 = origin's day)
    int km = -1;  // -1 unknown
};

struct SourceTrain {
    std::string number;
    std::vector<SourceStop> stops;
};

// A cleaned stop: absolute minutes since midnight of the origin's day, distances known.
struct CleanStop {
    std::string station;  // UTF-8
    int arrival = 0;      // absolute minutes (the origin's departure at the origin)
    int departure = 0;    // absolute minutes (the arrival at the terminus)
    int km = 0;
};

struct CleanTrain {
    std::string id;  // numbers joined by "/"
    std::vector<std::string> numbers;
    std::vector<CleanStop> stops;
};

// Counts and decisions of one build, printed as the build report.
struct BuildReport {
    int rowsRead = 0;
    int rowsRejected = 0;
    int numbersRead = 0;
    int numbersMerged = 0;     // numbers folded into another number's train
    int numbersNotJoined = 0;  // identical stop lists left out because the ID would be too long
    int distinctTrains = 0;
    std::map<std::string, int> repairs;                            // reason -> trains repaired
    std::map<std::string, int> drops;                              // reason -> trains dropped
    std::map<std::string, std::vector<std::string>> dropExamples;  // reason -> first numbers
    int consensusPairs = 0;           // station pairs with a consensus distance
    int repairedSegmentsChecked = 0;  // repaired segments that have a consensus
    int repairedSegmentsOff = 0;      // of them, more than 5 % off it
    int trainsBuilt = 0;
    int stopsBuilt = 0;
    int stations = 0;
    int shortcodesFromList = 0;
    int shortcodesFromReadings = 0;
    int shortcodesIncomplete = 0;  // some character had no known reading
    bool readingsAvailable = false;
    bool readingsBuiltIn = false;  // the readings file was missing: the checked-in table served
    int groupsKept = 0;
    int groupsDropped = 0;
    int groupStations = 0;
    int fareOverrides = 0;
    bool coordinatesGiven = false;  // a coordinates source was read
    int stationsLocated = 0;        // stations found by name in the coordinates source
    int stationsEstimated = 0;      // placed between known neighbours along their trains
    int stationsUnlocated = 0;      // neither
    std::vector<std::string> notes;

    std::string Text() const;
};

// --- reading the sources -------------------------------------------------------------------

// stops.csv (UTF-8, optional byte-order mark, header line) grouped by number, stops in sno
// order, numbers in first-seen order.
std::vector<SourceTrain> ParseStopsCsv(std::string_view text, BuildReport& report);
// The first thing wrong with a stops.csv, by line (1 = the header) and column (1-based
// byte position in the line), or nothing when every row is well formed: the header names
// the seven columns, each row has seven values, the stop number is positive, the day not negative
// (0 is read as 1), the times are HH:MM or -99:00 and the distance is whole kilometres or -1.
struct SourceError {
    int line = 0;
    int column = 0;
    std::string message;
};
std::optional<SourceError> CheckStopsCsv(std::string_view text);

// Station list ("@bjb|北京北|VAP|beijingbei|bjb|...") as name -> upper-case initials.
std::map<std::string, std::string> ParseStationList(std::string_view text);
// One group a line, comma separated (byte-order mark and blank lines ignored).
std::vector<std::vector<std::string>> ParseGroups(std::string_view text);

// --- cleaning --------------------------------------------------------------------------------

// Numbers with identical stop lists (station, times, day, distance) become one train; the
// numbers are joined by "/" in first-seen order while the ID stays within 35 characters.
struct MergedTrain {
    std::vector<std::string> numbers;
    std::vector<SourceStop> stops;
};
std::vector<MergedTrain> MergeIdenticalTrains(const std::vector<SourceTrain>& trains,
                                              BuildReport& report);

// Turns one train's stops into absolute times and known distances. Repairs a single plainly
// wrong stop (its neighbours agree); otherwise gives no stops and `reason` says why.
// `repaired` names the kinds of repair made, if any. With `maxKmPerHour` above 0, a distance
// that would have the train run faster than that between two stops is wrong too.
class DistanceConsensus;
struct CleanedStops {
    std::optional<std::vector<CleanStop>> stops;
    std::string reason;    // why there are no stops
    std::string repaired;  // "" when nothing was repaired
};
CleanedStops CleanStops(const std::vector<SourceStop>& stops, int maxKmPerHour = 0,
                        const DistanceConsensus* network = nullptr);
// The distance between two consecutive stations as most of the trains that run between them
// give it. A pair counts only when at least two trains agree (within 2 % or 1 km) and they
// are the majority of the trains that give a distance there; the direction does not matter.
class DistanceConsensus {
  public:
    void Add(const std::string& a, const std::string& b, int km);
    // Settles every pair; Between answers only after it.
    void Finish();
    std::optional<int> Between(const std::string& a, const std::string& b) const;
    std::size_t Pairs() const { return consensus_.size(); }

  private:
    std::map<std::string, std::vector<int>> samples_;
    std::map<std::string, int> consensus_;
};
// The consensus over every train's consecutive stops whose distances are both known.
DistanceConsensus BuildConsensus(const std::vector<MergedTrain>& trains);

// Distances for one train's stops from the network. `km` holds the source values (-1
// unknown); `arrival` and `departure` are absolute minutes. The longest run of stops whose
// own distances agree with each other, with the train's speed and with the consensus is kept;
// the stops between are filled from the consensus (scaled to the kept neighbours, at most
// 5 % off), else in proportion to running time. No distances when that cannot give plausible
// ones; `reason` then says why.
struct NetworkDistances {
    std::optional<std::vector<int>> km;
    std::string reason;
};
NetworkDistances RepairFromNetwork(const std::vector<std::string>& stations,
                                   const std::vector<int>& arrival,
                                   const std::vector<int>& departure, const std::vector<int>& km,
                                   const DistanceConsensus& network, int maxKmPerHour);
// Whether a repaired segment of `km` lies within 5 % (or 1 km) of the consensus `expected`.
bool NearConsensus(int km, int expected);

// The fastest a train of the number's kind plausibly runs between two stops.
int MaxSpeedForNumber(std::string_view number);

// --- values ----------------------------------------------------------------------------------

// Train type from the number's letter (see the builder's README for the table).
int TrainTypeFromNumber(std::string_view number);
// Elapsed minutes as run-time text: "0", "18", "2:9", "37:43".
std::string RunTimeText(int minutes);

struct StopFares {
    std::string p1, p2, p3, p4;
};
// Reference fares from the origin over `km` for a train of type `nType`. Sleeper classes
// only when `sleepers` (long or overnight conventional trains).
StopFares ComputeFares(int nType, int km, bool sleepers);
// Whether a conventional train carries sleepers: over 500 km or running overnight.
bool HasSleepers(const std::vector<CleanStop>& stops);

// --- overrides and output --------------------------------------------------------------------

// Exact stored values for named trains: lines "train,station,ntype,p1,p2,p3,p4" (UTF-8).
// An empty station sets only the type; a station sets that stop's fares.
struct Override {
    std::string train;
    std::string station;
    int nType = 0;
    StopFares fares;
};
std::vector<Override> ParseOverrides(std::string_view text);

struct Sources {
    std::string stopsCsv;
    // Given instead of stopsCsv (a GTFS feed): one train each, numbers never merged.
    std::optional<std::vector<SourceTrain>> trains;
    std::map<std::string, int> types;       // train number -> type, overriding the number's letter
    std::vector<std::string> stationLists;  // newest first
    std::string groups;
    // Groups and pinyin initials given as lists (a feed's parent stations and stop codes):
    // the groups after those of `groups`, the codes after the station lists.
    std::vector<std::vector<std::string>> groupLists;  // UTF-8 names
    std::map<std::string, std::string> codes;          // UTF-8 name -> initials
    std::vector<std::string> notes;                    // copied into the report first
    std::string overrides;                             // empty when none
    // Unicode code point -> upper-case initial of its Mandarin reading.
    std::map<char32_t, char> readings;
    bool readingsBuiltIn = false;  // `readings` is the checked-in table
    // "station_name,lon,lat" (UTF-8, WGS84 degrees); empty when there is none.
    std::string coordinatesCsv;
};

// The four table streams (GBK) and the report; `coords` is the COORDS stream, empty when the
// sources have no coordinates.
struct BuildOutput {
    std::string slist, strain, sm, spy, coords;
    BuildReport report;
};
BuildOutput BuildTimetable(const Sources& sources);

// --- coordinates -----------------------------------------------------------------------------

struct LonLat {
    double lon = 0, lat = 0;
};
// "station_name,lon,lat" with a header line (UTF-8, optional byte-order mark) as name ->
// position. Rows whose degrees are unreadable or out of range are skipped; the first row of
// a name repeated wins.
std::map<std::string, LonLat> ParseCoordinatesCsv(std::string_view text);

// One station's place on the map, or none.
struct Located {
    LonLat at;
    bool estimated = false;
};
// Joins the stations the trains serve to `known` by name. A station it lacks is placed along
// each train that serves it between the nearest stops before and after it that `known`
// has, in proportion to distance, and its place is the mean over those trains; a station no
// train has a known stop on both sides of stays unlocated (not in the result). Counts go to
// `report`. Each train is its stop list as (UTF-8 station, km from the origin).
std::map<std::string, Located> LocateStations(
    const std::vector<std::vector<std::pair<std::string, int>>>& trains,
    const std::map<std::string, LonLat>& known, BuildReport& report);

// Reads kMandarin readings from Unihan_Readings text.
std::map<char32_t, char> ParseReadings(std::string_view unihanText);
// A checked-in table of the same readings for the characters of the 2019 timetable's station
// names, for machines without the Unicode Han database.
std::map<char32_t, char> FallbackReadings();
// Pinyin initials of a UTF-8 name: list initials if known, else per character from the
// readings with the builder's override table; characters without a reading are skipped.
// `complete` is false when a character was skipped.
std::string InitialsFromReadings(std::string_view utf8Name,
                                 const std::map<char32_t, char>& readings, bool* complete);

}  // namespace korvel::timetable
