// A second, deliberately plain reading of the journey rules for the planner's tests: the
// trains read straight from the tables, journeys with up to one change paired by hand, with
// any number of changes by naive rounds over every train, a Pareto filter, and a checker that
// a journey's legs match the timetable and obey the change rules.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "data/gbk.h"
#include "data/schema.h"
#include "journey/journey_text.h"
#include "journey/planner.h"
#include "query/fare_tariff.h"
#include "query/stations.h"

namespace korvel::test {

constexpr int kDay = 1440;
constexpr int kNoTime = 1 << 29;

inline int Clock(const std::string& hhmm) {
    if (hhmm.size() != 5 || hhmm[2] != ':') return -1;
    return std::stoi(hhmm.substr(0, 2)) * 60 + std::stoi(hhmm.substr(3, 2));
}

inline int Mod(int x) {
    return (x % kDay + kDay) % kDay;
}

// Smallest t' >= t with t' = clock (mod 1440).
inline int NextAt(int clock, int t) {
    return t + Mod(clock - t);
}

// Largest t' <= t with t' = clock (mod 1440).
inline int PrevAt(int clock, int t) {
    return t - Mod(t - clock);
}

struct RefStop {
    std::string station;
    int sid = 0;  // the station as a number of RefTimetable::names
    std::string atime, dtime;
    int arrive = 0;  // minutes after the origin's departure
    int depart = 0;
    bool board = false, alight = false;
};

struct RefTrain {
    std::string id;
    int t0 = 0;
    std::vector<RefStop> stops;
    // Clock time of the departure from / arrival at stop i.
    int DepartClock(std::size_t i) const { return (t0 + stops[i].depart) % kDay; }
    int ArriveClock(std::size_t i) const { return (t0 + stops[i].arrive) % kDay; }
};

enum RefSide { kNone = 0, kFrom = 1, kTo = 2 };

struct RefTimetable {
    std::vector<RefTrain> trains;
    std::vector<std::string> names;
    std::vector<std::vector<int>> mates;  // other stations of the same KMSM group
    std::map<std::string, int> group;     // KMSM Gp

    explicit RefTimetable(StoredTables& t) {
        MemTable& S = t.KMTrain;
        MemTable& L = t.KMList;
        L.SetIndexName("SID");
        S.SetIndexName("SIDNo");
        Field& id = S.FieldByName("ID");
        Field& st = S.FieldByName("Station");
        Field& a = S.FieldByName("A_Time");
        Field& d = S.FieldByName("D_Time");
        Field& r = S.FieldByName("R_Date");
        std::map<std::string, int> ids;
        std::vector<RefTrain> all;
        for (S.First(); !S.Eof(); S.Next()) {
            if (all.empty() || all.back().id != id.AsString()) all.push_back({id.AsString()});
            RefStop s{st.AsString(), 0, a.AsString(), d.AsString()};
            auto [it, added] = ids.emplace(s.station, static_cast<int>(names.size()));
            if (added) names.push_back(s.station);
            s.sid = it->second;
            s.arrive = all.back().stops.empty() ? 0 : ElapsedToMinutes(r.View());
            all.back().stops.push_back(s);
        }
        for (RefTrain& tr : all) {
            if (tr.stops.size() < 2 || !L.Locate("ID", tr.id)) continue;
            tr.t0 = Clock(tr.stops[0].dtime);
            if (tr.t0 < 0) continue;
            for (std::size_t i = 0; i < tr.stops.size(); ++i) {
                RefStop& s = tr.stops[i];
                s.alight = i > 0;
                s.board = i + 1 < tr.stops.size() && Clock(s.dtime) >= 0;
                s.depart = s.arrive;
                if (i > 0 && s.board)
                    s.depart += ((Clock(s.dtime) - Clock(s.atime)) % kDay + kDay) % kDay;
            }
            trains.push_back(std::move(tr));
        }
        Field& gs = t.KMSM.FieldByName("Station");
        Field& gp = t.KMSM.FieldByName("Gp");
        for (std::uint32_t i = 0; i < t.KMSM.RecordCount(); ++i) {
            group[std::string(gs.ViewAt(i))] = gp.IntegerAt(i);
        }
        std::map<int, std::vector<int>> members;
        for (std::size_t x = 0; x < names.size(); ++x) {
            auto g = group.find(names[x]);
            if (g != group.end()) members[g->second].push_back(static_cast<int>(x));
        }
        mates.resize(names.size());
        for (const auto& [number, list] : members) {
            for (int x : list) {
                for (int y : list) {
                    if (x != y) mates[x].push_back(y);
                }
            }
        }
    }

