#include "timetable/builder.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <unordered_map>

#include "data/gbk.h"
#include "data/schema.h"
#include "data/table_stream.h"
#include "query/center.h"

namespace korvel::timetable {
namespace {

constexpr std::size_t kMaxIdLength = 35;
// Two consecutive events more than this far apart on the clock, read backwards, are a
// midnight the day column missed; anything closer is a clock that really goes backwards.
constexpr int kMaxMissedMidnightGap = 12 * 60;

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
    s = Trim(s);
    if (s.empty()) return std::nullopt;
    bool negative = false;
    if (s.front() == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::string IntText(int v) {
    return std::to_string(v);
}

// Fares are quoted to the half yuan.
std::string HalfText(double yuan) {
    return DecimalText(RoundHalfUp(yuan * 2.0) / 2.0);
}

bool NonDecreasing(const std::vector<int>& v) {
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] < v[i - 1]) return false;
    }
    return true;
}

// Decodes one UTF-8 code point at `pos`, advancing it; 0xFFFD for a malformed sequence.
char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    int len = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
    if (len == 0 || pos + len > s.size()) {
        ++pos;
        return 0xFFFD;
    }
    char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
    for (int i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    pos += len;
    return cp;
}

// Initial letter of a pinyin syllable written with tone marks ("běi", "ài", "ǹg").
char PinyinInitial(std::string_view syllable) {
    if (syllable.empty()) return 0;
    std::size_t pos = 0;
    const char32_t cp = NextCodePoint(syllable, pos);
    if (cp < 0x80) {
        const char c = static_cast<char>(cp);
        if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
        if (c >= 'A' && c <= 'Z') return c;
        return 0;
    }
    static const std::pair<std::u32string_view, char> kMarked[] = {
        {U"àáâãäāǎ", 'A'},    {U"èéêëēěếềḗḕ", 'E'}, {U"ìíîïīǐ", 'I'}, {U"òóôõöōǒ", 'O'},
        {U"ùúûüūǔǖǘǚǜ", 'U'}, {U"ḿ", 'M'},          {U"ńňǹ", 'N'},
    };
    for (const auto& [letters, initial] : kMarked) {
        if (letters.find(cp) != std::u32string_view::npos) return initial;
    }
    return 0;
}

// Characters whose first listed reading is not the one station names use.
char ReadingOverride(char32_t cp) {
    switch (cp) {
        case U'长':
            return 'C';  // 长春, 长沙: chang
        case U'重':
            return 'C';  // 重庆: chong
        case U'厦':
            return 'X';  // 厦门: xia
        case U'乐':
            return 'Y';  // the builder's table: yue
        case U'堡':
            return 'B';  // bu / bao
        case U'蚌':
            return 'B';  // 蚌埠: beng
        case U'六':
            return 'L';  // 六安: lu
        case U'单':
            return 'S';  // 单县: shan
        case U'番':
            return 'P';  // 番禺: pan
        default:
            return 0;
    }
}

}  // namespace

// --- reading -----------------------------------------------------------------------------------

int ParseClock(std::string_view text) {
    text = Trim(text);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return -1;
    const auto h = ParseInt(text.substr(0, colon));
    const auto m = ParseInt(text.substr(colon + 1));
    if (!h || !m || *h < 0 || *h > 23 || *m < 0 || *m > 59) return -1;
    return *h * 60 + *m;
}

