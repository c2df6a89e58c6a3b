#include "timetable/timetable_check.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "data/clock.h"
#include "data/decimal.h"
#include "data/run_time.h"
#include "data/schema.h"

namespace korvel {
namespace {

enum class Rule {
    Name,      // 1 to 70 bytes, no control characters: train numbers and station names
    Code,      // 1 to 10 upper-case ASCII letters: the pinyin initials
    Clock,     // empty, or HH:MM within a day
    RunTime,   // "M" under an hour, or "H:M" up to kMaxRunHours hours
    Fare,      // empty, "-", or up to three amounts joined by "/"
    StopNo,    // 1..kMaxStopNumber
    Distance,  // 0..kMaxDistanceKm
    Type,      // 0..99
    Group,     // 0..999999
};

struct FieldRule {
    const char* field;
    Rule rule;
};

std::vector<FieldRule> RulesOf(LoadTable table) {
    const std::vector<FieldRule> fares = {
        {"P1", Rule::Fare}, {"P2", Rule::Fare}, {"P3", Rule::Fare}, {"P4", Rule::Fare}};
    std::vector<FieldRule> rules;
    switch (table) {
        case LoadTable::KMPy:
            return {{"Station", Rule::Name}, {"Shortcode", Rule::Code}};
        case LoadTable::KMSM:
            return {{"Station", Rule::Name}, {"Gp", Rule::Group}};
        case LoadTable::KMList:
            rules = {{"ID", Rule::Name},           {"NType", Rule::Type},
                     {"StartStation", Rule::Name}, {"endStation", Rule::Name},
                     {"A_Time", Rule::Clock},      {"D_Time", Rule::Clock},
                     {"R_Date", Rule::RunTime},    {"Distance", Rule::Distance}};
            break;
        case LoadTable::KMTrain:
            rules = {{"ID", Rule::Name},          {"Station", Rule::Name},
                     {"S_No", Rule::StopNo},      {"A_Time", Rule::Clock},
                     {"D_Time", Rule::Clock},     {"R_Date", Rule::RunTime},
                     {"Distance", Rule::Distance}};
            break;
    }
    rules.insert(rules.end(), fares.begin(), fares.end());
    return rules;
}

const char* TypeName(FieldType type) {
    switch (type) {
        case FieldType::WideString:
            return "WideString";
        case FieldType::SmallInt:
            return "SmallInt";
        case FieldType::Integer:
            break;
    }
    return "Integer";
}

// 1 to `maxDigits` digits, no sign, value in *value.
bool Digits(std::string_view s, std::size_t maxDigits, int* value) {
    const auto v = s.size() <= maxDigits ? WholeInteger<unsigned>(s) : std::nullopt;
    if (v && value != nullptr) *value = static_cast<int>(*v);
    return v.has_value();
}

bool PlainText(std::string_view s, std::size_t maxBytes) {
    if (s.size() > maxBytes) return false;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

bool ValidClock(std::string_view s) {
    return s.empty() || ClockMinutes(s).has_value();
}

bool ValidRunTime(std::string_view s) {
    int h = 0, m = 0;
    const std::size_t colon = s.find(':');
    if (colon == std::string_view::npos) return Digits(s, 2, &m) && m < 60;
    return Digits(s.substr(0, colon), 3, &h) && h <= kMaxRunHours &&
           Digits(s.substr(colon + 1), 2, &m) && m < 60;
}

// "12", "3.5", "0.25": whole yuan up to kMaxFareYuan with at most two decimals, in fen.
std::optional<int> AmountFen(std::string_view s) {
    const std::size_t dot = s.find('.');
    int yuan = 0;
    if (!Digits(s.substr(0, dot), 5, &yuan) || yuan > kMaxFareYuan) return std::nullopt;
    if (dot == std::string_view::npos) return yuan * 100;
    const std::string_view decimals = s.substr(dot + 1);
    int fen = 0;
    if (!Digits(decimals, 2, &fen)) return std::nullopt;
    return yuan * 100 + (decimals.size() == 1 ? fen * 10 : fen);
}

// The amounts of a fare in fen: one, or up to three berths from the upper one down, which
// never cost less than the berth above them. Nothing for "" and "-"; false when invalid.
bool FareAmounts(std::string_view s, std::vector<int>& amounts) {
    amounts.clear();
    if (s.empty() || s == "-") return true;
    for (int part = 0; part < 3; ++part) {
        const std::size_t slash = s.find('/');
        const std::optional<int> fen = AmountFen(s.substr(0, slash));
        if (!fen || (!amounts.empty() && *fen < amounts.back())) return false;
        amounts.push_back(*fen);
        if (slash == std::string_view::npos) return true;
        s.remove_prefix(slash + 1);
    }
    return false;
}

bool ValidFare(std::string_view s) {
    thread_local std::vector<int> amounts;
    return FareAmounts(s, amounts);
}

bool ValidText(Rule rule, std::string_view s) {
    switch (rule) {
        case Rule::Name:
            return !s.empty() && PlainText(s, 70);
        case Rule::Code:
            return !s.empty() && s.size() <= 10 &&
                   std::all_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        case Rule::Clock:
            return ValidClock(s);
        case Rule::RunTime:
            return ValidRunTime(s);
        case Rule::Fare:
            return ValidFare(s);
        default:
            return false;
    }
}

bool ValidNumber(Rule rule, std::int32_t v) {
    switch (rule) {
        case Rule::StopNo:
            return v >= 1 && v <= kMaxStopNumber;
        case Rule::Distance:
            return v >= 0 && v <= kMaxDistanceKm;
        case Rule::Type:
            return v >= 0 && v <= 99;
        case Rule::Group:
            return v >= 0 && v <= 999999;
        default:
            return false;
    }
}

// The value as the message shows it: at most 40 bytes, control characters as '?'.
std::string Shown(std::string_view s) {
    std::string out(s.substr(0, 40));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return s.size() > 40 ? out + "..." : out;
}

void CheckFields(LoadTable which, MemTable& table, const TableStreamFormat& format) {
    for (const FieldDef& want : LoadTableFields(which)) {
        const Field* f = table.FindField(want.name);
        if (f == nullptr) throw TableCheckError("the table has no field '" + want.name + "'");
        if (f->Type() != want.type) {
            throw TableCheckError("field '" + want.name + "' is " + TypeName(f->Type()) +
                                  ", expected " + TypeName(want.type));
        }
        std::size_t column = 0;
        while (table.Fields()[column].name != f->Name()) ++column;
        if (column >= format.fieldLoaded.size() || !format.fieldLoaded[column]) {
            throw TableCheckError("the header line does not load field '" + want.name + "'");
        }
    }
    if (format.skippedColumns != 0) {
        throw TableCheckError("the header line names " + std::to_string(format.skippedColumns) +
                              " column(s) that are no field of the table");
    }
}

bool SameFields(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!AsciiIEquals(a[i], b[i])) return false;
    }
    return true;
}

void CheckIndexes(LoadTable which, MemTable& table) {
    for (const IndexDef& want : LoadTableIndexes(which)) {
        const IndexDef* have = nullptr;
        for (const IndexDef& d : table.Indexes()) {
            if (AsciiIEquals(d.indexName, want.indexName)) have = &d;
        }
        if (have == nullptr || !SameFields(have->fields, want.fields) ||
            have->unique != want.unique || have->descending || have->caseInsensitive) {
            throw TableCheckError("index '" + want.indexName + "' is missing or not defined as " +
                                  "the program reads it");
        }
    }
}

void CheckValues(LoadTable which, MemTable& table) {
    for (const FieldRule& rule : RulesOf(which)) {
        Field& f = table.FieldByName(rule.field);
        const bool text = f.Type() == FieldType::WideString;
        for (std::uint32_t r = 0; r < table.RecordCount(); ++r) {
            const bool ok = text ? ValidText(rule.rule, f.ViewAt(r))
                                 : !f.IsNullAt(r) && ValidNumber(rule.rule, f.IntegerAt(r));
            if (!ok) {
                throw TableCheckError("value '" + Shown(f.ViewAt(r)) + "' is out of bounds", r,
                                      f.Name());
            }
        }
    }
}

// The same value in two records: integers compared as numbers, texts as bytes (a view of an
// integer would share the field's one text buffer).
bool SameValue(const Field& f, std::uint32_t a, std::uint32_t b) {
    if (f.IsNullAt(a) != f.IsNullAt(b)) return false;
    if (f.Type() != FieldType::WideString) return f.IntegerAt(a) == f.IntegerAt(b);
    return f.ViewAt(a) == f.ViewAt(b);
}

// Two records with the same key under an index that is unique.
void CheckUnique(LoadTable which, MemTable& table) {
    for (const IndexDef& def : LoadTableIndexes(which)) {
        if (!def.unique) continue;
        const std::vector<std::uint32_t>* order = table.IndexOrder(def.indexName);
        std::vector<Field*> keys;
        for (const std::string& name : def.fields) keys.push_back(&table.FieldByName(name));
        for (std::size_t i = 1; order != nullptr && i < order->size(); ++i) {
            bool same = true;
            for (std::size_t k = 0; same && k < keys.size(); ++k) {
                same = SameValue(*keys[k], (*order)[i], (*order)[i - 1]);
            }
            if (same) {
                throw TableCheckError("a second record with the key '" +
                                          Shown(keys[0]->ViewAt((*order)[i])) +
                                          "' of the unique index '" + def.indexName + "'",
                                      (*order)[i], keys[0]->Name());
            }
        }
    }
}

// In stop order (index SIDNo), each train's stops are numbered 1, 2, ... without a gap.
void CheckStopNumbers(MemTable& stops) {
    const std::vector<std::uint32_t>* order = stops.IndexOrder("SIDNo");
    Field& id = stops.FieldByName("ID");
    Field& no = stops.FieldByName("S_No");
    std::int32_t expected = 1;
    for (std::size_t i = 0; order != nullptr && i < order->size(); ++i) {
        const std::uint32_t r = (*order)[i];
        if (i > 0 && id.ViewAt(r) != id.ViewAt((*order)[i - 1])) expected = 1;
        if (no.IntegerAt(r) != expected) {
            throw TableCheckError("stop number " + std::to_string(no.IntegerAt(r)) + " where " +
                                      std::to_string(expected) + " comes next",
                                  r, no.Name());
        }
        ++expected;
    }
}

// Along each train (index SIDNo): the origin has a departure time, the terminus an arrival
// time and every stop between both; run times and distances never go back; and a stop's
// arrival is the origin's departure plus its run time, on whichever day that falls.
void CheckStopsAlongTrains(MemTable& stops) {
    const std::vector<std::uint32_t>* order = stops.IndexOrder("SIDNo");
    if (order == nullptr) return;
    Field& id = stops.FieldByName("ID");
    Field& arrival = stops.FieldByName("A_Time");
    Field& departure = stops.FieldByName("D_Time");
    Field& run = stops.FieldByName("R_Date");
    Field& distance = stops.FieldByName("Distance");
    std::array<Field*, 4> fares{&stops.FieldByName("P1"), &stops.FieldByName("P2"),
                                &stops.FieldByName("P3"), &stops.FieldByName("P4")};
    std::array<std::vector<int>, 4> lastFare, fare;
    std::optional<int> origin;  // the origin's departure, minutes after midnight
    int lastRun = 0;
    std::int64_t lastKm = 0;
    for (std::size_t i = 0; i < order->size(); ++i) {
        const std::uint32_t r = (*order)[i];
        const bool first = i == 0 || id.ViewAt(r) != id.ViewAt((*order)[i - 1]);
        const bool last = i + 1 == order->size() || id.ViewAt(r) != id.ViewAt((*order)[i + 1]);
        const std::optional<int> arrives = ClockMinutes(arrival.ViewAt(r));
        if (!last && departure.ViewAt(r).empty()) {
            throw TableCheckError(first ? "the origin has no departure time"
                                        : "a stop on the way has no departure time",
                                  r, departure.Name());
        }
        if (!first && !arrives) {
            throw TableCheckError("a stop after the origin has no arrival time", r, arrival.Name());
        }
        const int runMinutes = RunTimeMinutes(run.ViewAt(r));
        const std::int64_t km = distance.IntegerAt(r);
        if (first) {
            origin = ClockMinutes(departure.ViewAt(r));
        } else if (runMinutes < lastRun) {
            throw TableCheckError("the run time goes back along the train", r, run.Name());
        } else if (km < lastKm) {
            throw TableCheckError("the distance goes back along the train", r, distance.Name());
        } else if (origin && (*origin + runMinutes) % 1440 != *arrives) {
            throw TableCheckError(
                "the arrival time is not the origin's departure plus the run time", r,
                arrival.Name());
        }
        // A longer ride never costs less: each berth's fare from the origin grows or stays.
        for (std::size_t k = 0; k < fares.size(); ++k) {
            FareAmounts(fares[k]->ViewAt(r), fare[k]);
            const bool back = !first && fare[k].size() == lastFare[k].size() &&
                              !std::equal(fare[k].begin(), fare[k].end(), lastFare[k].begin(),
                                          [](int now, int before) { return now >= before; });
            if (back) {
                throw TableCheckError("the fare goes back along the train", r, fares[k]->Name());
            }
            std::swap(fare[k], lastFare[k]);
        }
        lastRun = runMinutes;
        lastKm = km;
    }
}

// A station has one pinyin row: the station input would list it twice. (The index on the
// station is not a unique one, so CheckUnique does not see it.)
void CheckOneCodeRowPerStation(MemTable& pinyin) {
    Field& station = pinyin.FieldByName("Station");
    std::unordered_set<std::string_view> seen;
    seen.reserve(pinyin.RecordCount());
    for (std::uint32_t r = 0; r < pinyin.RecordCount(); ++r) {
        if (!seen.insert(station.ViewAt(r)).second) {
            throw TableCheckError("a second row for station '" + Shown(station.ViewAt(r)) + "'", r,
                                  station.Name());
        }
    }
}

}  // namespace

