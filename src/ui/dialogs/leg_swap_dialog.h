// 换一趟车: the other trains for one leg of a journey, as a list the traveller picks from.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "journey/planner.h"

namespace korvel::ui {

// Shows the alternatives of `current` (earlier and later, with times and fares; the fare of
// `fareClass` first when one is given) and gives the one picked, nothing when the window is
// closed without a pick. A leg without alternatives is told in a message box. The legs'
// numbers are those of `tt`, the typed timetable they were planned on.
std::optional<std::size_t> ChooseLegAlternative(QWidget* parent, const Timetable& tt,
                                                const JourneyLeg& current,
                                                const std::vector<JourneyLeg>& alternatives,
                                                std::optional<FareClass> fareClass);

}  // namespace korvel::ui