std::vector<SourceTrain> ParseStopsCsv(std::string_view text, BuildReport& report) {
    text = StripBom(text);
    std::vector<SourceTrain> trains;
    std::unordered_map<std::string, std::size_t> byNumber;
    std::vector<std::vector<std::pair<int, SourceStop>>> numbered;
    bool header = true;
    for (std::string_view line : Split(text, '\n')) {
        line = Trim(line);
        if (line.empty()) continue;
        if (header) {
            header = false;
            if (line.substr(0, 4) == "tid,") continue;
        }
        ++report.rowsRead;
        const auto f = Split(line, ',');
        if (f.size() != 7) {
            ++report.rowsRejected;
            continue;
        }
        const std::string number(Trim(f[0]));
        const auto sno = ParseInt(f[1]);
        const auto day = ParseInt(f[5]);
        const auto km = ParseInt(f[6]);
        if (number.empty() || !sno || !day || !km || Trim(f[2]).empty()) {
            ++report.rowsRejected;
            continue;
        }
        SourceStop stop;
        stop.station = std::string(Trim(f[2]));
        stop.arrival = ParseClock(f[3]);
        stop.departure = ParseClock(f[4]);
        stop.day = *day;
        stop.km = *km < 0 ? -1 : *km;
        auto [it, added] = byNumber.emplace(number, trains.size());
        if (added) {
            trains.push_back({number, {}});
            numbered.emplace_back();
        }
        numbered[it->second].emplace_back(*sno, std::move(stop));
    }
    // Some numbers list their whole stop list twice. A stop number given again with the same
    // row is kept once; given again with a different row it leaves the stop order unknown,
    // and the number is left out.
    const auto same = [](const SourceStop& a, const SourceStop& b) {
        return a.station == b.station && a.arrival == b.arrival && a.departure == b.departure &&
               a.day == b.day && a.km == b.km;
    };
    std::vector<SourceTrain> kept;
    kept.reserve(trains.size());
    for (std::size_t i = 0; i < trains.size(); ++i) {
        auto& rows = numbered[i];
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        bool repeated = false;
        bool conflicting = false;
        int lastSno = 0;
        for (auto& [sno, stop] : rows) {
            if (!trains[i].stops.empty() && sno == lastSno) {
                if (same(trains[i].stops.back(), stop)) {
                    repeated = true;
                } else {
                    conflicting = true;
                }
                continue;
            }
            lastSno = sno;
            trains[i].stops.push_back(std::move(stop));
        }
        if (conflicting) {
            ++report.drops["conflicting rows for one stop number"];
            continue;
        }
        if (repeated) ++report.repairs["stop list given twice"];
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
        const std::string name(Trim(f[1]));
        std::string initials;
        for (char c : Trim(f[4])) {
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
    for (std::string_view line : Split(StripBom(text), '\n')) {
        std::vector<std::string> g;
        for (std::string_view name : Split(Trim(line), ',')) {
            name = Trim(name);
            if (!name.empty()) g.emplace_back(name);
        }
        if (!g.empty()) groups.push_back(std::move(g));
    }
    return groups;
}

std::map<char32_t, char> ParseReadings(std::string_view text) {
    std::map<char32_t, char> out;
    for (std::string_view line : Split(text, '\n')) {
        if (line.substr(0, 2) != "U+") continue;
        const auto f = Split(line, '\t');
        if (f.size() < 3 || f[1] != "kMandarin") continue;
        const char32_t cp =
            static_cast<char32_t>(std::strtoul(std::string(f[0].substr(2)).c_str(), nullptr, 16));
        const std::string_view first = Split(Trim(f[2]), ' ')[0];
        const char initial = PinyinInitial(first);
        if (initial) out[cp] = initial;
    }
    return out;
}

std::string InitialsFromReadings(std::string_view name, const std::map<char32_t, char>& readings,
                                 bool* complete) {
    std::string out;
    bool all = true;
    std::size_t pos = 0;
    while (pos < name.size()) {
        const char32_t cp = NextCodePoint(name, pos);
        if (cp < 0x80) {
            const char c = static_cast<char>(cp);
            if (c >= 'a' && c <= 'z')
                out += static_cast<char>(c - 'a' + 'A');
            else if (c >= 'A' && c <= 'Z')
                out += c;
            continue;
        }
        char initial = ReadingOverride(cp);
        if (!initial) {
            const auto it = readings.find(cp);
            if (it != readings.end()) initial = it->second;
        }
        if (initial)
            out += initial;
        else
            all = false;
    }
    if (complete) *complete = all;
    return out;
}

// --- cleaning ----------------------------------------------------------------------------------

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

std::optional<std::vector<CleanStop>> CleanStops(const std::vector<SourceStop>& stops,
                                                 std::string* reason, std::string* repaired,
                                                 int maxKmPerHour) {
    auto fail = [&](const char* why) -> std::optional<std::vector<CleanStop>> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    const std::size_t n = stops.size();
    if (n < 2) return fail("fewer than two stops");
    if (stops.front().departure < 0) return fail("no departure at the origin");
    if (stops.back().arrival < 0) return fail("no arrival at the terminus");
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (stops[i].arrival < 0 && stops[i].departure < 0) return fail("stop without times");
    }

    // Absolute minutes from midnight of the origin's day. The day column is the arrival's
    // day; a departure after midnight keeps the arrival's day, and an event the day column
    // put before its predecessor by more than half a day is taken as a missed midnight.
    std::vector<int> arr(n), dep(n);
    auto place = [](int clock, int base, int prev) {
        int t = base + clock;
        if (t < prev && prev - t > kMaxMissedMidnightGap) {
            while (t < prev) t += 1440;
        }
        return t;
    };
    const int originBase = (std::max(stops[0].day, 1) - 1) * 1440;
    dep[0] = originBase + stops[0].departure;
    arr[0] = dep[0];
    for (std::size_t i = 1; i < n; ++i) {
        const SourceStop& s = stops[i];
        const int a = s.arrival >= 0 ? s.arrival : s.departure;
        const int d = (i + 1 == n) ? a : (s.departure >= 0 ? s.departure : s.arrival);
        const int base = (std::max(s.day, 1) - 1) * 1440;
        arr[i] = place(a, base, dep[i - 1]);
        int t = arr[i] - a + d;     // same day as the arrival
        if (t < arr[i]) t += 1440;  // left after midnight
        dep[i] = t;
    }
    auto timeline = [&]() {
        std::vector<int> t;
        for (std::size_t i = 0; i < n; ++i) {
            if (i > 0) t.push_back(arr[i]);
            if (i + 1 < n) t.push_back(dep[i]);
        }
        return t;
    };
    std::vector<int> km(n);
    for (std::size_t i = 0; i < n; ++i) km[i] = stops[i].km;
    if (km[0] < 0) km[0] = 0;

    std::string repairs;
    if (!NonDecreasing(timeline())) {
        // One middle stop whose times fall outside its neighbours' is moved between them,
        // in proportion to its distance when that is known.
        int best = -1;
        long bestDeviation = -1;
        std::pair<int, int> bestTimes;
        for (std::size_t k = 1; k + 1 < n; ++k) {
            const int lo = dep[k - 1], hi = arr[k + 1];
            if (hi < lo) continue;
            int t = lo + (hi - lo) / 2;
            if (km[k - 1] >= 0 && km[k + 1] > km[k - 1] && km[k] >= km[k - 1] &&
                km[k] <= km[k + 1]) {
                t = lo + static_cast<int>(static_cast<long>(hi - lo) * (km[k] - km[k - 1]) /
                                          (km[k + 1] - km[k - 1]));
            }
            const auto saved = std::make_pair(arr[k], dep[k]);
            arr[k] = dep[k] = t;
            if (NonDecreasing(timeline())) {
                const long deviation = std::labs(saved.first - t) + std::labs(saved.second - t);
                if (deviation > bestDeviation) {
                    bestDeviation = deviation;
                    best = static_cast<int>(k);
                    bestTimes = {t, t};
                }
            }
            arr[k] = saved.first;
            dep[k] = saved.second;
        }
        if (best < 0) return fail("times go backwards");
        arr[best] = bestTimes.first;
        dep[best] = bestTimes.second;
        repairs = "times of one stop";
    }

    auto distancesOk = [&]() {
        for (int v : km) {
            if (v < 0) return false;
        }
        if (!NonDecreasing(km)) return false;
        return true;
    };
    // Stop times are whole minutes: allow a few kilometres of slack per segment.
    auto speedsOk = [&]() {
        if (maxKmPerHour <= 0) return true;
        for (std::size_t i = 1; i < n; ++i) {
            const long allowed = static_cast<long>(arr[i] - dep[i - 1]) * maxKmPerHour / 60 + 5;
            if (km[i] - km[i - 1] > allowed) return false;
        }
        return true;
    };
    auto plausible = [&]() { return distancesOk() && speedsOk(); };
    if (!plausible()) {
        const bool ordered = distancesOk();
        // One middle stop with an unknown or out-of-order distance, between two neighbours
        // that agree, gets the distance its times put it at.
        int best = -1;
        long bestDeviation = -1;
        int bestKm = 0;
        for (std::size_t k = 1; k + 1 < n; ++k) {
            const int lo = km[k - 1], hi = km[k + 1];
            if (lo < 0 || hi < lo) continue;
            const int span = arr[k + 1] - dep[k - 1];
            int value = lo + (hi - lo) / 2;
            if (span > 0) {
                value = lo +
                        static_cast<int>(static_cast<long>(hi - lo) * (arr[k] - dep[k - 1]) / span);
            }
            const int saved = km[k];
            km[k] = value;
            if (plausible()) {
                const long deviation = saved < 0 ? 1L << 30 : std::labs(saved - value);
                if (deviation > bestDeviation) {
                    bestDeviation = deviation;
                    best = static_cast<int>(k);
                    bestKm = value;
                }
            }
            km[k] = saved;
        }
        if (best < 0) {
            if (ordered) return fail("implausible speed between two stops");
            for (int v : km) {
                if (v < 0) return fail("unknown distances");
            }
            return fail("distances go down");
        }
        const bool unknown = km[best] < 0;
        km[best] = bestKm;
        if (!repairs.empty()) repairs += ", ";
        repairs += unknown   ? "unknown distance of one stop"
                   : ordered ? "distance of one stop (implausible speed)"
                             : "distance of one stop (out of order)";
    }
    if (repaired) *repaired = repairs;

    std::vector<CleanStop> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i].station = stops[i].station;
        out[i].arrival = i == 0 ? dep[0] : arr[i];
        out[i].departure = i + 1 == n ? arr[i] : dep[i];
        out[i].km = km[i];
    }
    return out;
}

