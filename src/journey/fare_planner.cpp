// The search with fares: range McRAPTOR. It walks the same rounds over routes as the plain
// range RAPTOR, minute by minute from the latest departure to the earliest, but a station
// keeps a bag per round instead of one time: every (ready time, fare) pair that no other in
// that round or an earlier one beats. A pair from a later departure minute beats an earlier
// one's pair that is no sooner and no cheaper, so the bags carry over from minute to minute
// as the times do in the plain search, and only pairs new in this minute board trains.
//
// Why fares do not fit the plain search: riding the earliest run of a route is no longer
// enough. Runs of one route can belong to trains priced differently, so a pair boards the
// earliest run of each fare group of the route (trains priced alike on every span, usually
// one group per route). And a fare is not a sum over the stops ridden (the tariff charges by
// distance bands), so two passengers on the same run compare only when they boarded at the
// same stop.
//
// Pruning: a pair is dropped when a journey already found arrives no later than the pair
// could at best (its time plus the riding-time bound to the arrival side) and costs no more
// than the pair could at best (what it has paid plus the least fare still to pay); the
// journeys found form a bag per number of trains. The least fare still to pay is what makes
// the pruning bite: with one or two trains left it is the cheapest way on ignoring times (the
// cheapest last train, or a train to a stop where one goes plus that one; fare_bounds.h).
// Without it a pair that has paid little survives every journey found, however far from the
// arrival side it is. With one train left the search also offers an arrival only to the
// stations where a last train leaves, and tests it there before anything else.
#include <algorithm>
#include <span>
#include <utility>

#include "journey/fare_bounds.h"
#include "journey/search_parts.h"

namespace korvel::search {

namespace {

constexpr std::uint32_t kNone = JourneyIndex::kNone;

// A train ridden to a stop: the ride, the fare paid up to there, the label it boarded from.
struct Label {
    Ride ride;
    std::uint32_t parent = kNone;
    std::int32_t fare = 0;
    std::uint32_t run = 0;  // the departure minute's number that made it
    std::uint8_t round = 0;
};

// A pair in a bag: a station's (ready to board at `time` having paid `fare`) or the arrival
// side's (arrived at `time` for `fare`).
struct Entry {
    std::int32_t time;
    std::int32_t fare;
    std::uint32_t label;
    std::uint32_t run;
};

// The pairs no other in the bag beats, ordered by time with the fares falling: a pair is
// beaten exactly when the last pair no later than it is no dearer, which one halving finds.
class Bag {
  public:
    bool Beats(std::int32_t time, std::int32_t fare) const {
        // The last pair no later than `time`, by a halving without branches on the data (the
        // test runs millions of times a search, on times in no order a branch could guess).
        std::size_t n = times_.size();
        if (n == 0) return false;
        const std::int32_t* at = times_.data();
        while (n > 1) {
            const std::size_t half = n / 2;
            at = at[half] <= time ? at + half : at;
            n -= half;
        }
        return *at <= time && entries_[at - times_.data()].fare <= fare;
    }
    // Adds a pair that the bag does not beat, dropping the pairs it beats.
    void Add(const Entry& e) {
        const auto first = std::lower_bound(times_.begin(), times_.end(), e.time) - times_.begin();
        auto last = first;
        while (last < std::ssize(entries_) && entries_[last].fare >= e.fare) ++last;
        entries_.insert(entries_.erase(entries_.begin() + first, entries_.begin() + last), e);
        times_.insert(times_.erase(times_.begin() + first, times_.begin() + last), e.time);
    }
    void Clear() {
        entries_.clear();
        times_.clear();
    }
    const std::vector<Entry>& Entries() const { return entries_; }