    bool SameCity(const std::string& a, const std::string& b) const {
        auto x = group.find(a), y = group.find(b);
        return x != group.end() && y != group.end() && x->second == y->second;
    }
};

// A side as the same-city table gives it, read from the table itself: the group of the name's
// first row in station-name order, and every row of that number in that order.
inline void RefResolve(const MemTable& sm, const std::string& text, StationSide& side) {
    side = StationSide{};
    side.TypedName.assign(TrimControl(text));
    side.CityName = CityNameOf(side.TypedName);
    const std::vector<std::uint32_t>* order = sm.IndexOrder("SStation");
    if (order == nullptr || sm.RecordCount() == 0) return;
    const Field* name = sm.FindField("Station");
    const Field* gp = sm.FindField("Gp");
    const auto first = std::find_if(order->begin(), order->end(), [&](std::uint32_t r) {
        return name->ViewAt(r) == side.TypedName;
    });
    if (first == order->end()) return;
    side.GroupId = gp->IntegerAt(*first);
    for (std::uint32_t r : *order) {
        if (gp->IntegerAt(r) == side.GroupId) side.Members.emplace_back(name->ViewAt(r));
    }
}

// The sides as the direct query resolves them.
struct RefSides {
    StationSide from;
    StationSide to;
    MatchMode exact = MatchMode::Grouped;
    bool sameCity = false;  // two stations of one city: direct trains only
    std::vector<int> of;    // side of every station of the timetable
    RefSides(StoredTables& t, const RefTimetable& tt, const std::string& a, const std::string& b) {
        RefResolve(t.KMSM, a, from);
        RefResolve(t.KMSM, b, to);
        if (from.GroupId == to.GroupId) {
            exact = MatchMode::Exact;
            from.Members.clear();
            to.Members.clear();
            sameCity = from.GroupId != 0;
        }
        for (const std::string& name : tt.names) of.push_back(Of(name));
    }
    int Of(const std::string& station) const {
        if (StationMatches(station, exact, QuerySide::From, from, to)) return kFrom;
        if (StationMatches(station, exact, QuerySide::To, from, to)) return kTo;
        return kNone;
    }
};

using Triple = std::tuple<int, int, int>;  // departure, arrival, changes

// Keeps the triples nothing beats (later departure, earlier arrival, fewer changes), once.
inline std::set<Triple> ParetoSet(std::vector<Triple> all) {
    std::sort(all.begin(), all.end(), [](const Triple& a, const Triple& b) {
        if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a) > std::get<0>(b);
        if (std::get<2>(a) != std::get<2>(b)) return std::get<2>(a) < std::get<2>(b);
        return std::get<1>(a) < std::get<1>(b);
    });
    all.erase(std::unique(all.begin(), all.end()), all.end());
    int best[8];
    std::fill(std::begin(best), std::end(best), kNoTime);
    std::set<Triple> out;
    for (const auto& [d, a, c] : all) {
        int bound = kNoTime;
        for (int j = 0; j <= c; ++j) bound = std::min(bound, best[j]);
        if (bound <= a) continue;
        out.insert({d, a, c});
        best[c] = std::min(best[c], a);
    }
    return out;
}

// The minute of the window a clock time falls on (on day 1 past midnight), kNoTime outside.
inline int WindowMinute(const JourneyOptions& o, int clock) {
    const int last = o.windowEnd >= o.windowStart ? o.windowEnd : o.windowEnd + kDay;
    const int at = clock >= o.windowStart ? clock : clock + kDay;
    return at <= last ? at : kNoTime;
}

