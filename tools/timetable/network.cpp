// Distances from the network: what most trains give between two consecutive stations, and
// the repair of a train's distances from it.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "timetable/builder.h"

namespace korvel::timetable {
namespace {

std::string PairKey(const std::string& a, const std::string& b) {
    return a < b ? a + '\x1F' + b : b + '\x1F' + a;
}

// Two trains agree on a distance when they differ by at most 2 % of it, or by 1 km.
bool Agree(int a, int b) {
    return std::abs(a - b) <= std::max(1, static_cast<int>(std::max(a, b) * 0.02));
}

}  // namespace

bool NearConsensus(int km, int expected) {
    return std::abs(km - expected) <= std::max(1.0, expected * 0.05);
}

void DistanceConsensus::Add(const std::string& a, const std::string& b, int km) {
    if (a == b || km <= 0) return;
    samples_[PairKey(a, b)].push_back(km);
}

void DistanceConsensus::Finish() {
    consensus_.clear();
    for (auto& [key, values] : samples_) {
        if (values.size() < 2) continue;
        std::sort(values.begin(), values.end());
        // The value most others agree with; its agreeing values give the median.
        std::size_t bestSupport = 0, bestLo = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            std::size_t lo = i, hi = i;
            while (lo > 0 && Agree(values[lo - 1], values[i])) --lo;
            while (hi + 1 < values.size() && Agree(values[hi + 1], values[i])) ++hi;
            const std::size_t support = hi - lo + 1;
            if (support > bestSupport) {
                bestSupport = support;
                bestLo = lo;
            }
        }
        if (bestSupport < 2 || bestSupport * 2 <= values.size()) continue;
        consensus_[key] = values[bestLo + bestSupport / 2];
    }
    samples_.clear();
}

std::optional<int> DistanceConsensus::Between(const std::string& a, const std::string& b) const {
    const auto it = consensus_.find(PairKey(a, b));
    if (it == consensus_.end()) return std::nullopt;
    return it->second;
}

DistanceConsensus BuildConsensus(const std::vector<MergedTrain>& trains) {
    DistanceConsensus network;
    for (const MergedTrain& t : trains) {
        for (std::size_t i = 1; i < t.stops.size(); ++i) {
            const SourceStop& a = t.stops[i - 1];
            const SourceStop& b = t.stops[i];
            if (a.km >= 0 && b.km >= 0) network.Add(a.station, b.station, b.km - a.km);
        }
    }
    network.Finish();
    return network;
}