  private:
    std::vector<Entry> entries_;
    std::vector<std::int32_t> times_;  // the entries' times again, for the halvings
};

// A passenger on a run of the route being scanned.
struct Riding {
    std::uint32_t group;
    std::uint32_t trip;
    std::int32_t originTime;
    std::uint32_t board;
    std::int32_t fare;
    std::uint32_t parent;
};

// A passenger about to board a route in a round; `slot` is the route's place in the round's
// order.
struct Boarding {
    std::uint32_t slot;
    Riding rider;
};

// The memory of one search, kept per thread (every array is refilled).
struct FareScratch {
    SearchSetup setup;
    FareBounds bounds;
    std::vector<Label> labels;
    std::array<std::vector<Bag>, kMaxRounds + 1> bags;  // by station number
    std::array<ByStation<std::uint8_t>, kMaxRounds + 1> marked;
    std::array<std::vector<StationIdx>, kMaxRounds + 1> markedList;
    std::array<Bag, kMaxRounds + 1> target;        // journeys found with at most k trains
    IdxVector<RouteIdx, std::uint32_t> routeSlot;  // a route's place in the round, or kNone
    std::vector<RouteIdx> routeList;
    std::vector<StationIdx> boardList;
    std::vector<Riding> riding;
    std::uint64_t targetsAdded = 0;    // journeys added to the target bags so far
    std::vector<std::uint32_t> fresh;  // a bag's pairs new in this minute
    std::vector<Boarding> boardings;   // in the order they are found
    std::vector<Boarding> sortedBoardings;
    std::vector<std::uint32_t> slotFirst, slotFill;
};

FareScratch& ThreadFareScratch() {
    thread_local FareScratch scratch;
    return scratch;
}

class FareRaptor {
  public:
    FareRaptor(const JourneyIndex& ix, const JourneySides& sides, const JourneyOptions& o,
               Window window, bool backward, FareScratch& s)
        : ix_(ix),
          fares_(ix.Fares(*o.fareClass)),
          o_(o),
          backward_(backward),
          rounds_(o.maxTransfers + 1),
          s_(s),
          setup_(s.setup),
          bounds_(s.bounds) {
        setup_.Prepare(ix, sides, o, window);
        const std::size_t n = ix.StationCount();
        s_.labels.clear();
        for (int k = 0; k <= kMaxRounds; ++k) {
            s_.bags[k].resize(n);
            for (Bag& b : s_.bags[k]) b.Clear();
            s_.marked[k].assign(n, 0);
            s_.markedList[k].clear();
            s_.target[k].Clear();
        }
        s_.routeSlot.assign(ix.RouteCount(), kNone);
        s_.routeList.clear();
        bounds_.Prepare(ix, fares_, backward, setup_, sides, o);
    }

    std::vector<Journey> Run() {
        std::vector<Journey> out;
        const std::vector<Departure>& deps = setup_.departures;
        for (std::size_t i = 0; i < deps.size();) {
            std::size_t end = i;
            while (end < deps.size() && deps[end].at == deps[i].at) ++end;
            ++run_;
            FirstRound(i, end);
            for (int k = 2; k <= rounds_ && !s_.markedList[k - 1].empty(); ++k) Round(k);
            for (int k = 1; k <= rounds_; ++k) Unmark(k);
            for (int k = 1; k <= rounds_; ++k) {
                for (const Entry& e : s_.target[k].Entries()) {
                    if (e.run == run_ && s_.labels[e.label].round == k)
                        out.push_back(Reconstruct(e.label));
                }
            }
            i = end;
        }
        std::sort(out.begin(), out.end(), [](const Journey& a, const Journey& b) {
            if (a.depart != b.depart) return a.depart < b.depart;
            if (a.arrive != b.arrive) return a.arrive < b.arrive;
            if (a.transfers != b.transfers) return a.transfers < b.transfers;
            return a.fare < b.fare;
        });
        return out;
    }

  private:
    // The fare of riding a route's train of `group` between two stops of this index.
    std::int32_t LegFare(std::uint32_t group, RouteIdx r, std::uint32_t board,
                         std::uint32_t alight) const {
        return RouteLegFare(ix_, fares_, backward_, group, r, board, alight);
    }