// Every journey with no or one change, paired by hand: each first train from the departure
// side with each second train to the arrival side from where it stops or from another
// station of that city.
inline std::vector<Triple> PairedJourneys(const RefTimetable& tt, const RefSides& sides,
                                          const JourneyOptions& o, bool withChange) {
    // Second legs by boarding station: departure clock and the shortest ride to the arrival
    // side.
    std::vector<std::vector<std::pair<int, int>>> lastLegs(tt.names.size());
    std::vector<Triple> out;
    for (const RefTrain& tr : tt.trains) {
        for (std::size_t i = 0; i < tr.stops.size(); ++i) {
            if (!tr.stops[i].board) continue;
            int ride = kNoTime;
            for (std::size_t j = i + 1; j < tr.stops.size(); ++j) {
                if (sides.of[tr.stops[j].sid] == kTo)
                    ride = std::min(ride, tr.stops[j].arrive - tr.stops[i].depart);
            }
            if (ride == kNoTime) continue;
            const int clock = tr.DepartClock(i);
            const int s = sides.of[tr.stops[i].sid];
            const int at = WindowMinute(o, clock);
            if (s == kFrom && at != kNoTime) out.push_back({at, at + ride, 0});
            if (s == kNone) lastLegs[tr.stops[i].sid].push_back({clock, ride});
        }
    }
    if (!withChange) return out;
    for (const RefTrain& tr : tt.trains) {
        for (std::size_t i = 0; i < tr.stops.size(); ++i) {
            const int clock = WindowMinute(o, tr.DepartClock(i));
            if (!tr.stops[i].board || sides.of[tr.stops[i].sid] != kFrom) continue;
            if (clock == kNoTime) continue;
            for (std::size_t j = i + 1; j < tr.stops.size(); ++j) {
                const int x = tr.stops[j].sid;
                if (sides.of[x] != kNone) continue;
                const int arrive = clock + tr.stops[j].arrive - tr.stops[i].depart;
                auto pair = [&](int y, int change) {
                    for (const auto& [dep, ride] : lastLegs[y])
                        out.push_back({clock, NextAt(dep, arrive + change) + ride, 1});
                };
                pair(x, o.minTransfer);
                for (int y : tt.mates[x]) pair(y, o.cityTransfer);
            }
        }
    }
    return out;
}

// Every journey with up to `trains` trains, by naive rounds over every train from each
// possible first train: the earliest arrival with exactly k trains for each first boarding.
inline std::vector<Triple> RoundJourneys(const RefTimetable& tt, const RefSides& sides,
                                         const JourneyOptions& o, int trains) {
    const std::size_t n = tt.names.size();
    std::vector<Triple> out;
    for (const RefTrain& first : tt.trains) {
        for (std::size_t i = 0; i < first.stops.size(); ++i) {
            const int clock = WindowMinute(o, first.DepartClock(i));
            if (!first.stops[i].board || sides.of[first.stops[i].sid] != kFrom) continue;
            if (clock == kNoTime) continue;
            std::vector<int> arrived(n, kNoTime);
            int best = kNoTime;
            for (std::size_t j = i + 1; j < first.stops.size(); ++j) {
                const int at = clock + first.stops[j].arrive - first.stops[i].depart;
                const int s = sides.of[first.stops[j].sid];
                if (s == kTo) best = std::min(best, at);
                if (s == kNone)
                    arrived[first.stops[j].sid] = std::min(arrived[first.stops[j].sid], at);
            }
            if (best < kNoTime) out.push_back({clock, best, 0});
            for (int k = 2; k <= trains; ++k) {
                std::vector<int> ready(n, kNoTime);
                for (std::size_t x = 0; x < n; ++x) {
                    if (arrived[x] == kNoTime) continue;
                    ready[x] = std::min(ready[x], arrived[x] + o.minTransfer);
                    for (int y : tt.mates[x]) {
                        if (sides.of[y] == kNone)
                            ready[y] = std::min(ready[y], arrived[x] + o.cityTransfer);
                    }
                }
                std::vector<int> next(n, kNoTime);
                best = kNoTime;
                for (const RefTrain& tr : tt.trains) {
                    int boarded = kNoTime;  // origin time of the earliest run boarded so far
                    for (std::size_t q = 0; q < tr.stops.size(); ++q) {
                        const RefStop& st = tr.stops[q];
                        if (boarded < kNoTime && st.alight) {
                            const int at = boarded + st.arrive;
                            const int s = sides.of[st.sid];
                            if (s == kTo) best = std::min(best, at);
                            if (s == kNone) next[st.sid] = std::min(next[st.sid], at);
                        }
                        if (!st.board || ready[st.sid] == kNoTime) continue;
                        const int dep = NextAt(tr.DepartClock(q), ready[st.sid]);
                        boarded = std::min(boarded, dep - st.depart);
                    }
                }
                if (best < kNoTime) out.push_back({clock, best, k - 1});
                arrived = std::move(next);
            }
        }
    }
    return out;
}

