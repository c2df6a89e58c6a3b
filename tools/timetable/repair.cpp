// Cleaning one train: absolute times, known distances, and the one-stop repairs.
#include <algorithm>
#include <cstdlib>
#include <optional>

#include "timetable/builder.h"

namespace korvel::timetable {
namespace {

// Two consecutive events more than this far apart on the clock, read backwards, are a
// midnight the day column missed; anything closer is a clock that really goes backwards.
constexpr int kMaxMissedMidnightGap = 12 * 60;

bool NonDecreasing(const std::vector<int>& v) {
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] < v[i - 1]) return false;
    }
    return true;
}

// The stops' absolute minutes from midnight of the origin's day.
struct Times {
    std::vector<int> arr, dep;

    // Every event in order: departures of all but the terminus, arrivals of all but the origin.
    std::vector<int> Timeline() const {
        std::vector<int> t;
        for (std::size_t i = 0; i < arr.size(); ++i) {
            if (i > 0) t.push_back(arr[i]);
            if (i + 1 < arr.size()) t.push_back(dep[i]);
        }
        return t;
    }
};

// Why the stops cannot give a train's times at all; nullptr when they can.
const char* MissingTimes(const std::vector<SourceStop>& stops) {
    const std::size_t n = stops.size();
    if (n < 2) return "fewer than two stops";
    if (stops.front().departure < 0) return "no departure at the origin";
    if (stops.back().arrival < 0) return "no arrival at the terminus";
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (stops[i].arrival < 0 && stops[i].departure < 0) return "stop without times";
    }
    return nullptr;
}

// The day column is the arrival's day; a departure after midnight keeps the arrival's day,
// and an event the day column put before its predecessor by more than half a day is taken as
// a missed midnight.
Times AbsoluteTimes(const std::vector<SourceStop>& stops) {
    const std::size_t n = stops.size();
    Times t{std::vector<int>(n), std::vector<int>(n)};
    auto place = [](int clock, int base, int prev) {
        int v = base + clock;
        if (v < prev && prev - v > kMaxMissedMidnightGap) {
            while (v < prev) v += 1440;
        }
        return v;
    };
    t.dep[0] = (std::max(stops[0].day, 1) - 1) * 1440 + stops[0].departure;
    t.arr[0] = t.dep[0];
    for (std::size_t i = 1; i < n; ++i) {
        const SourceStop& s = stops[i];
        const int a = s.arrival >= 0 ? s.arrival : s.departure;
        const int d = (i + 1 == n) ? a : (s.departure >= 0 ? s.departure : s.arrival);
        t.arr[i] = place(a, (std::max(s.day, 1) - 1) * 1440, t.dep[i - 1]);
        int v = t.arr[i] - a + d;     // same day as the arrival
        if (v < t.arr[i]) v += 1440;  // left after midnight
        t.dep[i] = v;
    }
    return t;
}

// One middle stop whose times fall outside its neighbours' is moved between them, in
// proportion to its distance when that is known; the one moved furthest is the wrong one.
// False when no single stop mends the order.
bool MendOneStopTimes(Times& t, const std::vector<int>& km) {
    const std::size_t n = t.arr.size();
    int best = -1;
    long bestDeviation = -1;
    int bestTime = 0;
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const int lo = t.dep[k - 1], hi = t.arr[k + 1];
        if (hi < lo) continue;
        int v = lo + (hi - lo) / 2;
        if (km[k - 1] >= 0 && km[k + 1] > km[k - 1] && km[k] >= km[k - 1] && km[k] <= km[k + 1]) {
            v = lo + static_cast<int>(static_cast<long>(hi - lo) * (km[k] - km[k - 1]) /
                                      (km[k + 1] - km[k - 1]));
        }
        const auto saved = std::make_pair(t.arr[k], t.dep[k]);
        t.arr[k] = t.dep[k] = v;
        if (NonDecreasing(t.Timeline())) {
            const long deviation = std::labs(saved.first - v) + std::labs(saved.second - v);
            if (deviation > bestDeviation) {
                bestDeviation = deviation;
                best = static_cast<int>(k);
                bestTime = v;
            }
        }
        t.arr[k] = saved.first;
        t.dep[k] = saved.second;
    }
    if (best < 0) return false;
    t.arr[best] = t.dep[best] = bestTime;
    return true;
}

// Distances a train can have: all known, never going down, and (with a speed limit) no
// faster than the train runs; stop times are whole minutes, so a few km of slack per segment.
struct DistanceRules {
    const Times& t;
    int maxKmPerHour;