    // The same, or RouteFares::kNotPriced when the span is not priced yet.
    std::int32_t PricedLegFare(std::uint32_t group, RouteIdx r, std::uint32_t board,
                               std::uint32_t alight) const {
        if (!backward_) return fares_.PricedFare(group, board, alight);
        const std::uint32_t last = ix_.StopCount(r) - 1;
        return fares_.PricedFare(group, last - alight, last - board);
    }

    // The fare of riding to a stop where the pair would arrive at `at` having paid `paid`, or
    // kNoFare. A span not priced yet is priced only when the arrival could give anything.
    std::int32_t FareTo(int k, std::uint32_t group, RouteIdx r, std::uint32_t board,
                        std::uint32_t alight, StationIdx station, std::int32_t at,
                        std::int32_t paid) {
        const std::int32_t known = PricedLegFare(group, r, board, alight);
        if (known != RouteFares::kNotPriced) return known;
        if (!WorthPricing(k, station, at, paid)) return kNoFare;
        return LegFare(group, r, board, alight);
    }

    std::uint32_t GroupOfTrip(RouteIdx r, std::uint32_t trip) const {
        return fares_.GroupOf(ix_.Trips(r)[trip].train);
    }

    // Whether a journey found with at most k trains arrives by `at` for at most `fare`.
    bool Beaten(int k, std::int32_t at, std::int32_t fare) const {
        return s_.target[k].Beats(at, fare);
    }

    // Whether arriving at the station at `at`, having paid `paid` before this train, could
    // give anything (every fare is above 0): a cheap test before the train's fare is looked up.
    bool WorthPricing(int k, StationIdx station, std::int32_t at, std::int32_t paid) {
        const Side side = setup_.side[station];
        if (side == Side::To) return !Beaten(k, at, paid + 1);
        if (side == Side::From || k == rounds_) return false;
        if (Useful(k, station, at + o_.minTransfer, paid + 1)) return true;
        for (StationIdx mate : ix_.GroupMates(station)) {
            if (setup_.side[mate] == Side::None && Useful(k, mate, at + o_.cityTransfer, paid + 1))
                return true;
        }
        return false;
    }

    // Whether being ready at the station at `at` having paid `fare` with k trains could still
    // give a journey that none found beats, and no pair at the station beats it already.
    bool Useful(int k, StationIdx station, std::int32_t at, std::int32_t fare) {
        const std::int32_t bound = setup_.bound[station];
        return bound < kNever && CouldArrive(k, station, at + bound, fare) &&
               !Kept(k, station, at, fare);
    }

    // Whether a journey on from the station, with k trains ridden, arriving at `earliest` at
    // the soonest and having paid `fare` before the next train, could be one that no journey
    // found beats: a way on with m more trains costs at least the cheapest such way, and is
    // beaten by the journeys found with k + m trains or fewer.
    bool CouldArrive(int k, StationIdx station, std::int32_t earliest, std::int32_t fare) {
        for (int m = 1; k + m <= rounds_; ++m) {
            const std::int32_t rest = FareStillToPay(m, station);
            if (rest < kNever && !Beaten(k + m, earliest, fare + rest)) return true;
        }
        return false;
    }

    // The least fare of going on from the station with m more trains (kNever when that cannot
    // reach the arrival side): the cheapest ways on ignoring times with one or two, else one
    // tenth a train, as every fare is above 0.
    std::int32_t FareStillToPay(int m, StationIdx station) {
        if (m == 1) return bounds_.Direct(station);
        if (m == 2) return bounds_.WithTwo(station);
        return m;
    }

    // Whether alighting at the station from the k-th train could go anywhere: on the arrival
    // side, or off both sides with a train left and, when only one is left, a last train from
    // there or from another station of its city.
    bool WorthAlighting(int k, StationIdx station) const {
        const Side side = setup_.side[station];
        if (side == Side::To) return true;
        if (side == Side::From || k == rounds_) return false;
        return k + 1 < rounds_ || bounds_.AfterChange(station) < kNever;
    }

