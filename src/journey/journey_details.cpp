// Everything around the search: the two sides from the station boxes, the legs' rows and
// fares from the typed timetable.
#include <algorithm>
#include <optional>

#include "journey/planner.h"
#include "query/queries.h"
#include "query/stations.h"

namespace korvel {

namespace {

template <class Side>
void SideStations(const JourneyIndex& index, const Side& side, bool exact,
                  std::vector<StationIdx>& out) {
    std::vector<std::string> names;
    if (exact || side.Members.empty()) {
        names.push_back(side.TypedName);
    } else {
        names = side.Members;
    }
    for (const std::string& name : names) {
        const StationIdx id = index.StationId(name);
        if (id != kNoStation && std::find(out.begin(), out.end(), id) == out.end()) {
            out.push_back(id);
        }
    }
}

// The leg as a result row of the direct query would carry it, fares included.
void FillLeg(const JourneyIndex& index, JourneyLeg& leg) {
    const Timetable& tt = index.Typed();
    const std::uint32_t first = tt.FirstStop(leg.train).Value();
    leg.row =
        RowBetween(tt, leg.train, StopId(first + leg.boardStop), StopId(first + leg.alightStop));
}

FareValue FareSum(const std::vector<JourneyLeg>& legs, int fareClass) {
    FareValue sum;
    for (std::size_t i = 0; i < legs.size(); ++i) {
        const FareValue& f = legs[i].row.fares[fareClass];
        if (!f.HasFare() || (i > 0 && f.count != sum.count)) return FareValue{};
        sum.count = f.count;
        for (std::uint8_t b = 0; b < f.count; ++b) sum.tenths[b] += f.tenths[b];
    }
    return sum;
}

// A journey's distance and fare sums from its legs' rows.
void SumLegs(Journey& j) {
    j.distance = 0;
    for (const JourneyLeg& leg : j.legs) j.distance += leg.Distance();
    j.fares = LegFareSums(j.legs);
}

std::int32_t Modulo(std::int32_t x, std::int32_t m) {
    return (x % m + m) % m;
}

// Whether a leg from `a` can follow a leg arriving at `b` at `arrive` by `depart`.
bool Connects(const JourneyOptions& o, StationIdx b, std::int32_t arrive, StationIdx a,
              std::int32_t depart) {
    return depart - arrive >= (a == b ? o.minTransfer : o.cityTransfer);
}

}  // namespace

JourneySides ResolveJourneySides(const JourneyIndex& index, MemTable& /*KMSM*/,
                                 std::string_view fromText, std::string_view toText) {
    StationSide fromSide;
    StationSide toSide;
    // The groups as the index's own timetable holds them.
    ResolveFromStation(index.Typed(), fromText, MatchMode::Grouped, fromSide);
    ResolveToStation(index.Typed(), toText, MatchMode::Grouped, toSide);
    const bool exact = fromSide.GroupId == toSide.GroupId;
    JourneySides sides;
    SideStations(index, fromSide, exact, sides.from);
    SideStations(index, toSide, exact, sides.to);
    sides.sameCity = exact && fromSide.GroupId != 0;
    return sides;
}

std::array<FareValue, 4> LegFareSums(const std::vector<JourneyLeg>& legs) {
    std::array<FareValue, 4> sums;
    for (int c = 0; c < 4; ++c) sums[c] = FareSum(legs, c);
    return sums;
}

void FillJourneyDetails(const JourneyIndex& index, std::vector<Journey>& journeys) {
    for (Journey& j : journeys) {
        for (JourneyLeg& leg : j.legs) FillLeg(index, leg);
        SumLegs(j);
    }
}

std::vector<JourneyLeg> LegAlternatives(const JourneyIndex& index, const Journey& journey,
                                        std::size_t leg, const JourneyOptions& o) {
    std::vector<JourneyLeg> out;
    if (leg >= journey.legs.size()) return out;
    const JourneyLeg& now = journey.legs[leg];
    const JourneyLeg* before = leg > 0 ? &journey.legs[leg - 1] : nullptr;
    const JourneyLeg* after = leg + 1 < journey.legs.size() ? &journey.legs[leg + 1] : nullptr;
    // Without a leg on one side, the alternatives keep within half a day of the leg itself.
    const std::int32_t earliest = before ? before->arrive : now.depart - kMinutesPerDay / 2;
    const std::int32_t latest = after ? after->depart : now.arrive + kMinutesPerDay / 2;
    // A first leg takes each train's last run that still connects, any other its first.
    const bool lastRun = before == nullptr && after != nullptr;
    const RouteFares* fares = o.fareClass ? &index.Fares(*o.fareClass) : nullptr;
    for (const JourneyIndex::Call& c : index.Calls(now.fromStation)) {
        if (!index.CanBoard(c.route, c.stop)) continue;
        std::uint32_t a = c.stop + 1;
        while (a < index.StopCount(c.route) &&
               !(index.StopStation(c.route, a) == now.toStation && index.CanAlight(c.route, a)))
            ++a;
        if (a == index.StopCount(c.route)) continue;
        const std::int32_t ride =
            index.ArriveOffset(c.route, a) - index.DepartOffset(c.route, c.stop);
        const JourneyIndex::Trip* trips = index.Trips(c.route);
        for (std::uint32_t t = 0; t < index.TripCount(c.route); ++t) {
            if (trips[t].train == now.train) continue;
            const std::int32_t clock = trips[t].originMinute + index.DepartOffset(c.route, c.stop);
            std::optional<std::int32_t> chosen;
            // Every run leaving from `earliest` on and arriving by `latest`.
            for (std::int32_t depart = earliest + Modulo(clock - earliest, kMinutesPerDay);
                 depart + ride <= latest; depart += kMinutesPerDay) {
                if (before &&
                    !Connects(o, before->toStation, before->arrive, now.fromStation, depart))
                    continue;
                if (after &&
                    !Connects(o, now.toStation, depart + ride, after->fromStation, after->depart))
                    continue;
                chosen = depart;
                if (!lastRun) break;
            }
            if (!chosen) continue;
            JourneyLeg alt;
            alt.train = trips[t].train;
            alt.fromStation = now.fromStation;
            alt.toStation = now.toStation;
            alt.boardStop = c.stop;
            alt.alightStop = a;
            alt.depart = *chosen;
            alt.arrive = *chosen + ride;
            if (fares) {
                alt.fare = fares->Fare(fares->GroupOf(alt.train), c.stop, a);
                if (alt.fare == kNoFare) continue;
            }
            FillLeg(index, alt);
            alt.wait = after ? after->depart - alt.arrive : 0;
            out.push_back(std::move(alt));
        }
    }
    std::sort(out.begin(), out.end(), [](const JourneyLeg& x, const JourneyLeg& y) {
        return x.depart != y.depart ? x.depart < y.depart : x.arrive < y.arrive;
    });
    return out;
}

Journey WithLeg(const Journey& journey, std::size_t leg, const JourneyLeg& replacement) {
    Journey j = journey;
    j.legs[leg] = replacement;
    for (std::size_t i = 0; i < j.legs.size(); ++i) {
        j.legs[i].wait = i + 1 < j.legs.size() ? j.legs[i + 1].depart - j.legs[i].arrive : 0;
    }
    j.depart = j.legs.front().depart;
    j.arrive = j.legs.back().arrive;
    j.minutes = j.arrive - j.depart;
    SumLegs(j);
    if (j.fare != kNoFare) {
        j.fare = 0;
        for (const JourneyLeg& l : j.legs) j.fare += l.fare;
    }
    return j;
}

std::vector<Journey> FindJourneys(const JourneyIndex& index, StoredTables& tables,
                                  std::string_view fromText, std::string_view toText,
                                  const JourneyOptions& options) {
    const JourneySides sides = ResolveJourneySides(index, tables.KMSM, fromText, toText);
    std::vector<Journey> journeys = PlanJourneys(index, sides, options);
    FillJourneyDetails(index, journeys);
    return journeys;
}

}  // namespace korvel
