// The planner's options for one timetable: a timetable built from a feed with transfers.txt
// names its own change minutes in its manifest.
#pragma once

#include <optional>

#include "data/manifest.h"
#include "journey/planner.h"

namespace korvel {

// The program's own options, with the change minutes the manifest gives in their place.
JourneyOptions JourneyDefaultsOf(const std::optional<data::Manifest>& manifest);

}  // namespace korvel