    // Whether a pair of round k or earlier at the station is no later and no dearer.
    bool Kept(int k, StationIdx station, std::int32_t at, std::int32_t fare) const {
        for (int j = 1; j <= k; ++j) {
            if (s_.bags[j][station.Value()].Beats(at, fare)) return true;
        }
        return false;
    }

    void FirstRound(std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const Departure& d = setup_.departures[i];
            const std::uint32_t group = GroupOfTrip(d.route, d.trip);
            Ride ride{d.route, d.trip, d.at - ix_.DepartOffset(d.route, d.stop), d.stop, 0};
            for (std::uint32_t q = d.stop + 1; q < ix_.StopCount(d.route); ++q) {
                if (!ix_.CanAlight(d.route, q) || !WorthAlighting(1, ix_.StopStation(d.route, q)))
                    continue;
                const std::int32_t at = ride.originTime + ix_.ArriveOffset(d.route, q);
                const std::int32_t fare =
                    FareTo(1, group, d.route, d.stop, q, ix_.StopStation(d.route, q), at, 0);
                if (fare == kNoFare) continue;
                ride.alight = q;
                Arrive(1, ix_.StopStation(d.route, q), at, fare, ride, kNone);
            }
        }
    }

    // Round k >= 2: the routes through stations whose bag of round k - 1 got new pairs, each
    // scanned once from its first boarding, in the order the stations first reach them.
    void Round(int k) {
        s_.boardList.swap(s_.markedList[k - 1]);
        s_.markedList[k - 1].clear();
        s_.routeList.clear();
        s_.boardings.clear();
        for (StationIdx x : s_.boardList) {
            const std::vector<Entry>& entries = s_.bags[k - 1][x.Value()].Entries();
            s_.fresh.clear();
            for (std::uint32_t i = 0; i < entries.size(); ++i) {
                if (entries[i].run == run_) s_.fresh.push_back(i);
            }
            for (const JourneyIndex::Call& c : ix_.Calls(x)) {
                if (!ix_.CanBoard(c.route, c.stop)) continue;
                if (k == rounds_ && setup_.lastTo[c.route] <= c.stop) continue;
                const std::size_t before = s_.boardings.size();
                CollectBoardings(k, c.route, c.stop, x);
                if (s_.boardings.size() == before) continue;
                std::uint32_t& slot = s_.routeSlot[c.route];
                if (slot == kNone) {
                    slot = static_cast<std::uint32_t>(s_.routeList.size());
                    s_.routeList.push_back(c.route);
                }
                for (std::size_t b = before; b < s_.boardings.size(); ++b)
                    s_.boardings[b].slot = slot;
            }
        }
        for (StationIdx x : s_.boardList) s_.marked[k - 1][x] = 0;
        s_.boardList.clear();
        // The boardings by route (in the routes' order), each route's by stop.
        std::vector<std::uint32_t>& first = s_.slotFirst;
        first.assign(s_.routeList.size() + 1, 0);
        for (const Boarding& b : s_.boardings) ++first[b.slot + 1];
        for (std::size_t i = 1; i < first.size(); ++i) first[i] += first[i - 1];
        std::vector<Boarding>& all = s_.sortedBoardings;
        all.resize(s_.boardings.size());
        std::vector<std::uint32_t>& fill = s_.slotFill;
        fill.assign(first.begin(), first.end() - 1);
        for (const Boarding& b : s_.boardings) all[fill[b.slot]++] = b;
        for (std::size_t slot = 0; slot < s_.routeList.size(); ++slot) {
            // An insertion sort: a route's boardings are few and mostly in order already.
            for (std::uint32_t i = first[slot] + 1; i < first[slot + 1]; ++i) {
                const Boarding b = all[i];
                std::uint32_t j = i;
                for (; j > first[slot] && all[j - 1].rider.board > b.rider.board; --j)
                    all[j] = all[j - 1];
                all[j] = b;
            }
            const RouteIdx r = s_.routeList[slot];
            s_.routeSlot[r] = kNone;
            ScanRoute(k, r, first[slot], first[slot + 1]);
        }
    }