void CheckLoadedTable(LoadTable which, MemTable& table, const TableStreamFormat& format,
                      bool emptyAllowed) {
    CheckFields(which, table, format);
    CheckIndexes(which, table);
    if (table.RecordCount() == 0 && !emptyAllowed) {
        // The column line is the last before the records (the stream has its writer's form).
        throw TableCheckError::AtLine("the table has no records after the column line",
                                      StreamFormRecordLine(which, 0) - 1, {});
    }
    CheckValues(which, table);
    CheckUnique(which, table);
    if (which == LoadTable::KMTrain) {
        CheckStopNumbers(table);
        CheckStopsAlongTrains(table);
    }
    if (which == LoadTable::KMPy) CheckOneCodeRowPerStation(table);
}

namespace {

bool ByteLess(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

struct TrainFields {
    Field& id;
    Field& start;
    Field& end;
    // (stop's field, list's field): the origin's departure, and the terminus's values.
    std::pair<Field*, Field*> departure;
    std::vector<std::pair<Field*, Field*>> terminus;
};

bool SameValueIn(Field& stopField, std::uint32_t stop, Field& listField, std::uint32_t row) {
    return stopField.Type() == FieldType::WideString
               ? stopField.ViewAt(stop) == listField.ViewAt(row)
               : stopField.IntegerAt(stop) == listField.IntegerAt(row);
}

// The stops [first, last) of one train against its row of the train list: the row's origin
// and terminus are its first and last stop, with their times, and the row's run time and
// distance are the terminus's.
void CheckEnds(const std::vector<std::uint32_t>& stopOrder, std::size_t first, std::size_t last,
               Field& station, TrainFields& list, std::uint32_t row) {
    const std::string_view id = list.id.ViewAt(row);
    const std::uint32_t origin = stopOrder[first];
    const std::uint32_t terminus = stopOrder[last - 1];
    if (last - first < 2) {
        throw TableCheckError("train '" + Shown(id) + "' has fewer than two stops", origin, "ID");
    }
    if (station.ViewAt(origin) != list.start.ViewAt(row)) {
        throw TableCheckError("train '" + Shown(id) + "' starts elsewhere than in the train list",
                              origin, station.Name());
    }
    if (station.ViewAt(terminus) != list.end.ViewAt(row)) {
        throw TableCheckError("train '" + Shown(id) + "' ends elsewhere than in the train list",
                              terminus, station.Name());
    }
    if (!SameValueIn(*list.departure.first, origin, *list.departure.second, row)) {
        throw TableCheckError(
            "train '" + Shown(id) + "' leaves its origin at another time than in the train list",
            origin, list.departure.first->Name());
    }
    for (const auto& [stopField, listField] : list.terminus) {
        if (!SameValueIn(*stopField, terminus, *listField, row)) {
            throw TableCheckError("train '" + Shown(id) + "' has another " + stopField->Name() +
                                      " at its terminus than the train list's " + listField->Name(),
                                  terminus, stopField->Name());
        }
    }
}

}  // namespace

void CheckStopsInTrainList(MemTable& stops, MemTable& trains) {
    const std::vector<std::uint32_t>* stopOrder = stops.IndexOrder("SIDNo");
    const std::vector<std::uint32_t>* trainOrder = trains.IndexOrder("SID");
    if (stopOrder == nullptr || trainOrder == nullptr) return;
    Field& stopId = stops.FieldByName("ID");
    Field& station = stops.FieldByName("Station");
    // The train list's A_Time is the departure from the origin, its D_Time the arrival at
    // the terminus: the other way round from the stops.
    TrainFields list{trains.FieldByName("ID"),
                     trains.FieldByName("StartStation"),
                     trains.FieldByName("endStation"),
                     {&stops.FieldByName("D_Time"), &trains.FieldByName("A_Time")},
                     {{&stops.FieldByName("A_Time"), &trains.FieldByName("D_Time")}}};
    // Not the fares: the train query shows the list's own, which a timetable may set apart.
    for (const char* name : {"R_Date", "Distance"}) {
        list.terminus.emplace_back(&stops.FieldByName(name), &trains.FieldByName(name));
    }
    // Both orders sort train numbers by their bytes: one merge walk pairs every train of the
    // list with its run of stops.
    std::size_t s = 0;
    for (const std::uint32_t row : *trainOrder) {
        const std::string_view id = list.id.ViewAt(row);
        if (s < stopOrder->size() && ByteLess(stopId.ViewAt((*stopOrder)[s]), id)) {
            throw TableCheckError("train '" + Shown(stopId.ViewAt((*stopOrder)[s])) +
                                      "' is not in the train list (SLIST.stream)",
                                  (*stopOrder)[s], stopId.Name());
        }
        const std::size_t first = s;
        while (s < stopOrder->size() && stopId.ViewAt((*stopOrder)[s]) == id) ++s;
        if (s == first) {
            throw TableCheckError(
                "train '" + Shown(id) + "' of the train list has no stops (STRAIN.stream)", row,
                list.id.Name(), LoadTable::KMList);
        }
        CheckEnds(*stopOrder, first, s, station, list, row);
    }
    if (s < stopOrder->size()) {
        throw TableCheckError("train '" + Shown(stopId.ViewAt((*stopOrder)[s])) +
                                  "' is not in the train list (SLIST.stream)",
                              (*stopOrder)[s], stopId.Name());
    }
}

namespace {

// The first character of a GBK name when it is of the user-defined areas (AAA1-AFFE,
// F8A1-FEFE, A140-A7A0), and the name without it.
std::optional<std::string_view> AfterUserDefinedCharacter(std::string_view name) {
    if (name.size() < 4) return std::nullopt;
    const auto lead = static_cast<unsigned char>(name[0]);
    const auto trail = static_cast<unsigned char>(name[1]);
    const bool userDefined = (lead >= 0xaa && lead <= 0xaf && trail >= 0xa1) ||
                             (lead >= 0xf8 && trail >= 0xa1) ||
                             (lead >= 0xa1 && lead <= 0xa7 && trail >= 0x40 && trail <= 0xa0);
    if (!userDefined) return std::nullopt;
    return name.substr(2);
}

using NameSet = std::unordered_set<std::string_view>;

NameSet NamesOf(Field& field, std::uint32_t records) {
    NameSet names;
    names.reserve(records);
    for (std::uint32_t r = 0; r < records; ++r) names.insert(field.ViewAt(r));
    return names;
}

// `name`, or the name without a leading user-defined character, is in `names`.
bool Listed(const NameSet& names, std::string_view name) {
    if (names.contains(name)) return true;
    const auto rest = AfterUserDefinedCharacter(name);
    return rest && names.contains(*rest);
}

}  // namespace

void CheckStationsAcrossTables(MemTable& stops, MemTable& pinyin, MemTable* groups) {
    Field& stopStation = stops.FieldByName("Station");
    const NameSet served = NamesOf(stopStation, stops.RecordCount());
    Field& pinyinStation = pinyin.FieldByName("Station");
    if (groups != nullptr) {
        Field& groupStation = groups->FieldByName("Station");
        for (std::uint32_t r = 0; r < groups->RecordCount(); ++r) {
            if (!served.contains(groupStation.ViewAt(r))) {
                throw TableCheckError("same-city station '" + Shown(groupStation.ViewAt(r)) +
                                          "' is served by no train",
                                      r, groupStation.Name(), LoadTable::KMSM);
            }
        }
    }
    const NameSet coded = NamesOf(pinyinStation, pinyin.RecordCount());
    bool missing = false;
    for (const std::string_view name : served) missing = missing || !Listed(coded, name);
    if (!missing) return;
    // The first stop in the file at such a station, to name its line.
    for (std::uint32_t r = 0; r < stops.RecordCount(); ++r) {
        const std::string_view name = stopStation.ViewAt(r);
        if (!Listed(coded, name)) {
            throw TableCheckError(
                "station '" + Shown(name) + "' has no row in the pinyin table (SPY.stream)", r,
                stopStation.Name());
        }
    }
}

}  // namespace korvel
