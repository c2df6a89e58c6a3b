// The planner with a fare class against a plain enumeration: from every first train that
// leaves in the window, every way on with up to two changes, each train's next run boarded
// separately (trains of one timetable shape may be priced differently), each leg priced by
// the direct query's row for that train and those stops, then the journeys nothing beats on
// departure, arrival, changes and fare; for an arrival window the same backwards from every
// last train into the window. Also: each leg's fare is the grid's, and the sum.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "journey/journey_fares.h"
#include "journey/planner.h"
#include "journey_reference.h"
#include "support/sample_streams.h"
#include "support/test_timetable.h"
#include "views/row_text.h"

namespace korvel {
namespace {

using test::kFrom;
using test::kNone;
using test::kTo;
using test::RefSides;
using test::RefTimetable;
using Quad = std::tuple<int, int, int, int>;  // departure, arrival, changes, fare

// Keeps the quadruples nothing beats, once.
std::set<Quad> ParetoQuads(const std::vector<Quad>& all) {
    std::set<Quad> out;
    for (const Quad& q : all) {
        bool beaten = false;
        for (const Quad& o : all) {
            const bool noWorse =
                std::get<0>(o) >= std::get<0>(q) && std::get<1>(o) <= std::get<1>(q) &&
                std::get<2>(o) <= std::get<2>(q) && std::get<3>(o) <= std::get<3>(q);
            if (noWorse && o != q) beaten = true;
        }
        if (!beaten) out.insert(q);
    }
    return out;
}

class FareReference {
  public:
    FareReference(StoredTables& t, FareClass c) : t_(t), index_(t), ref_(t), class_(c) {
        for (const test::RefTrain& tr : ref_.trains)
            train_.push_back(index_.Typed().FindTrain(tr.id));
    }

    int Fare(std::size_t train, std::size_t board, std::size_t alight) {
        const auto key = std::make_tuple(train, board, alight);
        auto it = memo_.find(key);
        if (it != memo_.end()) return it->second;
        const FareRequest row =
            LegRow(index_.Typed(), train_[train], static_cast<std::uint32_t>(board),
                   static_cast<std::uint32_t>(alight));
        return memo_[key] = LowestTenths(FareText(row, class_));
    }

    // Every journey from one first boarding, Pareto per station and round on (arrival, fare).
    void From(const RefSides& sides, const JourneyOptions& o, std::size_t first, std::size_t i,
              int clock, std::vector<Quad>& out) {
        using Labels = std::map<int, std::vector<std::pair<int, int>>>;  // station -> (arr, fare)
        auto keep = [](std::vector<std::pair<int, int>>& bag, int at, int fare) {
            for (const auto& [a, f] : bag) {
                if (a <= at && f <= fare) return;
            }
            std::erase_if(bag, [&](const auto& e) { return e.first >= at && e.second >= fare; });
            bag.push_back({at, fare});
        };
        Labels arrived;
        const test::RefTrain& tr = ref_.trains[first];
        for (std::size_t j = i + 1; j < tr.stops.size(); ++j) {
            const int fare = Fare(first, i, j);
            if (!tr.stops[j].alight || fare == kNoFare) continue;
            const int at = clock + tr.stops[j].arrive - tr.stops[i].depart;
            const int s = sides.of[tr.stops[j].sid];
            if (s == kTo) out.push_back({clock, at, 0, fare});
            if (s == kNone) keep(arrived[tr.stops[j].sid], at, fare);
        }
        for (int k = 1; k <= o.maxTransfers; ++k) {
            Labels ready;
            for (const auto& [x, bag] : arrived) {
                for (const auto& [a, f] : bag) {
                    keep(ready[x], a + o.minTransfer, f);
                    for (int y : ref_.mates[x]) {
                        if (sides.of[y] == kNone) keep(ready[y], a + o.cityTransfer, f);
                    }
                }
            }
            Labels next;
            for (std::size_t n = 0; n < ref_.trains.size(); ++n) {
                const test::RefTrain& t = ref_.trains[n];
                for (std::size_t q = 0; q < t.stops.size(); ++q) {
                    auto r = ready.find(t.stops[q].sid);
                    if (!t.stops[q].board || r == ready.end()) continue;
                    for (const auto& [at, paid] : r->second) {
                        const int origin = test::NextAt(t.DepartClock(q), at) - t.stops[q].depart;
                        for (std::size_t j = q + 1; j < t.stops.size(); ++j) {
                            const int fare = Fare(n, q, j);
                            if (!t.stops[j].alight || fare == kNoFare) continue;
                            const int s = sides.of[t.stops[j].sid];
                            const int arrive = origin + t.stops[j].arrive;
                            if (s == kTo) out.push_back({clock, arrive, k, paid + fare});
                            if (s == kNone) keep(next[t.stops[j].sid], arrive, paid + fare);
                        }
                    }
                }
            }
            arrived = std::move(next);
        }
    }

