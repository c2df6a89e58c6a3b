// Reading the sources: stops.csv, the station lists, the same-city groups and the sample
// overrides; numbers with identical stop lists become one train.
#include <algorithm>
#include <optional>
#include <unordered_map>

#include "timetable/builder.h"
#include "timetable/text_util.h"

namespace korvel::timetable {
namespace {

constexpr std::size_t kMaxIdLength = 35;

struct StopRow {
    std::string number;
    int sno = 0;
    SourceStop stop;
};

// One row "tid,sno,sname,arrv_time,depart_time,day,mileage"; nothing when malformed.
std::optional<StopRow> ParseStopRow(std::vector<std::string>& f) {
    if (f.size() != 7) return std::nullopt;
    StopRow row;
    row.number = std::move(f[0]);
    const auto sno = WholeInteger<int>(f[1]);
    const auto day = WholeInteger<int>(f[5]);
    const auto km = WholeInteger<int>(f[6]);
    if (row.number.empty() || !sno || !day || !km || f[2].empty()) return std::nullopt;
    row.sno = *sno;
    row.stop.station = std::move(f[2]);
    // "-99:00" (no time at this stop) is no clock time either.
    row.stop.arrival = ClockMinutes(f[3]).value_or(-1);
    row.stop.departure = ClockMinutes(f[4]).value_or(-1);
    row.stop.day = *day;
    row.stop.km = *km < 0 ? -1 : *km;
    return row;
}

enum class Repeats { None, SameRow, OtherRow };

// One number's rows in stop-number order. Some numbers list their whole stop list twice: a
// stop number given again with the same row is kept once; given again with a different row
// it leaves the stop order unknown.
Repeats OrderStops(std::vector<std::pair<int, SourceStop>>& rows, std::vector<SourceStop>& stops) {
    const auto same = [](const SourceStop& a, const SourceStop& b) {
        return a.station == b.station && a.arrival == b.arrival && a.departure == b.departure &&
               a.day == b.day && a.km == b.km;
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Repeats repeats = Repeats::None;
    int lastSno = 0;
    for (auto& [sno, stop] : rows) {
        if (!stops.empty() && sno == lastSno) {
            if (!same(stops.back(), stop)) return Repeats::OtherRow;
            repeats = Repeats::SameRow;
            continue;
        }
        lastSno = sno;
        stops.push_back(std::move(stop));
    }
    return repeats;
}

}  // namespace

std::vector<SourceTrain> ParseStopsCsv(std::string_view text, BuildReport& report) {
    std::vector<SourceTrain> trains;
    std::unordered_map<std::string, std::size_t> byNumber;
    std::vector<std::vector<std::pair<int, SourceStop>>> numbered;
    bool header = true;
    for (CsvRecord& record : ReadCsv(text).records) {
        if (header) {
            header = false;
            if (record.values.size() > 1 && record.values[0] == "tid") continue;
        }
        ++report.rowsRead;
        auto row = ParseStopRow(record.values);
        if (!row) {
            ++report.rowsRejected;
            continue;
        }
        auto [it, added] = byNumber.emplace(row->number, trains.size());
        if (added) {
            trains.push_back({row->number, {}});
            numbered.emplace_back();
        }
        numbered[it->second].emplace_back(row->sno, std::move(row->stop));
    }
    std::vector<SourceTrain> kept;
    kept.reserve(trains.size());
    for (std::size_t i = 0; i < trains.size(); ++i) {
        const Repeats repeats = OrderStops(numbered[i], trains[i].stops);
        if (repeats == Repeats::OtherRow) {
            const char* why = "conflicting rows for one stop number";
            ++report.drops[why];
            if (report.dropExamples[why].size() < 3)
                report.dropExamples[why].push_back(trains[i].number);
            continue;
        }
        if (repeats == Repeats::SameRow) ++report.repairs["stop list given twice"];
        kept.push_back(std::move(trains[i]));
    }
    report.numbersRead = static_cast<int>(trains.size());
    return kept;
}

std::map<std::string, std::string> ParseStationList(std::string_view text) {
    std::map<std::string, std::string> out;
    const auto entries = Split(text, '@');
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const auto f = Split(entries[i], '|');
        if (f.size() < 5) continue;
        const std::string name(TrimControl(f[1]));
        std::string initials;
        for (char c : TrimControl(f[4])) {
            if (c >= 'a' && c <= 'z')
                initials += static_cast<char>(c - 'a' + 'A');
            else if (c >= 'A' && c <= 'Z')
                initials += c;
        }
        if (!name.empty() && !initials.empty()) out.emplace(name, initials);
    }
    return out;
}

std::vector<std::vector<std::string>> ParseGroups(std::string_view text) {
    std::vector<std::vector<std::string>> groups;
    for (CsvRecord& record : ReadCsv(text).records) {
        std::erase(record.values, std::string());
        if (!record.values.empty()) groups.push_back(std::move(record.values));
    }
    return groups;
}

std::vector<MergedTrain> MergeIdenticalTrains(const std::vector<SourceTrain>& trains,
                                              BuildReport& report) {
    std::vector<MergedTrain> merged;
    std::unordered_map<std::string, std::size_t> byStops;
    for (const SourceTrain& t : trains) {
        std::string key;
        for (const SourceStop& s : t.stops) {
            key += s.station + '\x1F' + IntText(s.arrival) + ',' + IntText(s.departure) + ',' +
                   IntText(s.day) + ',' + IntText(s.km) + '\x1E';
        }
        auto [it, added] = byStops.emplace(key, merged.size());
        if (added) {
            merged.push_back({{t.number}, t.stops});
            continue;
        }
        MergedTrain& m = merged[it->second];
        std::size_t length = 0;
        for (const auto& n : m.numbers) length += n.size() + 1;
        if (length + t.number.size() > kMaxIdLength) {
            ++report.numbersNotJoined;
            continue;
        }
        m.numbers.push_back(t.number);
        ++report.numbersMerged;
    }
    report.distinctTrains = static_cast<int>(merged.size());
    return merged;
}

std::vector<Override> ParseOverrides(std::string_view text) {
    std::vector<Override> out;
    for (CsvRecord& record : ReadCsv(text).records) {
        std::vector<std::string>& f = record.values;
        if (f[0].starts_with('#') || f.size() < 3 || f[0] == "train") continue;
        Override o;
        o.train = std::move(f[0]);
        o.station = std::move(f[1]);
        o.nType = WholeInteger<int>(f[2]).value_or(0);
        if (f.size() >= 7) o.fares = {f[3], f[4], f[5], f[6]};
        out.push_back(std::move(o));
    }
    return out;
}
}  // namespace korvel::timetable
