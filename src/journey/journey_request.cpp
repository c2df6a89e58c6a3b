#include "journey/journey_request.h"

namespace korvel {

std::variant<JourneyAnswer, Refusal> AskJourneys(const QueryTables& q,
                                                 const std::function<const JourneyIndex&()>& index,
                                                 std::string_view from, std::string_view to,
                                                 const JourneyOptions& options) {
    if (std::optional<Refusal> refusal = CheckStationPair(q, from, to)) return *refusal;
    const JourneyIndex& ix = index();
    const JourneySides sides = ResolveJourneySides(ix, q.tables.KMSM, from, to);
    JourneyAnswer answer;
    answer.sameCity = sides.sameCity;
    answer.journeys = PlanJourneys(ix, sides, options);
    FillJourneyDetails(ix, answer.journeys);
    answer.timetable = ix.SharedTyped();
    return answer;
}

}  // namespace korvel
