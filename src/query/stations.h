// Station names and same-city groups: turns the text of a station box into a resolved
// side (typed name, city name, the stations of its same-city group) and tells whether a
// stop name belongs to the departure or the arrival side. All comparisons are whole-text,
// byte for byte (GBK bytes, case-sensitive).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class Timetable;

// A resolved station of a query, its departure or its arrival side.
struct StationSide {
    std::string TypedName;             // the box text, trimmed of bytes <= 32
    std::string CityName;              // CityNameOf(TypedName), for display
    std::vector<std::string> Members;  // the same-city group, TypedName included
    std::int32_t GroupId = 0;          // the group number, 0 when ungrouped
};

// The city a station serves: a few fixed names, else a 3+-character name loses a final
// 东/西/南/北 ("北京西" gives "北京", "济南" stays).
std::string CityNameOf(std::string_view name);

// How a side's stop names are matched: Grouped takes any station of the typed name's
// same-city group (the typed name alone when it has none); Exact only the typed name.
enum class MatchMode { Grouped, Exact };

// The side of a query a stop name is tested against.
enum class QuerySide { From, To };

// Fills a side from a box text. Exact skips the group lookup. A timetable built without its
// same-city table groups nothing.
void ResolveFromStation(const Timetable& tt, std::string_view boxText, MatchMode mode,
                        StationSide& FromSide);
void ResolveToStation(const Timetable& tt, std::string_view boxText, MatchMode mode,
                      StationSide& ToSide);
// The station timetable box: fills FromSide as ResolveFromStation does and, unless the mode
// is Exact, also sets ToSide.TypedName to the trimmed text (ToSide's other fields stay).
void ResolveStationBox(const Timetable& tt, std::string_view boxText, MatchMode mode,
                       StationSide& FromSide, StationSide& ToSide);

// Whether a stop name belongs to the given side: one of the group members unless the mode is
// Exact or the side is ungrouped, else the typed name itself.
bool StationMatches(std::string_view name, MatchMode mode, QuerySide side,
                    const StationSide& FromSide, const StationSide& ToSide);

// Whether the pinyin table has a station of exactly this text (untrimmed).
bool StationExists(const Timetable& tt, std::string_view text);

}  // namespace korvel
