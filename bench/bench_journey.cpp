// Journey planner timings: the whole-day window with up to two changes for 北京 → 乌鲁木齐 and
// 哈尔滨 → 三亚 at 1x and 10x, as departure and as arrival windows, the index build (with
// and without its backward copy for arrival windows), and beside them a naive planner that pairs
// every first train from the departure side with every second train to the arrival side
// (one change at most, which is all such pairing can reach in reasonable time).
#include "bench_journey.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "bench_data.h"
#include "data/gbk.h"
#include "journey/planner.h"

namespace korvel::bench {
namespace {

const JourneyIndex& IndexFor(DataSet& d) {
    static std::map<const DataSet*, std::unique_ptr<JourneyIndex>> cache;
    std::unique_ptr<JourneyIndex>& ix = cache[&d];
    if (!ix) ix = std::make_unique<JourneyIndex>(d.typed);
    return *ix;
}

const char* const kPairs[][2] = {{"北京", "乌鲁木齐"}, {"哈尔滨", "三亚"}};

// The journey index over the typed timetable the program builds at load.
void BM_JourneyIndex(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    for (auto _ : state) {
        JourneyIndex ix(d.typed);
        benchmark::DoNotOptimize(ix.RouteCount());
    }
    const JourneyIndex& ix = IndexFor(d);
    state.counters["routes"] = ix.RouteCount();
    state.counters["trains"] = ix.TrainCount();
}

void BM_JourneyIndexBoth(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    for (auto _ : state) {
        JourneyIndex ix(d.typed);
        benchmark::DoNotOptimize(ix.Backward().RouteCount());
    }
}

// The first journey query after loading: the journey index built over the typed timetable,
// then one search.
void BM_FirstJourney(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    const std::string from = Utf8ToGbk(kPairs[0][0]);
    const std::string to = Utf8ToGbk(kPairs[0][1]);
    for (auto _ : state) {
        JourneyIndex ix(d.typed);
        std::vector<Journey> js = FindJourneys(ix, d.tables, from, to, JourneyOptions{});
        benchmark::DoNotOptimize(js.data());
    }
}

void BM_Journey(benchmark::State& state, int times, int pair, JourneyWindowOf of,
                std::optional<FareClass> fare) {
    DataSet& d = Data(times);
    const JourneyIndex& ix = IndexFor(d);
    const std::string from = Utf8ToGbk(kPairs[pair][0]);
    const std::string to = Utf8ToGbk(kPairs[pair][1]);
    JourneyOptions o;  // the whole day, up to two changes
    o.windowOf = of;
    o.fareClass = fare;
    if (of == JourneyWindowOf::Arrival) ix.Backward();  // built once, as the program does
    std::vector<Journey> js;
    for (auto _ : state) {
        js = FindJourneys(ix, d.tables, from, to, o);
        benchmark::DoNotOptimize(js.data());
    }
    if (js.empty()) state.SkipWithError("no journey found");
    state.counters["journeys"] = static_cast<double>(js.size());
    int changes = 0;
    for (const Journey& j : js) changes = std::max(changes, j.transfers);
    state.counters["most_changes"] = changes;
}

// The naive planner: every first train boarded on the departure side within the day with
// every second train from where it stops (or another station of that city) to the arrival
// side, then the Pareto filter.
std::size_t NaiveOneChange(const JourneyIndex& ix, const JourneySides& sides,
                           const JourneyOptions& o) {
    const std::uint32_t n = ix.StationCount();
    IdxVector<StationIdx, std::uint8_t> side;
    side.assign(n, 0);
    for (StationIdx s : sides.from) side[s] = 1;
    for (StationIdx s : sides.to) side[s] = 2;
    struct LastLeg {
        std::int32_t clock;
        std::int32_t ride;
    };
    IdxVector<StationIdx, std::vector<LastLeg>> lasts;
    lasts.assign(n, {});
    struct Found {
        std::int32_t depart, arrive, changes;
    };
    std::vector<Found> all;
    // Second trains (and direct trains): every boarding before an arrival-side stop.
    for (StationIdx t : sides.to) {
        for (const JourneyIndex::Call& c : ix.Calls(t)) {
            if (!ix.CanAlight(c.route, c.stop)) continue;
            for (std::uint32_t p = 0; p < c.stop; ++p) {
                if (!ix.CanBoard(c.route, p)) continue;
                const StationIdx at = ix.StopStation(c.route, p);
                const std::int32_t ride =
                    ix.ArriveOffset(c.route, c.stop) - ix.DepartOffset(c.route, p);
                const JourneyIndex::Trip* trips = ix.Trips(c.route);
                for (std::uint32_t j = 0; j < ix.TripCount(c.route); ++j) {
                    const std::int32_t clock =
                        (trips[j].originMinute + ix.DepartOffset(c.route, p)) % kMinutesPerDay;
                    if (side[at] == 0) lasts[at].push_back({clock, ride});
                    if (side[at] == 1 && clock >= o.windowStart && clock <= o.windowEnd)
                        all.push_back({clock, clock + ride, 0});
                }
            }
        }
    }
    // First trains, each paired with every second train where it stops.
    for (StationIdx s : sides.from) {
        for (const JourneyIndex::Call& c : ix.Calls(s)) {
            if (!ix.CanBoard(c.route, c.stop)) continue;
            const JourneyIndex::Trip* trips = ix.Trips(c.route);
            for (std::uint32_t j = 0; j < ix.TripCount(c.route); ++j) {
                const std::int32_t clock =
                    (trips[j].originMinute + ix.DepartOffset(c.route, c.stop)) % kMinutesPerDay;
                if (clock < o.windowStart || clock > o.windowEnd) continue;
                for (std::uint32_t q = c.stop + 1; q < ix.StopCount(c.route); ++q) {
                    const StationIdx x = ix.StopStation(c.route, q);
                    if (side[x] != 0 || !ix.CanAlight(c.route, q)) continue;
                    const std::int32_t arrive =
                        clock + ix.ArriveOffset(c.route, q) - ix.DepartOffset(c.route, c.stop);
                    auto pair = [&](StationIdx y, std::int32_t change) {
                        const std::int32_t ready = arrive + change;
                        for (const LastLeg& l : lasts[y]) {
                            const std::int32_t wait =
                                ((l.clock - ready) % kMinutesPerDay + kMinutesPerDay) %
                                kMinutesPerDay;
                            all.push_back({clock, ready + wait + l.ride, 1});
                        }
                    };
                    pair(x, o.minTransfer);
                    for (StationIdx y : ix.GroupMates(x)) {
                        if (side[y] == 0) pair(y, o.cityTransfer);
                    }
                }
            }
        }
    }
    std::sort(all.begin(), all.end(), [](const Found& a, const Found& b) {
        if (a.depart != b.depart) return a.depart > b.depart;
        if (a.changes != b.changes) return a.changes < b.changes;
        return a.arrive < b.arrive;
    });
    std::int32_t best[2] = {1 << 30, 1 << 30};
    std::size_t kept = 0;
    for (const Found& f : all) {
        const std::int32_t bound = f.changes == 0 ? best[0] : std::min(best[0], best[1]);
        if (bound <= f.arrive) continue;
        best[f.changes] = std::min(best[f.changes], f.arrive);
        ++kept;
    }
    return kept;
}

void BM_JourneyNaive(benchmark::State& state, int times, int pair) {
    DataSet& d = Data(times);
    const JourneyIndex& ix = IndexFor(d);
    const JourneySides sides = ResolveJourneySides(ix, d.tables.KMSM, Utf8ToGbk(kPairs[pair][0]),
                                                   Utf8ToGbk(kPairs[pair][1]));
    JourneyOptions o;
    o.maxTransfers = 1;
    std::size_t kept = 0;
    for (auto _ : state) {
        kept = NaiveOneChange(ix, sides, o);
        benchmark::DoNotOptimize(kept);
    }
    state.counters["journeys"] = static_cast<double>(kept);
    // The planner's answer for the same question, to compare the counts.
    state.counters["planner_journeys"] = static_cast<double>(PlanJourneys(ix, sides, o).size());
}

// The first query with a fare class: its fare groups formed, then one search that prices
// the spans it rides.
void BM_FirstFareJourney(benchmark::State& state, int times) {
    DataSet& d = Data(times);
    const std::string from = Utf8ToGbk(kPairs[0][0]);
    const std::string to = Utf8ToGbk(kPairs[0][1]);
    JourneyOptions o;
    o.fareClass = FareClass::HardSeat;
    for (auto _ : state) {
        JourneyIndex fresh(d.typed);
        std::vector<Journey> js = FindJourneys(fresh, d.tables, from, to, o);
        benchmark::DoNotOptimize(js.data());
    }
}

}  // namespace

void RegisterJourneyBenchmarks() {
    for (int x : {1, 10}) {
        const std::string scale = "/" + std::to_string(x) + "x";
        benchmark::RegisterBenchmark(("Journey/index_build" + scale).c_str(), BM_JourneyIndex, x)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Journey/first_query_index_included" + scale).c_str(),
                                     BM_FirstJourney, x)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Journey/index_build_with_backward" + scale).c_str(),
                                     BM_JourneyIndexBoth, x)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Journey/first_fare_query_index_included" + scale).c_str(),
                                     BM_FirstFareJourney, x)
            ->Unit(benchmark::kMillisecond);
        for (int p = 0; p < 2; ++p) {
            const std::string name = p == 0 ? "beijing-urumqi" : "harbin-sanya";
            benchmark::RegisterBenchmark(("Journey/" + name + "/planner" + scale).c_str(),
                                         BM_Journey, x, p, JourneyWindowOf::Departure, std::nullopt)
                ->Unit(benchmark::kMillisecond);
            // With the hard-seat fare as a fourth criterion; the spans it prices stay priced
            // from one query to the next, as in the program.
            benchmark::RegisterBenchmark(("Journey/" + name + "/planner_fare" + scale).c_str(),
                                         BM_Journey, x, p, JourneyWindowOf::Departure,
                                         FareClass::HardSeat)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(
                ("Journey/" + name + "/planner_fare_arrive" + scale).c_str(), BM_Journey, x, p,
                JourneyWindowOf::Arrival, FareClass::HardSeat)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("Journey/" + name + "/planner_arrive" + scale).c_str(),
                                         BM_Journey, x, p, JourneyWindowOf::Arrival, std::nullopt)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("Journey/" + name + "/naive_one_change" + scale).c_str(),
                                         BM_JourneyNaive, x, p)
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace korvel::bench
