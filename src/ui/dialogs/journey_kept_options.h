// The journey window's choices, kept from one run of the program to the next.
#pragma once

#include "journey/planner.h"

namespace korvel::ui {

// The choices of the last search, kept across runs (each within its range). `o` holds the
// timetable's defaults when called.
void RestoreJourneyOptions(JourneyOptions& o);

// Keeps `o`, and the change-time defaults the timetable offered with it.
void KeepJourneyOptions(const JourneyOptions& o, const JourneyOptions& defaults);

}  // namespace korvel::ui