// The same journeys for an arrival window, paired by hand from the other end: each last
// train into the arrival side within the window with each first train from the departure
// side to where it is boarded (or another station of that city), caught as late as possible.
inline std::vector<Triple> PairedArrivals(const RefTimetable& tt, const RefSides& sides,
                                          const JourneyOptions& o, bool withChange) {
    // First legs by alighting station: arrival clock and the shortest ride from the
    // departure side.
    std::vector<std::vector<std::pair<int, int>>> firstLegs(tt.names.size());
    std::vector<Triple> out;
    for (const RefTrain& tr : tt.trains) {
        for (std::size_t j = 0; j < tr.stops.size(); ++j) {
            if (!tr.stops[j].alight) continue;
            int ride = kNoTime;
            for (std::size_t i = 0; i < j; ++i) {
                if (tr.stops[i].board && sides.of[tr.stops[i].sid] == kFrom)
                    ride = std::min(ride, tr.stops[j].arrive - tr.stops[i].depart);
            }
            if (ride == kNoTime) continue;
            const int s = sides.of[tr.stops[j].sid];
            const int at = WindowMinute(o, tr.ArriveClock(j));
            if (s == kTo && at != kNoTime) out.push_back({at - ride, at, 0});
            if (s == kNone) firstLegs[tr.stops[j].sid].push_back({tr.ArriveClock(j), ride});
        }
    }
    if (!withChange) return out;
    for (const RefTrain& tr : tt.trains) {
        for (std::size_t k = 0; k < tr.stops.size(); ++k) {
            const int at = WindowMinute(o, tr.ArriveClock(k));
            if (!tr.stops[k].alight || sides.of[tr.stops[k].sid] != kTo || at == kNoTime) continue;
            for (std::size_t q = 0; q < k; ++q) {
                const int y = tr.stops[q].sid;
                if (!tr.stops[q].board || sides.of[y] != kNone) continue;
                const int depart = at - (tr.stops[k].arrive - tr.stops[q].depart);
                auto pair = [&](int x, int change) {
                    for (const auto& [arr, ride] : firstLegs[x])
                        out.push_back({PrevAt(arr, depart - change) - ride, at, 1});
                };
                pair(y, o.minTransfer);
                for (int x : tt.mates[y]) pair(x, o.cityTransfer);
            }
        }
    }
    return out;
}