    bool Ordered(const std::vector<int>& km) const {
        return std::all_of(km.begin(), km.end(), [](int v) { return v >= 0; }) && NonDecreasing(km);
    }
    bool SpeedsOk(const std::vector<int>& km) const {
        if (maxKmPerHour <= 0) return true;
        for (std::size_t i = 1; i < km.size(); ++i) {
            const long allowed = static_cast<long>(t.arr[i] - t.dep[i - 1]) * maxKmPerHour / 60 + 5;
            if (km[i] - km[i - 1] > allowed) return false;
        }
        return true;
    }
    bool Plausible(const std::vector<int>& km) const { return Ordered(km) && SpeedsOk(km); }
};

void AddRepair(std::string& repairs, const char* what) {
    if (!repairs.empty()) repairs += ", ";
    repairs += what;
}

// One middle stop with an unknown or out-of-order distance, between two neighbours that
// agree, gets the distance its times put it at; the one that moves furthest is the wrong one.
// A mended stop may not contradict what the other trains give for its two segments. Returns
// why the train cannot be kept, or nothing when mended.
std::optional<std::string> MendOneStopDistance(std::vector<int>& km,
                                               const std::vector<SourceStop>& stops,
                                               const DistanceRules& rules,
                                               const DistanceConsensus* network,
                                               std::string& repairs) {
    const std::size_t n = km.size();
    const Times& t = rules.t;
    const bool ordered = rules.Ordered(km);
    auto nearNetwork = [&](std::size_t k) {
        if (!network) return true;
        for (std::size_t i : {k, k + 1}) {
            const auto e = network->Between(stops[i - 1].station, stops[i].station);
            if (e && !NearConsensus(km[i] - km[i - 1], *e)) return false;
        }
        return true;
    };
    int best = -1;
    long bestDeviation = -1;
    int bestKm = 0;
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const int lo = km[k - 1], hi = km[k + 1];
        if (lo < 0 || hi < lo) continue;
        const int span = t.arr[k + 1] - t.dep[k - 1];
        int value = lo + (hi - lo) / 2;
        if (span > 0) {
            value = lo +
                    static_cast<int>(static_cast<long>(hi - lo) * (t.arr[k] - t.dep[k - 1]) / span);
        }
        const int saved = km[k];
        km[k] = value;
        if (rules.Plausible(km) && nearNetwork(k)) {
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
        if (ordered) return "implausible speed between two stops";
        if (std::any_of(km.begin(), km.end(), [](int v) { return v < 0; })) {
            return "unknown distances";
        }
        return "distances go down";
    }
    const bool unknown = km[best] < 0;
    km[best] = bestKm;
    AddRepair(repairs, unknown   ? "unknown distance of one stop"
                       : ordered ? "distance of one stop (implausible speed)"
                                 : "distance of one stop (out of order)");
    return std::nullopt;
}

}  // namespace

CleanedStops CleanStops(const std::vector<SourceStop>& stops, int maxKmPerHour,
                        const DistanceConsensus* network) {
    CleanedStops out;
    if (const char* why = MissingTimes(stops)) {
        out.reason = why;
        return out;
    }
    const std::size_t n = stops.size();
    Times t = AbsoluteTimes(stops);
    std::vector<int> km(n);
    for (std::size_t i = 0; i < n; ++i) km[i] = stops[i].km;
    if (km[0] < 0) km[0] = 0;

    if (!NonDecreasing(t.Timeline())) {
        if (!MendOneStopTimes(t, km)) {
            out.reason = "times go backwards";
            return out;
        }
        AddRepair(out.repaired, "times of one stop");
    }
    const DistanceRules rules{t, maxKmPerHour};
    if (!rules.Plausible(km) && network) {
        // What the other trains on the line give comes first: it mends any number of stops.
        std::vector<std::string> names(n);
        for (std::size_t i = 0; i < n; ++i) names[i] = stops[i].station;
        auto mended = RepairFromNetwork(names, t.arr, t.dep, km, *network, maxKmPerHour);
        if (mended.km) {
            km = std::move(*mended.km);
            AddRepair(out.repaired, "distances from the network");
        }
    }
    if (!rules.Plausible(km)) {
        if (auto why = MendOneStopDistance(km, stops, rules, network, out.repaired)) {
            out.reason = std::move(*why);
            out.repaired.clear();
            return out;
        }
    }
    std::vector<CleanStop> clean(n);
    for (std::size_t i = 0; i < n; ++i) {
        clean[i].station = stops[i].station;
        clean[i].arrival = i == 0 ? t.dep[0] : t.arr[i];
        clean[i].departure = i + 1 == n ? t.arr[i] : t.dep[i];
        clean[i].km = km[i];
    }
    out.stops = std::move(clean);
    return out;
}

}  // namespace korvel::timetable
