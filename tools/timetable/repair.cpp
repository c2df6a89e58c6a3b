// Cleaning one train: absolute times, known distances, and the one-stop repairs.
#include <algorithm>
#include <cstdlib>

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

}  // namespace

std::optional<std::vector<CleanStop>> CleanStops(const std::vector<SourceStop>& stops,
                                                 std::string* reason, std::string* repaired,
                                                 int maxKmPerHour,
                                                 const DistanceConsensus* network) {
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
    if (!plausible() && network) {
        // What the other trains on the line give comes first: it mends any number of stops.
        std::vector<std::string> names(n);
        for (std::size_t i = 0; i < n; ++i) names[i] = stops[i].station;
        auto mended = RepairFromNetwork(names, arr, dep, km, *network, maxKmPerHour, nullptr);
        if (mended) {
            km = std::move(*mended);
            if (!repairs.empty()) repairs += ", ";
            repairs += "distances from the network";
        }
    }
    if (!plausible()) {
        const bool ordered = distancesOk();
        // One middle stop with an unknown or out-of-order distance, between two neighbours
        // that agree, gets the distance its times put it at.
        int best = -1;
        long bestDeviation = -1;
        int bestKm = 0;
        // A mended stop may not contradict what the other trains give for its two segments.
        auto nearNetwork = [&](std::size_t k) {
            if (!network) return true;
            for (std::size_t i : {k, k + 1}) {
                const auto e = network->Between(stops[i - 1].station, stops[i].station);
                if (e && !NearConsensus(km[i] - km[i - 1], *e)) return false;
            }
            return true;
        };
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
            if (plausible() && nearNetwork(k)) {
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

}  // namespace korvel::timetable