// --- values ------------------------------------------------------------------------------------

int TrainTypeFromNumber(std::string_view number) {
    if (number.empty()) return 0;
    switch (number.front()) {
        case 'G':
            return 2;
        case 'D':
            return 1;
        case 'C':
            return 3;
        case 'Z':
            return 4;
        case 'T':
        case 'Y':
            return 5;
        case 'K':
            return 6;
        case 'S':
            return 12;
        case 'L':
            return 13;
        default:
            break;
    }
    if (number.front() < '0' || number.front() > '9') return 8;
    std::size_t digits = 0;
    while (digits < number.size() && number[digits] >= '0' && number[digits] <= '9') ++digits;
    const auto value = ParseInt(number.substr(0, std::min<std::size_t>(digits, 9)));
    if (value && *value >= 1000 && *value <= 5999) return 9;
    if (value && *value >= 6000 && *value <= 7999) return 11;
    return 8;
}

int MaxSpeedForNumber(std::string_view number) {
    const int type = TrainTypeFromNumber(number);
    return type >= 1 && type <= 3 ? 400 : 220;
}

std::string RunTimeText(int minutes) {
    if (minutes <= 0) return "0";
    if (minutes < 60) return IntText(minutes);
    return IntText(minutes / 60) + ":" + IntText(minutes % 60);
}