    // Rides route r from its first boarding among boardings [begin, end) (ordered by stop).
    void ScanRoute(int k, RouteIdx r, std::size_t begin, std::size_t end) {
        std::vector<Riding>& riding = s_.riding;
        riding.clear();
        const std::uint32_t stops = k == rounds_ ? setup_.lastTo[r] + 1 : ix_.StopCount(r);
        std::size_t next = begin;
        struct Checked {
            std::int32_t best, more;
            std::uint64_t targets;
            std::size_t riders;
            bool operator==(const Checked&) const = default;
        } checked{-1, -1, 0, 0};
        for (std::uint32_t q = s_.sortedBoardings[begin].rider.board; q < stops; ++q) {
            const StationIdx station = ix_.StopStation(r, q);
            // Passengers who cannot arrive before a journey found that costs no more get off
            // for good (the first fare still to pay is at least one tenth).
            if (!riding.empty()) {
                const std::uint32_t at = ix_.FirstStop(r) + q - 1;
                const std::int32_t best = setup_.onward[at];
                // Past the route's last stop on the arrival side with one train left, that
                // train's fare is still to pay too, and the journey has one train more.
                const bool oneMore = k + 1 == rounds_ && setup_.lastTo[r] < q;
                const std::int32_t more = oneMore ? 1 + bounds_.OnwardAfterChange(at) : 1;
                // The test changes only with the bounds, the journeys found or the riders.
                const Checked now{best, more, s_.targetsAdded, riding.size()};
                if (now != checked) {
                    const int trains = oneMore ? rounds_ : k;
                    std::erase_if(riding, [&](const Riding& p) {
                        return best >= kNever || Beaten(trains, p.originTime + best, p.fare + more);
                    });
                    checked = now;
                    checked.riders = riding.size();
                }
            }
            if (!riding.empty() && ix_.CanAlight(r, q) && WorthAlighting(k, station)) {
                const std::int32_t offset = ix_.ArriveOffset(r, q);
                // Off the arrival side with one train left: the same test as on arriving,
                // with this train's fare at its least, before the fare is looked up.
                const bool lastLeft = k + 1 == rounds_ && setup_.side[station] == Side::None;
                const std::int32_t afterTime = lastLeft ? bounds_.AfterChangeMinutes(station) : 0;
                const std::int32_t afterFare = lastLeft ? bounds_.AfterChange(station) + 1 : 0;
                for (std::size_t i = 0; i < riding.size(); ++i) {
                    const Riding p = riding[i];
                    if (lastLeft &&
                        Beaten(rounds_, p.originTime + offset + afterTime, p.fare + afterFare))
                        continue;
                    const std::int32_t fare =
                        FareTo(k, p.group, r, p.board, q, station, p.originTime + offset, p.fare);
                    if (fare == kNoFare) continue;
                    const Ride ride{r, p.trip, p.originTime, p.board, q};
                    Arrive(k, station, p.originTime + offset, p.fare + fare, ride, p.parent);
                }
            }
            for (; next < end && s_.sortedBoardings[next].rider.board == q; ++next)
                AddRiding(s_.sortedBoardings[next].rider);
            if (riding.empty() && next == end) break;
        }
    }

