#include "query/stations.h"

#include "data/gbk.h"
#include "timetable/timetable.h"

namespace korvel {

namespace {

// The station names and their cities, GBK bytes.
constexpr std::string_view kHankou = "\xBA\xBA\xBF\xDA";                            // 汉口
constexpr std::string_view kWuchang = "\xCE\xE4\xB2\xFD";                           // 武昌
constexpr std::string_view kWuhan = "\xCE\xE4\xBA\xBA";                             // 武汉
constexpr std::string_view kBaiheDong = "\xB0\xD7\xBA\xD3\xB6\xAB";                 // 白河东
constexpr std::string_view kBaiheXian = "\xB0\xD7\xBA\xD3\xCF\xD8";                 // 白河县
constexpr std::string_view kBaiyinShi = "\xB0\xD7\xD2\xF8\xCA\xD0";                 // 白银市
constexpr std::string_view kBaiyinXi = "\xB0\xD7\xD2\xF8\xCE\xF7";                  // 白银西
constexpr std::string_view kBaiyin = "\xB0\xD7\xD2\xF8";                            // 白银
constexpr std::string_view kLuoyangLongmen = "\xC2\xE5\xD1\xF4\xC1\xFA\xC3\xC5";    // 洛阳龙门
constexpr std::string_view kLuoyang = "\xC2\xE5\xD1\xF4";                           // 洛阳
constexpr std::string_view kShanghaiHongqiao = "\xC9\xCF\xBA\xA3\xBA\xE7\xC7\xC5";  // 上海虹桥
constexpr std::string_view kShanghai = "\xC9\xCF\xBA\xA3";                          // 上海
constexpr std::string_view kSuzhouXinqu = "\xCB\xD5\xD6\xDD\xD0\xC2\xC7\xF8";       // 苏州新区
constexpr std::string_view kSuzhouYuanqu = "\xCB\xD5\xD6\xDD\xD4\xB0\xC7\xF8";      // 苏州园区
constexpr std::string_view kSuzhou = "\xCB\xD5\xD6\xDD";                            // 苏州
constexpr std::string_view kWuxiXinqu = "\xCE\xDE\xCE\xFD\xD0\xC2\xC7\xF8";         // 无锡新区
constexpr std::string_view kWuxi = "\xCE\xDE\xCE\xFD";                              // 无锡
// Direction suffixes 东, 西, 南, 北.
constexpr std::string_view kSuffixes[] = {"\xB6\xAB", "\xCE\xF7", "\xC4\xCF", "\xB1\xB1"};

// Fills a side from a box text: its typed name, its city and, unless the mode is Exact, the
// same-city group the typed name's first row in the same-city table gives.
void Resolve(const Timetable& tt, std::string_view boxText, MatchMode mode, StationSide& side) {
    const std::string_view typed = TrimControl(boxText);
    side.TypedName.assign(typed);
    side.CityName = CityNameOf(typed);
    side.Members.clear();
    side.GroupId = 0;
    if (mode == MatchMode::Exact) return;

    const StationId station = tt.FindStation(side.TypedName);
    if (station.IsNone()) return;
    const CityGroupId group = tt.Group(station);
    if (group.IsNone()) return;
    for (StationId member : tt.Members(group)) side.Members.push_back(tt.Name(member));
    side.GroupId = tt.GroupNumber(group);
}

template <class Side>
bool SideMatches(std::string_view name, MatchMode mode, const Side& side) {
    if (mode != MatchMode::Exact && !side.Members.empty()) {
        for (const std::string& m : side.Members) {
            if (m == name) return true;
        }
        return false;
    }
    return name == side.TypedName;
}

}  // namespace

std::string CityNameOf(std::string_view name) {
    if (name == kHankou || name == kWuchang) return std::string(kWuhan);
    if (name == kBaiheDong || name == kBaiheXian) return std::string(kBaiheXian);
    if (name == kBaiyinShi || name == kBaiyinXi) return std::string(kBaiyin);
    if (name == kLuoyangLongmen) return std::string(kLuoyang);
    if (name == kShanghaiHongqiao) return std::string(kShanghai);
    if (name == kSuzhouXinqu || name == kSuzhouYuanqu) return std::string(kSuzhou);
    if (name == kWuxiXinqu) return std::string(kWuxi);
    if (name.size() >= 6) {
        const std::string_view last = name.substr(name.size() - 2);
        for (std::string_view s : kSuffixes) {
            if (last == s) return std::string(name.substr(0, name.size() - 2));
        }
    }
    return std::string(name);
}

void ResolveFromStation(const Timetable& tt, std::string_view boxText, MatchMode mode,
                        StationSide& FromSide) {
    Resolve(tt, boxText, mode, FromSide);
}

void ResolveToStation(const Timetable& tt, std::string_view boxText, MatchMode mode,
                      StationSide& ToSide) {
    Resolve(tt, boxText, mode, ToSide);
}

void ResolveStationBox(const Timetable& tt, std::string_view boxText, MatchMode mode,
                       StationSide& FromSide, StationSide& ToSide) {
    Resolve(tt, boxText, mode, FromSide);
    if (mode == MatchMode::Exact) return;
    ToSide.TypedName.assign(TrimControl(boxText));
}

bool StationMatches(std::string_view name, MatchMode mode, QuerySide side,
                    const StationSide& FromSide, const StationSide& ToSide) {
    return side == QuerySide::From ? SideMatches(name, mode, FromSide)
                                   : SideMatches(name, mode, ToSide);
}

bool StationExists(const Timetable& tt, std::string_view text) {
    const StationId station = tt.FindStation(text);
    return !station.IsNone() && !tt.PinyinRows(station).empty();
}

}  // namespace korvel