std::optional<std::vector<int>> RepairFromNetwork(const std::vector<std::string>& stations,
                                                  const std::vector<int>& arrival,
                                                  const std::vector<int>& departure,
                                                  const std::vector<int>& sourceKm,
                                                  const DistanceConsensus& network,
                                                  int maxKmPerHour, std::string* reason) {
    auto fail = [&](const char* why) -> std::optional<std::vector<int>> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    const std::size_t n = stations.size();
    if (n < 2) return fail("fewer than two stops");
    std::vector<int> km = sourceKm;
    // The origin is at 0 unless the source says otherwise.
    const bool originFixed = km[0] <= 0;
    if (km[0] < 0) km[0] = 0;
    // Whole-minute times: a few kilometres of slack on every stretch.
    auto allowed = [&](std::size_t i, std::size_t j) -> long {
        if (maxKmPerHour <= 0) return 1L << 30;
        return static_cast<long>(arrival[j] - departure[i]) * maxKmPerHour / 60 + 5;
    };
    auto minutes = [&](std::size_t i) { return std::max(0, arrival[i] - departure[i - 1]); };
    std::vector<std::optional<int>> expected(n);  // consensus of the segment ending at stop i
    for (std::size_t i = 1; i < n; ++i) expected[i] = network.Between(stations[i - 1], stations[i]);

    // Fills the stops between two kept stops a and b: segments the network knows take its
    // distance, the rest share what is left in proportion to running time; when the network
    // knows every segment its distances are scaled to fit, by at most 5 %. Writes into `out`
    // when given; false when the stops cannot be filled plausibly.
    auto fillGap = [&](std::size_t a, std::size_t b, std::vector<int>* out) {
        const double total = km[b] - km[a];
        double known = 0;
        long untimed = 0;
        int unknownSegments = 0;
        for (std::size_t i = a + 1; i <= b; ++i) {
            if (expected[i]) {
                known += *expected[i];
            } else {
                untimed += minutes(i);
                ++unknownSegments;
            }
        }
        double scale = 1.0, rest = total - known;
        if (unknownSegments == 0 || rest < 0) {
            if (known <= 0 || std::abs(total / known - 1.0) > 0.05) return false;
            scale = total / known;
            rest = 0;
        }
        double position = km[a];
        int last = km[a];
        for (std::size_t i = a + 1; i <= b; ++i) {
            if (expected[i]) {
                position += *expected[i] * scale;
            } else {
                position += untimed > 0 ? rest * minutes(i) / untimed : rest / unknownSegments;
            }
            const int value = i == b ? km[b] : static_cast<int>(std::lround(position));
            if (value < last || value - last > allowed(i - 1, i)) return false;
            if (expected[i] && !NearConsensus(value - last, *expected[i])) return false;
            if (out && i < b) (*out)[i] = value;
            last = value;
        }
        return true;
    };

    // The longest chain of stops whose own distances fit together, with the train's speed,
    // with the network between neighbours and with fillable stretches between the others.
    std::vector<int> length(n, 0), previous(n, -1);
    int bestEnd = -1;
    for (std::size_t j = 0; j < n; ++j) {
        if (km[j] < 0) continue;
        if (!originFixed || j == 0) length[j] = 1;
        for (std::size_t i = 0; i < j; ++i) {
            if (length[i] == 0 || length[i] + 1 <= length[j]) continue;
            if (km[j] < km[i] || km[j] - km[i] > allowed(i, j)) continue;
            if (j == i + 1) {
                if (expected[j] && !NearConsensus(km[j] - km[i], *expected[j])) continue;
            } else if (!fillGap(i, j, nullptr)) {
                continue;
            }
            length[j] = length[i] + 1;
            previous[j] = static_cast<int>(i);
        }
        if (length[j] > 0 && (bestEnd < 0 || length[j] > length[bestEnd])) {
            bestEnd = static_cast<int>(j);
        }
    }
    if (bestEnd < 0) return fail("no usable distance");
    std::vector<bool> anchor(n, false);
    for (int j = bestEnd; j >= 0; j = previous[j]) anchor[j] = true;

    // A segment's length outside the chain: the network's, else the train's own when it is
    // plausible.
    auto segment = [&](std::size_t i) -> std::optional<int> {
        if (expected[i]) return *expected[i];
        const int own =
            sourceKm[i] >= 0 && sourceKm[i - 1] >= 0 ? sourceKm[i] - sourceKm[i - 1] : -1;
        if (own >= 0 && own <= allowed(i - 1, i)) return own;
        return std::nullopt;
    };
    std::size_t first = 0;
    while (!anchor[first]) ++first;
    for (std::size_t i = first; i-- > 0;) {
        const auto s = segment(i + 1);
        if (!s) return fail("no distance before the first known stop");
        km[i] = km[i + 1] - *s;
    }
    if (km[0] < 0) return fail("distances from the network run below the origin");
    for (std::size_t a = first; a + 1 < n;) {
        std::size_t b = a + 1;
        while (b < n && !anchor[b]) ++b;
        if (b == n) {  // stops after the last kept one
            for (std::size_t i = a + 1; i < n; ++i) {
                const auto s = segment(i);
                if (!s) return fail("no distance after the last known stop");
                km[i] = km[i - 1] + *s;
            }
            break;
        }
        if (b > a + 1) fillGap(a, b, &km);
        a = b;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if (km[i] < km[i - 1]) return fail("distances from the network go down");
        if (km[i] - km[i - 1] > allowed(i - 1, i)) {
            return fail("implausible speed between two stops");
        }
    }
    return km;
}

}  // namespace korvel::timetable