    // The same from one last alighting within an arrival window, backwards: every way there
    // with up to two changes, each earlier train's latest run that still connects, Pareto per
    // station and round on (departure, fare) — a later departure for less is better.
    void Into(const RefSides& sides, const JourneyOptions& o, std::size_t last, std::size_t j,
              int at, std::vector<Quad>& out) {
        // station -> (minus the time, fare): the later the better, kept as the earlier is above.
        using Labels = std::map<int, std::vector<std::pair<int, int>>>;
        auto keep = [](std::vector<std::pair<int, int>>& bag, int minusTime, int fare) {
            for (const auto& [t, f] : bag) {
                if (t <= minusTime && f <= fare) return;
            }
            std::erase_if(bag,
                          [&](const auto& e) { return e.first >= minusTime && e.second >= fare; });
            bag.push_back({minusTime, fare});
        };
        // Boarding train `n` at its stops before `q`, ridden to `q` by its run from `origin`.
        auto boardings = [&](std::size_t n, std::size_t q, int origin, int paid, int changes,
                             Labels& boarded) {
            const test::RefTrain& t = ref_.trains[n];
            for (std::size_t i = 0; i < q; ++i) {
                const int fare = Fare(n, i, q);
                if (!t.stops[i].board || fare == kNoFare) continue;
                const int depart = origin + t.stops[i].depart;
                const int s = sides.of[t.stops[i].sid];
                if (s == kFrom) out.push_back({depart, at, changes, paid + fare});
                if (s == kNone) keep(boarded[t.stops[i].sid], -depart, paid + fare);
            }
        };
        Labels boarded;
        const test::RefTrain& tr = ref_.trains[last];
        boardings(last, j, at - tr.stops[j].arrive, 0, 0, boarded);
        for (int k = 1; k <= o.maxTransfers; ++k) {
            Labels latest;  // the latest arrival that still makes the boarding
            for (const auto& [x, bag] : boarded) {
                for (const auto& [minusDepart, f] : bag) {
                    keep(latest[x], minusDepart + o.minTransfer, f);
                    for (int y : ref_.mates[x]) {
                        if (sides.of[y] == kNone) keep(latest[y], minusDepart + o.cityTransfer, f);
                    }
                }
            }
            Labels next;
            for (std::size_t n = 0; n < ref_.trains.size(); ++n) {
                const test::RefTrain& t = ref_.trains[n];
                for (std::size_t q = 0; q < t.stops.size(); ++q) {
                    auto l = latest.find(t.stops[q].sid);
                    if (!t.stops[q].alight || l == latest.end()) continue;
                    for (const auto& [minusAt, paid] : l->second) {
                        const int arrive = test::PrevAt(t.ArriveClock(q), -minusAt);
                        boardings(n, q, arrive - t.stops[q].arrive, paid, k, next);
                    }
                }
            }
            boarded = std::move(next);
        }
    }

    // Plans the pair and compares with the enumeration; returns the number of journeys.
    std::size_t Compare(const std::string& from, const std::string& to, JourneyOptions o) {
        const bool arrival = o.windowOf == JourneyWindowOf::Arrival;
        SCOPED_TRACE(GbkToUtf8(from) + " -> " + GbkToUtf8(to) + (arrival ? " arrive " : " ") +
                     "changes " + std::to_string(o.maxTransfers));
        o.fareClass = class_;
        const std::vector<Journey> js = FindJourneys(index_, t_, from, to, o);
        const RefSides sides(t_, ref_, from, to);
        if (sides.sameCity) o.maxTransfers = 0;
        std::vector<Quad> all;
        for (std::size_t n = 0; n < ref_.trains.size(); ++n) {
            const test::RefTrain& tr = ref_.trains[n];
            for (std::size_t i = 0; i < tr.stops.size(); ++i) {
                if (arrival) {
                    if (!tr.stops[i].alight || sides.of[tr.stops[i].sid] != kTo) continue;
                    const int at = test::WindowMinute(o, tr.ArriveClock(i));
                    if (at != test::kNoTime) Into(sides, o, n, i, at, all);
                    continue;
                }
                if (!tr.stops[i].board || sides.of[tr.stops[i].sid] != kFrom) continue;
                const int clock = test::WindowMinute(o, tr.DepartClock(i));
                if (clock != test::kNoTime) From(sides, o, n, i, clock, all);
            }
        }
        std::set<Quad> got;
        for (const Journey& j : js) {
            got.insert({j.depart, j.arrive, j.transfers, j.fare});
            int sum = 0;
            for (const JourneyLeg& l : j.legs) {
                EXPECT_EQ(l.fare, LowestTenths(FareCellText(index_.Typed(), l.row,
                                                            static_cast<int>(class_))))
                    << index_.Typed().Number(l.train);
                sum += l.fare;
            }
            EXPECT_EQ(j.fare, sum);
        }
        EXPECT_EQ(got.size(), js.size()) << "a journey is shown twice";
        EXPECT_EQ(got, ParetoQuads(all));
        return js.size();
    }

