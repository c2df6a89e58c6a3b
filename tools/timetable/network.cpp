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

namespace {

// One train's distances rebuilt from the network, stage by stage: the stops whose own
// distances to keep, the stops before the first and after the last of them, the gaps between.
class NetworkRepair {
  public:
    NetworkRepair(const std::vector<std::string>& stations, const std::vector<int>& arrival,
                  const std::vector<int>& departure, const std::vector<int>& sourceKm,
                  const DistanceConsensus& network, int maxKmPerHour)
        : arrival_(arrival),
          departure_(departure),
          sourceKm_(sourceKm),
          maxKmPerHour_(maxKmPerHour),
          km_(sourceKm),
          expected_(stations.size()) {
        // The origin is at 0 unless the source says otherwise.
        originFixed_ = km_[0] <= 0;
        if (km_[0] < 0) km_[0] = 0;
        for (std::size_t i = 1; i < stations.size(); ++i) {
            expected_[i] = network.Between(stations[i - 1], stations[i]);
        }
    }

    NetworkDistances Run() {
        const std::vector<bool> anchor = LongestChain();
        if (anchor.empty()) return Fail("no usable distance");
        std::size_t first = 0;
        while (!anchor[first]) ++first;
        if (auto why = FillBefore(first)) return Fail(*why);
        if (auto why = FillAfter(first, anchor)) return Fail(*why);
        for (std::size_t i = 1; i < km_.size(); ++i) {
            if (km_[i] < km_[i - 1]) return Fail("distances from the network go down");
            if (km_[i] - km_[i - 1] > Allowed(i - 1, i)) {
                return Fail("implausible speed between two stops");
            }
        }
        return {std::move(km_), {}};
    }

  private:
    static NetworkDistances Fail(const std::string& why) { return {std::nullopt, why}; }

    // Whole-minute times: a few kilometres of slack on every stretch.
    long Allowed(std::size_t i, std::size_t j) const {
        if (maxKmPerHour_ <= 0) return 1L << 30;
        return static_cast<long>(arrival_[j] - departure_[i]) * maxKmPerHour_ / 60 + 5;
    }
    int Minutes(std::size_t i) const { return std::max(0, arrival_[i] - departure_[i - 1]); }

    // Fills the stops between two kept stops a and b: segments the network knows take its
    // distance, the rest share what is left in proportion to running time; when the network
    // knows every segment its distances are scaled to fit, by at most 5 %. Writes into `out`
    // when given; false when the stops cannot be filled plausibly.
    bool FillGap(std::size_t a, std::size_t b, std::vector<int>* out) const {
        const double total = km_[b] - km_[a];
        double known = 0;
        long untimed = 0;
        int unknownSegments = 0;
        for (std::size_t i = a + 1; i <= b; ++i) {
            if (expected_[i]) {
                known += *expected_[i];
            } else {
                untimed += Minutes(i);
                ++unknownSegments;
            }
        }
        double scale = 1.0, rest = total - known;
        if (unknownSegments == 0 || rest < 0) {
            if (known <= 0 || std::abs(total / known - 1.0) > 0.05) return false;
            scale = total / known;
            rest = 0;
        }
        double position = km_[a];
        int last = km_[a];
        for (std::size_t i = a + 1; i <= b; ++i) {
            if (expected_[i]) {
                position += *expected_[i] * scale;
            } else {
                position += untimed > 0 ? rest * Minutes(i) / untimed : rest / unknownSegments;
            }
            const int value = i == b ? km_[b] : static_cast<int>(std::lround(position));
            if (value < last || value - last > Allowed(i - 1, i)) return false;
            if (expected_[i] && !NearConsensus(value - last, *expected_[i])) return false;
            if (out && i < b) (*out)[i] = value;
            last = value;
        }
        return true;
    }

    // The longest chain of stops whose own distances fit together, with the train's speed,
    // with the network between neighbours and with fillable stretches between the others;
    // the stops on it marked. Empty when no stop has a usable distance.
    std::vector<bool> LongestChain() const {
        const std::size_t n = km_.size();
        std::vector<int> length(n, 0), previous(n, -1);
        int bestEnd = -1;
        for (std::size_t j = 0; j < n; ++j) {
            if (km_[j] < 0) continue;
            if (!originFixed_ || j == 0) length[j] = 1;
            for (std::size_t i = 0; i < j; ++i) {
                if (length[i] == 0 || length[i] + 1 <= length[j]) continue;
                if (km_[j] < km_[i] || km_[j] - km_[i] > Allowed(i, j)) continue;
                if (j == i + 1) {
                    if (expected_[j] && !NearConsensus(km_[j] - km_[i], *expected_[j])) continue;
                } else if (!FillGap(i, j, nullptr)) {
                    continue;
                }
                length[j] = length[i] + 1;
                previous[j] = static_cast<int>(i);
            }
            if (length[j] > 0 && (bestEnd < 0 || length[j] > length[bestEnd])) {
                bestEnd = static_cast<int>(j);
            }
        }
        if (bestEnd < 0) return {};
        std::vector<bool> anchor(n, false);
        for (int j = bestEnd; j >= 0; j = previous[j]) anchor[j] = true;
        return anchor;
    }

    // A segment's length outside the chain: the network's, else the train's own when it is
    // plausible.
    std::optional<int> Segment(std::size_t i) const {
        if (expected_[i]) return *expected_[i];
        const int own =
            sourceKm_[i] >= 0 && sourceKm_[i - 1] >= 0 ? sourceKm_[i] - sourceKm_[i - 1] : -1;
        if (own >= 0 && own <= Allowed(i - 1, i)) return own;
        return std::nullopt;
    }

    std::optional<std::string> FillBefore(std::size_t first) {
        for (std::size_t i = first; i-- > 0;) {
            const auto s = Segment(i + 1);
            if (!s) return "no distance before the first known stop";
            km_[i] = km_[i + 1] - *s;
        }
        if (km_[0] < 0) return "distances from the network run below the origin";
        return std::nullopt;
    }

    std::optional<std::string> FillAfter(std::size_t first, const std::vector<bool>& anchor) {
        const std::size_t n = km_.size();
        for (std::size_t a = first; a + 1 < n;) {
            std::size_t b = a + 1;
            while (b < n && !anchor[b]) ++b;
            if (b == n) {  // stops after the last kept one
                for (std::size_t i = a + 1; i < n; ++i) {
                    const auto s = Segment(i);
                    if (!s) return "no distance after the last known stop";
                    km_[i] = km_[i - 1] + *s;
                }
                break;
            }
            if (b > a + 1) FillGap(a, b, &km_);
            a = b;
        }
        return std::nullopt;
    }

    const std::vector<int>& arrival_;
    const std::vector<int>& departure_;
    const std::vector<int>& sourceKm_;
    int maxKmPerHour_;
    std::vector<int> km_;
    std::vector<std::optional<int>> expected_;  // consensus of the segment ending at stop i
    bool originFixed_ = false;
};

}  // namespace

NetworkDistances RepairFromNetwork(const std::vector<std::string>& stations,
                                   const std::vector<int>& arrival,
                                   const std::vector<int>& departure, const std::vector<int>& km,
                                   const DistanceConsensus& network, int maxKmPerHour) {
    if (stations.size() < 2) return {std::nullopt, "fewer than two stops"};
    return NetworkRepair(stations, arrival, departure, km, network, maxKmPerHour).Run();
}

}  // namespace korvel::timetable
