// The journey planner: every train connection between two stations, with up to three
// changes, that leaves (or arrives) within a window of day 0 and that no other connection
// leaving (arriving) within it beats.
//
// A journey J beats K when J leaves no earlier, arrives no later and changes no more often,
// and is better in at least one of the three. The answer holds every journey nothing beats,
// one of each set of journeys that tie on all three, sorted by departure, then arrival.
// With a fare class the fare of that class is a fourth such criterion (see JourneyOptions).
//
// The window is the minutes from its start on day 0 to its end, on day 1 when the end is
// earlier than the start (22:00-06:00 is a night). Times are counted from midnight of day 0:
// for a departure window the first train leaves on day 0 (or day 1 past midnight) and the
// arrival may be days later; for an arrival window the last train arrives within it and the
// departure may be on an earlier day (negative minutes).
//
// The rules a journey follows:
// - The first train leaves a departure-side station at a clock time within the window
//   (a train that left its origin the day before is boarded at today's clock time).
// - The last train arrives at an arrival-side station; no train before it alights at a
//   station of either side, and no later train is boarded at one (such a journey would be a
//   longer way round of a journey that starts or ends there).
// - A change at one station allows at least `minTransfer` minutes between the arrival and
//   the next departure; a change to another station of the same city group (KMSM) at least
//   `cityTransfer` minutes. There are no other walks.
// - Sides: each station box stands for its same-city group, or for the typed station alone
//   when both boxes are in the same group or neither is in one, as in the direct query.
// - Two stations of one city (北京 and 北京南): direct trains only. A change would be at a
//   station out of town (a round trip nobody takes) or at another station of the city,
//   from where the city's own transport goes on sooner; the window says so.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/schema.h"
#include "journey/journey_index.h"
#include "query/grid_result.h"

namespace korvel {

inline constexpr int kMaxJourneyTransfers = 3;
// The most minutes a change may be asked to allow: a whole day.
inline constexpr int kMaxChangeMinutes = kMinutesPerDay;

// Whether the window holds the departures or the arrivals.
enum class JourneyWindowOf : std::uint8_t { Departure, Arrival };

struct JourneyOptions {
    int windowStart = 0;                 // minutes after midnight of day 0, 0..1439
    int windowEnd = kMinutesPerDay - 1;  // 0..1439, before windowStart: on day 1
    JourneyWindowOf windowOf = JourneyWindowOf::Departure;
    int maxTransfers = 2;    // 0..kMaxJourneyTransfers
    int minTransfer = 30;    // change at one station, 0..kMaxChangeMinutes
    int cityTransfer = 120;  // change between stations of one city, 0..kMaxChangeMinutes
    // With a class, the fare of that class is a fourth criterion (lower is better): a journey
    // beats another only when it is also no dearer, and trains that do not sell the class
    // are not ridden. A journey's fare is the sum of its legs' (see journey_fares.h).
    std::optional<FareClass> fareClass;
};

enum class JourneyOptionError { None, Window, MaxTransfers, MinTransfer, CityTransfer };
JourneyOptionError CheckJourneyOptions(const JourneyOptions& options);

// One train ridden from a boarding to an alighting stop. Times are minutes after midnight of
// day 0 (1500 is 01:00 on day 1).
struct JourneyLeg {
    TrainIdx train;
    StationIdx fromStation, toStation;
    std::uint32_t boardStop = 0, alightStop = 0;  // positions on the train's route, 0 the origin
    std::int32_t depart = 0;
    std::int32_t arrive = 0;
    std::int32_t wait = 0;        // minutes until the next leg departs; 0 for the last leg
    std::int32_t fare = kNoFare;  // tenths of a yuan in the class asked for, or kNoFare

    // Filled from the typed timetable (FillJourneyDetails): the row the direct query shows
    // for this train between these two stops, with their stop numbers, the km and the fares
    // of all four classes. Its texts are made where it is shown (views/row_text.h).
    ResultRow row;

    std::int32_t Distance() const { return row.SpanKm(); }
};

struct Journey {
    std::int32_t depart = 0;
    std::int32_t arrive = 0;
    std::int32_t minutes = 0;
    std::int32_t transfers = 0;
    std::int32_t distance = 0;
    std::int32_t fare = kNoFare;  // the legs' fares summed, when a class was asked for
    // Hard seat, soft seat, hard sleeper (upper/middle/lower), soft sleeper (upper/lower):
    // the legs' fares summed berth by berth; no fare when a leg has none in that class or
    // the legs list different numbers of berths.
    std::array<FareValue, 4> fares{};
    std::vector<JourneyLeg> legs;
};

// The stations each side stands for, as index station ids.
struct JourneySides {
    std::vector<StationIdx> from;
    std::vector<StationIdx> to;
    // Both boxes name stations of one same-city group: direct trains only.
    bool sameCity = false;
};

// Resolves two station texts (trimmed) with same-city expansion as the direct query does.
// Stations no usable train calls at are left out.
JourneySides ResolveJourneySides(const JourneyIndex& index, MemTable& KMSM,
                                 std::string_view fromText, std::string_view toText);

// The planner's answer over resolved sides, legs without texts and fares. Nothing when the
// options are refused or a station is on both sides.
std::vector<Journey> PlanJourneys(const JourneyIndex& index, const JourneySides& sides,
                                  const JourneyOptions& options);

// The fares of a journey's legs summed class by class, berth by berth: no fare in a class
// where a leg has none or the legs list different numbers of berths.
std::array<FareValue, 4> LegFareSums(const std::vector<JourneyLeg>& legs);

// Fills the legs' rows (stop numbers, distances, fares) and the journeys' distances and fare
// sums from the typed timetable the index was built from.
void FillJourneyDetails(const JourneyIndex& index, std::vector<Journey>& journeys);

// The other trains that could ride leg `leg` of the journey between the same two stations and
// still keep its other connections (the change minutes of `o` included): each train's run
// that fits, earlier and later, ordered by departure, details filled. A leg with no neighbour
// on a side keeps within a day of itself on that side. With a fare class in `o`, trains that
// do not sell it are left out and each leg carries its fare.
std::vector<JourneyLeg> LegAlternatives(const JourneyIndex& index, const Journey& journey,
                                        std::size_t leg, const JourneyOptions& o);
// The journey with one leg replaced (an alternative of that leg): times, waits, distance and
// fares follow.
Journey WithLeg(const Journey& journey, std::size_t leg, const JourneyLeg& replacement);

// Everything at once: resolve, plan, fill.
std::vector<Journey> FindJourneys(const JourneyIndex& index, StoredTables& tables,
                                  std::string_view fromText, std::string_view toText,
                                  const JourneyOptions& options);

}  // namespace korvel