    // Whether pair `i` of the station's bag of round k - 1 (new in this minute) boards the run
    // of `group` it catches at the stop (given as `c`): only a pair whose run could
    // still arrive before a journey found that costs no more, and that no other pair catches
    // for less. Such a pair, in this bag or one of fewer trains, rides that run itself (or
    // rode it in a later minute).
    // The caller has made sure a way on is left from the stop.
    bool Boards(int k, RouteIdx r, std::uint32_t q, StationIdx station, std::size_t i,
                std::uint32_t group, JourneyIndex::Catch& c) const {
        const std::vector<Entry>& entries = s_.bags[k - 1][station.Value()].Entries();
        const Entry& e = entries[i];
        const std::int32_t onward = setup_.onward[ix_.FirstStop(r) + q];
        c = EarliestOfGroup(r, q, e.time, group);
        if (c.trip == kNone) return false;
        const std::int32_t depart = c.originTime + ix_.DepartOffset(r, q);
        // The next pair of the bag is later and cheaper.
        if (i + 1 < entries.size() && entries[i + 1].time <= depart) return false;
        for (int j = 1; j < k - 1; ++j) {
            if (s_.bags[j][station.Value()].Beats(depart, e.fare)) return false;
        }
        if (Beaten(k, c.originTime + onward, e.fare)) return false;
        return k + 1 != rounds_ || setup_.lastTo[r] > q ||
               !Beaten(rounds_, c.originTime + onward,
                       e.fare + 1 + bounds_.OnwardAfterChange(ix_.FirstStop(r) + q));
    }

    // The passengers of the station's new pairs of round k - 1 (`fresh`) who board route r
    // at stop q.
    void CollectBoardings(int k, RouteIdx r, std::uint32_t q, StationIdx station) {
        if (setup_.onward[ix_.FirstStop(r) + q] >= kNever) return;  // no way on from there
        const std::vector<Entry>& entries = s_.bags[k - 1][station.Value()].Entries();
        JourneyIndex::Catch c;
        for (const std::uint32_t i : s_.fresh) {
            for (std::uint32_t g : fares_.RouteGroups(r)) {
                if (Boards(k, r, q, station, i, g, c)) {
                    s_.boardings.push_back(
                        {0, {g, c.trip, c.originTime, q, entries[i].fare, entries[i].label}});
                }
            }
        }
    }

    void AddRiding(const Riding& p) {
        std::vector<Riding>& riding = s_.riding;
        for (const Riding& o : riding) {
            if (o.group == p.group && o.board == p.board && o.originTime <= p.originTime &&
                o.fare <= p.fare)
                return;
        }
        std::erase_if(riding, [&p](const Riding& o) {
            return o.group == p.group && o.board == p.board && o.originTime >= p.originTime &&
                   o.fare >= p.fare;
        });
        riding.push_back(p);
    }

    // The first run of the group that leaves the stop at `minute` or later.
    JourneyIndex::Catch EarliestOfGroup(RouteIdx r, std::uint32_t q, std::int32_t minute,
                                        std::uint32_t group) const {
        JourneyIndex::Catch c = ix_.EarliestRun(r, q, minute);
        if (fares_.RouteGroups(r).size() == 1) return c;
        const JourneyIndex::Trip* trips = ix_.Trips(r);
        const std::uint32_t n = ix_.TripCount(r);
        for (std::uint32_t step = 0; step < n; ++step) {
            if (fares_.GroupOf(trips[c.trip].train) == group) return c;
            const std::int32_t day = c.originTime - trips[c.trip].originMinute;
            if (++c.trip == n) {
                c.trip = 0;
                c.originTime = trips[0].originMinute + day + kMinutesPerDay;
            } else {
                c.originTime = trips[c.trip].originMinute + day;
            }
        }
        return {kNone, 0};
    }