    const RefTimetable& Ref() const { return ref_; }

  private:
    StoredTables& t_;
    JourneyIndex index_;
    RefTimetable ref_;
    FareClass class_;
    std::vector<TrainIdx> train_;
    std::map<std::tuple<std::size_t, std::size_t, std::size_t>, int> memo_;
};

// Two trains of one timetable shape priced differently: a change at 乙 must offer the dearer
// earlier one and the cheaper later one. Nothing sells sleepers.
void BuildFareNetwork(StoredTables& t) {
    test::TimetableBuilder b;
    for (const char* s : {"甲", "乙", "丙", "丁", "戊"}) b.Py(s, "X");
    b.Train("T1", 5,
            {{"甲", "", "08:00", "0", 0}, {"乙", "10:00", "", "2:0", 150, "20", "-", "-", "-"}});
    b.Train("K11", 6,
            {{"乙", "", "11:00", "0", 0},
             {"丁", "12:00", "12:00", "1:0", 80, "30", "-", "-", "-"},
             {"丙", "13:00", "", "2:0", 160, "60", "-", "-", "-"}});
    b.Train("K13", 6,
            {{"乙", "", "12:00", "0", 0},
             {"丁", "13:00", "13:00", "1:0", 80, "10", "-", "-", "-"},
             {"丙", "14:00", "", "2:0", 160, "25", "-", "-", "-"}});
    b.Train("K15", 6,
            {{"甲", "", "07:00", "0", 0}, {"丙", "20:00", "", "13:0", 300, "40", "-", "-", "-"}});
    // Boarded at 乙, past its origin: priced by the tariff.
    b.Train("K17", 6,
            {{"戊", "", "09:00", "0", 0},
             {"乙", "10:30", "10:35", "1:30", 120, "50", "-", "-", "-"},
             {"丙", "15:00", "", "6:0", 500, "120", "-", "-", "-"}});
    b.BuildInto(t);
}

TEST(FareJourneys, TrainsOfOneShapePricedApartAreBothOffered) {
    StoredTables t;
    BuildFareNetwork(t);
    FareReference check(t, FareClass::HardSeat);
    EXPECT_EQ(check.Compare(test::G("甲"), test::G("丙"), test::Window(0, 1439, 2)), 4u);
    EXPECT_GT(check.Compare(test::G("乙"), test::G("丙"), test::Window(0, 1439, 1)), 0u);
    EXPECT_GT(check.Compare(test::G("甲"), test::G("丁"), test::Window(0, 1439, 1)), 0u);
    EXPECT_EQ(check.Compare(test::G("甲"), test::G("丙"), test::Arrive(0, 1439, 2)), 5u);
    EXPECT_GT(check.Compare(test::G("乙"), test::G("丙"), test::Arrive(13 * 60, 15 * 60, 1)), 0u);

    JourneyIndex index(t);
    JourneyOptions o;
    o.fareClass = FareClass::HardSeat;
    const std::vector<Journey> js = FindJourneys(index, t, test::G("甲"), test::G("丙"), o);
    std::set<std::pair<std::string, int>> seen;  // second train, fare
    for (const Journey& j : js) {
        if (j.legs.size() == 2) seen.insert({index.Typed().Number(j.legs[1].train), j.fare});
    }
    EXPECT_TRUE(seen.count({"K11", 800}) && seen.count({"K13", 450})) << seen.size();

    o.fareClass = FareClass::HardSleeper;
    EXPECT_TRUE(FindJourneys(index, t, test::G("甲"), test::G("丙"), o).empty());
}

TEST(FareJourneys, SampleTimetableEqualsTheEnumeration) {
    StoredTables t;
    if (!test::LoadSampleStreams(t, KORVEL_SAMPLE_STREAMS))
        GTEST_SKIP() << "sample timetable streams not built";
    for (FareClass c : {FareClass::HardSeat, FareClass::HardSleeper}) {
        FareReference check(t, c);
        const auto& names = check.Ref().names;
        std::size_t found = 0;
        for (const std::string& a : names) {
            for (const std::string& b : names) {
                if (a == b) continue;
                found += check.Compare(a, b, test::Window(0, 1439, 2));
                found += check.Compare(a, b, test::Window(20 * 60, 4 * 60, 1));
                found += check.Compare(a, b, test::Arrive(0, 1439, 2));
                found += check.Compare(a, b, test::Arrive(18 * 60, 2 * 60, 1));
            }
        }
        EXPECT_GT(found, names.size());
    }
}

}  // namespace
}  // namespace korvel
