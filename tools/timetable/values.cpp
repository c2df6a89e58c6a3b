// Values derived from a cleaned train: its type, run-time and clock texts, and fares.
#include <algorithm>
#include <cstdio>

#include "query/fare_tariff.h"
#include "timetable/builder.h"
#include "timetable/text_util.h"

namespace korvel::timetable {
namespace {

// Fares are quoted to the half yuan.
std::string HalfText(double yuan) {
    return DecimalText(RoundHalfUp(yuan * 2.0) / 2.0);
}

}  // namespace

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
}  // namespace korvel::timetable