    void Arrive(int k, StationIdx station, std::int32_t at, std::int32_t fare, const Ride& ride,
                std::uint32_t parent) {
        const Side side = setup_.side[station];
        if (side == Side::To) {
            if (Beaten(k, at, fare)) return;
            const std::uint32_t l = AddLabel(k, ride, parent, fare);
            for (int j = k; j <= rounds_; ++j) {
                if (!s_.target[j].Beats(at, fare)) s_.target[j].Add({at, fare, l, run_});
            }
            ++s_.targetsAdded;
            return;
        }
        if (side == Side::From || k == rounds_) return;
        std::uint32_t label = kNone;
        if (k + 1 == rounds_) {
            // Only where a last train leaves, as Ready would find. With more than one such
            // station, the cheapest last train of them, taken as soon as any allows, decides at
            // once for all.
            const std::span<const FareBounds::LastWay> ways = bounds_.LastWays(station);
            if (ways.size() > 1 && Beaten(rounds_, at + bounds_.AfterChangeMinutes(station),
                                          fare + bounds_.AfterChange(station)))
                return;
            for (const FareBounds::LastWay& w : ways) {
                const std::int32_t ready = at + w.minutes;
                if (Beaten(rounds_, ready + setup_.bound[w.station],
                           fare + bounds_.Direct(w.station)) ||
                    Kept(k, w.station, ready, fare))
                    continue;
                Keep(k, w.station, ready, fare, ride, parent, label);
            }
            return;
        }
        const std::int32_t bound = setup_.bound[station];
        if (bound >= kNever || Beaten(k + 1, at + bound, fare)) return;
        Ready(k, station, at + o_.minTransfer, fare, ride, parent, label);
        for (StationIdx mate : ix_.GroupMates(station)) {
            if (setup_.side[mate] == Side::None)
                Ready(k, mate, at + o_.cityTransfer, fare, ride, parent, label);
        }
    }

    // A pair for the bag of round k at the station, unless a pair of this round or an earlier
    // one is no later and no dearer; the label is made on the first pair kept.
    void Ready(int k, StationIdx station, std::int32_t at, std::int32_t fare, const Ride& ride,
               std::uint32_t parent, std::uint32_t& label) {
        if (Useful(k, station, at, fare)) Keep(k, station, at, fare, ride, parent, label);
    }

    // Adds the pair to the station's bag of round k.
    void Keep(int k, StationIdx station, std::int32_t at, std::int32_t fare, const Ride& ride,
              std::uint32_t parent, std::uint32_t& label) {
        if (label == kNone) label = AddLabel(k, ride, parent, fare);
        s_.bags[k][station.Value()].Add({at, fare, label, run_});
        if (!s_.marked[k][station]) {
            s_.marked[k][station] = 1;
            s_.markedList[k].push_back(station);
        }
    }

    std::uint32_t AddLabel(int k, const Ride& ride, std::uint32_t parent, std::int32_t fare) {
        s_.labels.push_back({ride, parent, fare, run_, static_cast<std::uint8_t>(k)});
        return static_cast<std::uint32_t>(s_.labels.size() - 1);
    }

    void Unmark(int k) {
        for (StationIdx x : s_.markedList[k]) s_.marked[k][x] = 0;
        s_.markedList[k].clear();
    }

    Journey Reconstruct(std::uint32_t l) const {
        std::vector<JourneyLeg> legs;
        for (std::uint32_t at = l; at != kNone; at = s_.labels[at].parent) {
            const Label& label = s_.labels[at];
            JourneyLeg leg = LegOf(ix_, label.ride, backward_);
            const std::int32_t before = label.parent == kNone ? 0 : s_.labels[label.parent].fare;
            leg.fare = label.fare - before;
            legs.push_back(std::move(leg));
        }
        Journey j = Assemble(std::move(legs), backward_);
        j.fare = s_.labels[l].fare;
        return j;
    }

    const JourneyIndex& ix_;
    const RouteFares& fares_;
    const JourneyOptions& o_;
    const bool backward_;
    const int rounds_;
    FareScratch& s_;
    SearchSetup& setup_;
    FareBounds& bounds_;
    std::uint32_t run_ = 0;
};

}  // namespace

std::vector<Journey> PlanWithFares(const JourneyIndex& ix, const JourneySides& sides,
                                   const JourneyOptions& o, Window window, bool backward) {
    return FareRaptor(ix, sides, o, window, backward, ThreadFareScratch()).Run();
}

}  // namespace korvel::search