// The latest departure with exactly k trains for each last alighting within an arrival
// window, by naive rounds over every train backwards in time.
inline std::vector<Triple> RoundArrivals(const RefTimetable& tt, const RefSides& sides,
                                         const JourneyOptions& o, int trains) {
    const std::size_t n = tt.names.size();
    std::vector<Triple> out;
    for (const RefTrain& last : tt.trains) {
        for (std::size_t r = 0; r < last.stops.size(); ++r) {
            const int at = WindowMinute(o, last.ArriveClock(r));
            if (!last.stops[r].alight || sides.of[last.stops[r].sid] != kTo) continue;
            if (at == kNoTime) continue;
            std::vector<int> departed(n, -kNoTime);
            int best = -kNoTime;
            for (std::size_t q = 0; q < r; ++q) {
                if (!last.stops[q].board) continue;
                const int dep = at - (last.stops[r].arrive - last.stops[q].depart);
                const int s = sides.of[last.stops[q].sid];
                if (s == kFrom) best = std::max(best, dep);
                if (s == kNone)
                    departed[last.stops[q].sid] = std::max(departed[last.stops[q].sid], dep);
            }
            if (best > -kNoTime) out.push_back({best, at, 0});
            for (int k = 2; k <= trains; ++k) {
                // The latest arrival at a station that still catches the later trains.
                std::vector<int> deadline(n, -kNoTime);
                for (std::size_t x = 0; x < n; ++x) {
                    if (departed[x] == -kNoTime) continue;
                    deadline[x] = std::max(deadline[x], departed[x] - o.minTransfer);
                    for (int y : tt.mates[x]) {
                        if (sides.of[y] == kNone)
                            deadline[y] = std::max(deadline[y], departed[x] - o.cityTransfer);
                    }
                }
                std::vector<int> next(n, -kNoTime);
                best = -kNoTime;
                for (const RefTrain& tr : tt.trains) {
                    int alighted = -kNoTime;  // origin time of the latest run alighted later on
                    for (std::size_t q = tr.stops.size(); q-- > 0;) {
                        const RefStop& st = tr.stops[q];
                        if (alighted > -kNoTime && st.board) {
                            const int dep = alighted + st.depart;
                            const int s = sides.of[st.sid];
                            if (s == kFrom) best = std::max(best, dep);
                            if (s == kNone) next[st.sid] = std::max(next[st.sid], dep);
                        }
                        if (!st.alight || deadline[st.sid] == -kNoTime) continue;
                        const int arr = PrevAt(tr.ArriveClock(q), deadline[st.sid]);
                        alighted = std::max(alighted, arr - st.arrive);
                    }
                }
                if (best > -kNoTime) out.push_back({best, at, k - 1});
                departed = std::move(next);
            }
        }
    }
    return out;
}

inline std::set<Triple> Triples(const std::vector<Journey>& journeys) {
    std::set<Triple> out;
    for (const Journey& j : journeys) out.insert({j.depart, j.arrive, j.transfers});
    return out;
}

// Empty when the journey is sound: every leg is a train calling at both stations at those
// times in that order, every change allows its minimum, the sides and the window hold.
// `typed` is the timetable the planner numbered the journey's trains and stations by.
inline std::string CheckJourney(const RefTimetable& tt, const Timetable& typed,
                                const RefSides& sides, const JourneyOptions& o, const Journey& j) {
    auto name = [&](StationId s) { return typed.Name(s); };
    if (j.legs.empty()) return "no legs";
    if (sides.sameCity && j.legs.size() > 1) return "a change between two stations of one city";
    if (j.depart != j.legs.front().depart || j.arrive != j.legs.back().arrive ||
        j.minutes != j.arrive - j.depart || j.transfers + 1 != static_cast<int>(j.legs.size())) {
        return "summary does not match the legs";
    }
    const int anchor = o.windowOf == JourneyWindowOf::Departure ? j.depart : j.arrive;
    if (WindowMinute(o, Mod(anchor)) != anchor) return "outside the window";
    if (sides.Of(name(j.legs.front().fromStation)) != kFrom)
        return "first train not from the departure side";
    if (sides.Of(name(j.legs.back().toStation)) != kTo) return "last train not to the arrival side";
    int km = 0;
    for (std::size_t n = 0; n < j.legs.size(); ++n) {
        const JourneyLeg& leg = j.legs[n];
        const std::string& trainId = typed.Number(leg.train);
        const std::string& from = name(leg.fromStation);
        const std::string& to = name(leg.toStation);
        auto tr = std::find_if(tt.trains.begin(), tt.trains.end(),
                               [&](const RefTrain& t) { return t.id == trainId; });
        if (tr == tt.trains.end()) return "unknown train " + trainId;
        const int i = leg.row.fromStopNo - 1, k = leg.row.toStopNo - 1;
        if (i < 0 || k <= i || k >= static_cast<int>(tr->stops.size())) return "bad stops";
        const RefStop& a = tr->stops[i];
        const RefStop& b = tr->stops[k];
        if (a.station != from || b.station != to) return "stations do not match";
        if (!a.board || Clock(a.dtime) != Mod(leg.depart)) return "departure time does not match";
        if (Clock(b.atime) != Mod(leg.arrive)) return "arrival time does not match";
        if (leg.arrive - leg.depart != b.arrive - a.depart) return "ride time does not match";
        km += leg.Distance();
        if (n + 1 == j.legs.size()) break;
        const JourneyLeg& next = j.legs[n + 1];
        const std::string& nextFrom = name(next.fromStation);
        if (sides.Of(to) != kNone || sides.Of(nextFrom) != kNone) return "change at a side";
        if (leg.wait != next.depart - leg.arrive) return "wait does not match";
        const int need = to == nextFrom              ? o.minTransfer
                         : tt.SameCity(to, nextFrom) ? o.cityTransfer
                                                     : -1;
        if (need < 0) return "change between unrelated stations";
        if (leg.wait < need) return "change too short";
    }
    if (km != j.distance) return "distance does not match the legs";
    return "";
}

