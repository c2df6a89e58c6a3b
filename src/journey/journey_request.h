// The journey question as both front ends ask it: two station texts as the user typed them and
// the options, to either the journeys or the refusal the window shows for that input. The
// station checks and their words are the direct query's (query/requests.h), word for word.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <variant>
#include <vector>

#include "journey/planner.h"
#include "query/requests.h"

namespace korvel {

// The journeys between two stations, in the planner's order (departure, then arrival), with
// the typed timetable their numbers refer to.
struct JourneyAnswer {
    std::vector<Journey> journeys;
    // Both stations are of one city: the planner offered direct trains only.
    bool sameCity = false;
    std::shared_ptr<const Timetable> timetable;
};

// Checks the two stations as the direct query does (CheckStationPair) and plans between them.
// `index` is asked for only when the stations pass: it gives the journey index over the
// typed timetable of `q`'s tables. Options the planner refuses give no journeys.
std::variant<JourneyAnswer, Refusal> AskJourneys(const QueryTables& q,
                                                 const std::function<const JourneyIndex&()>& index,
                                                 std::string_view from, std::string_view to,
                                                 const JourneyOptions& options);

}  // namespace korvel