std::string ClockText(int minutes) {
    const int m = ((minutes % 1440) + 1440) % 1440;
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", m / 60, m % 60);
    return buf;
}

StopFares ComputeFares(int nType, int km, bool sleepers) {
    StopFares f;
    if (nType >= 1 && nType <= 3) {
        // EMU fares run by the kilometre: second class, first class as a multiple of it.
        const double rate = nType == 2 ? 0.46 : 0.3097222;
        const double first = nType == 2 ? 1.6 : 1.199243;
        f.p1 = HalfText(km * rate);
        f.p2 = HalfText(km * rate * first);
        f.p3 = "-";
        f.p4 = "-";
        return f;
    }
    const bool airConditioned =
        nType == 4 || nType == 5 || nType == 6 || nType == 9 || nType == 10 || nType == 13;
    const SpanFares s = ConventionalSpanFares(nType, km, 1.0, airConditioned);
    f.p1 = HalfText(s.hardSeat);
    f.p2 = "-";  // conventional trains carry no soft-seat coaches
    if (sleepers) {
        f.p3 = IntText(RoundHalfUp(s.hardSleeper[0])) + "/" +
               IntText(RoundHalfUp(s.hardSleeper[1])) + "/" +
               IntText(RoundHalfUp(s.hardSleeper[2]));
        f.p4 =
            IntText(RoundHalfUp(s.softSleeper[0])) + "/" + IntText(RoundHalfUp(s.softSleeper[1]));
    } else {
        f.p3 = "-";
        f.p4 = "-";
    }
    return f;
}