// --- comparing the planner with the reference ------------------------------------------

inline std::string Describe(const std::set<Triple>& s) {
    std::string out;
    for (const auto& [d, a, c] : s) {
        out += JourneyClockText(d) + "-" + JourneyClockText(a) + "/" + std::to_string(c) + " ";
    }
    return out;
}

inline JourneyOptions Window(int from, int to, int changes) {
    JourneyOptions o;
    o.windowStart = from;
    o.windowEnd = to;
    o.maxTransfers = changes;
    return o;
}

inline JourneyOptions Arrive(int from, int to, int changes) {
    JourneyOptions o = Window(from, to, changes);
    o.windowOf = JourneyWindowOf::Arrival;
    return o;
}

// The planner on one timetable against the reference: up to one change the hand-paired
// journeys, more the naive rounds, after the Pareto filter; every journey checked.
class ReferenceCheck {
  public:
    explicit ReferenceCheck(StoredTables& t) : t_(t), index_(t), ref_(t) {}

    // Plans the pair and compares with the reference; returns the number of journeys.
    std::size_t Compare(const std::string& from, const std::string& to, JourneyOptions o) {
        const bool arrival = o.windowOf == JourneyWindowOf::Arrival;
        SCOPED_TRACE(GbkToUtf8(from) + " -> " + GbkToUtf8(to) +
                     (arrival ? " arrive " : " window ") + JourneyClockText(o.windowStart) + "-" +
                     JourneyClockText(o.windowEnd) + " changes " + std::to_string(o.maxTransfers));
        const std::vector<Journey> js = FindJourneys(index_, t_, from, to, o);
        const RefSides sides(t_, ref_, from, to);
        for (const Journey& j : js) EXPECT_EQ(CheckJourney(ref_, index_.Typed(), sides, o, j), "");
        std::set<Triple> expected;
        if (sides.sameCity) o.maxTransfers = 0;
        if (o.maxTransfers <= 1) {
            expected = ParetoSet(arrival ? PairedArrivals(ref_, sides, o, o.maxTransfers == 1)
                                         : PairedJourneys(ref_, sides, o, o.maxTransfers == 1));
        } else {
            expected = ParetoSet(arrival ? RoundArrivals(ref_, sides, o, o.maxTransfers + 1)
                                         : RoundJourneys(ref_, sides, o, o.maxTransfers + 1));
        }
        const std::set<Triple> got = Triples(js);
        EXPECT_EQ(got.size(), js.size()) << "a journey is shown twice";
        EXPECT_EQ(got, expected) << "planner " << Describe(got) << "\nreference "
                                 << Describe(expected);
        return js.size();
    }

    const RefTimetable& Ref() const { return ref_; }
    const JourneyIndex& Index() const { return index_; }

  private:
    StoredTables& t_;
    JourneyIndex index_;
    RefTimetable ref_;
};

}  // namespace korvel::test