bool HasSleepers(const std::vector<CleanStop>& stops) {
    if (stops.empty()) return false;
    const int km = stops.back().km - stops.front().km;
    const int origin = stops.front().departure;
    const int originMidnight = origin - ((origin % 1440) + 1440) % 1440;
    return km > 500 || stops.back().arrival >= originMidnight + 1440;
}

std::vector<Override> ParseOverrides(std::string_view text) {
    std::vector<Override> out;
    for (std::string_view line : Split(StripBom(text), '\n')) {
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        const auto f = Split(line, ',');
        if (f.size() < 3 || Trim(f[0]) == "train") continue;
        Override o;
        o.train = std::string(Trim(f[0]));
        o.station = std::string(Trim(f[1]));
        o.nType = ParseInt(f[2]).value_or(0);
        if (f.size() >= 7) {
            o.fares = {std::string(Trim(f[3])), std::string(Trim(f[4])), std::string(Trim(f[5])),
                       std::string(Trim(f[6]))};
        }
        out.push_back(std::move(o));
    }
    return out;
}

// --- the build -----------------------------------------------------------------------------------

BuildOutput BuildTimetable(const Sources& sources) {
    BuildOutput out;
    BuildReport& report = out.report;
    const auto source = ParseStopsCsv(sources.stopsCsv, report);
    const auto merged = MergeIdenticalTrains(source, report);
    // Numbers left out while reading count among the trains that did not survive.
    if (auto it = report.drops.find("conflicting rows for one stop number");
        it != report.drops.end()) {
        report.distinctTrains += it->second;
    }
    const auto overrides = ParseOverrides(sources.overrides);

    struct Built {
        CleanTrain train;
        int nType = 0;
        std::vector<StopFares> fares;
    };
    std::vector<Built> built;
    for (const MergedTrain& m : merged) {
        std::string reason, repaired;
        auto stops = CleanStops(m.stops, &reason, &repaired, MaxSpeedForNumber(m.numbers.front()));
        if (!stops) {
            ++report.drops[reason];
            continue;
        }
        bool badName = false;
        for (const auto& s : *stops) {
            const std::string gbk = Utf8ToGbk(s.station);
            if (gbk.empty() || gbk.size() > 20 || gbk.find('?') != std::string::npos) {
                badName = true;
            }
        }
        if (badName) {
            ++report.drops["station name not in GBK or too long"];
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
    std::sort(built.begin(), built.end(),
              [](const Built& a, const Built& b) { return a.train.id < b.train.id; });
    // Numbers are unique in the train list: a later train whose ID repeats is left out.
    built.erase(std::unique(built.begin(), built.end(),
                            [&](const Built& a, const Built& b) {
                                if (a.train.id != b.train.id) return false;
                                ++report.drops["number already used"];
                                return true;
                            }),
                built.end());

    // Stops and trains.
    std::vector<std::vector<std::string>> listRows, stopRows;
    std::map<std::string, int> calls;           // GBK station -> trains calling
    std::map<std::string, std::string> utf8Of;  // GBK station -> UTF-8 name
    for (const Built& b : built) {
        const auto& stops = b.train.stops;
        const int origin = stops.front().departure;
        std::set<std::string> seen;
        for (std::size_t i = 0; i < stops.size(); ++i) {
            const CleanStop& s = stops[i];
            const std::string name = Utf8ToGbk(s.station);
            utf8Of[name] = s.station;
            if (seen.insert(name).second) ++calls[name];
            const bool first = i == 0, last = i + 1 == stops.size();
            stopRows.push_back({b.train.id, name, IntText(static_cast<int>(i) + 1),
                                first ? "" : ClockText(s.arrival),
                                last ? "" : ClockText(s.departure),
                                first ? "0" : RunTimeText(s.arrival - origin), IntText(s.km),
                                b.fares[i].p1, b.fares[i].p2, b.fares[i].p3, b.fares[i].p4});
        }
        const CleanStop& end = stops.back();
        const StopFares& f = b.fares.back();
        listRows.push_back({b.train.id, IntText(b.nType), Utf8ToGbk(stops.front().station),
                            Utf8ToGbk(end.station), ClockText(origin), ClockText(end.arrival),
                            RunTimeText(end.arrival - origin), IntText(end.km), f.p1, f.p2, f.p3,
                            f.p4});
    }
    report.trainsBuilt = static_cast<int>(listRows.size());
    report.stopsBuilt = static_cast<int>(stopRows.size());
    report.stations = static_cast<int>(calls.size());

    // Pinyin short codes: the newest station list that has the name, else the readings.
    std::vector<std::map<std::string, std::string>> lists;
    for (const auto& text : sources.stationLists) lists.push_back(ParseStationList(text));
    report.readingsAvailable = !sources.readings.empty();
    report.readingsBuiltIn = sources.readingsBuiltIn;
    struct PyRow {
        std::string code, station;
        int calls;
    };
    std::vector<PyRow> pyRows;
    for (const auto& [name, count] : calls) {
        const std::string& utf8 = utf8Of[name];
        std::string code;
        for (const auto& list : lists) {
            const auto it = list.find(utf8);
            if (it != list.end()) {
                code = it->second;
                ++report.shortcodesFromList;
                break;
            }
        }
        if (code.empty()) {
            bool complete = true;
            code = InitialsFromReadings(utf8, sources.readings, &complete);
            ++report.shortcodesFromReadings;
            if (!complete) {
                ++report.shortcodesIncomplete;
                report.notes.push_back("short code of " + utf8 + " lacks a character: " + code);
            }
        }
        if (code.size() > 10) code.resize(10);
        pyRows.push_back({code, name, count});
    }
    std::sort(pyRows.begin(), pyRows.end(), [](const PyRow& a, const PyRow& b) {
        if (a.code != b.code) return a.code < b.code;
        if (a.calls != b.calls) return a.calls > b.calls;
        return a.station < b.station;
    });
    std::vector<std::vector<std::string>> spyRows;
    for (const auto& r : pyRows) spyRows.push_back({r.station, r.code});

    // Same-city groups, kept to the stations trains call at.
    std::vector<std::vector<std::string>> smRows;
    std::set<std::string> grouped;
    int gp = 0;
    for (const auto& group : ParseGroups(sources.groups)) {
        std::vector<std::string> members;
        for (const auto& utf8 : group) {
            const std::string name = Utf8ToGbk(utf8);
            if (calls.count(name) && !grouped.count(name) &&
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
            smRows.push_back({name, IntText(gp)});
        }
    }
    report.groupsKept = gp;
    report.groupStations = static_cast<int>(smRows.size());

    out.slist = WriteTableStream(KMListFields(), KMListIndexes(), listRows);
    out.strain = WriteTableStream(KMTrainFields(), KMTrainIndexes(), stopRows);
    out.sm = WriteTableStream(KMSMFields(), KMSMIndexes(), smRows);
    out.spy = WriteTableStream(KMPyFields(), KMPyIndexes(), spyRows);
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
    for (const auto& [why, n] : drops) o << "    " << why << ": " << n << "\n";
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
    for (const auto& note : notes) o << "  note: " << note << "\n";
    return o.str();
}

}  // namespace korvel::timetable
