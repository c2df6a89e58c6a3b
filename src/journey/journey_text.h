// The texts a journey is shown with (ASCII), for the journey window and korvel-cli.
#pragma once

#include <cstdint>
#include <string>

namespace korvel {

// A minute of the journey (counted from midnight of day 0) as "HH:MM", with "+N" on day
// N > 0 ("01:00+1") and "-N" on day -N ("19:10-1").
std::string JourneyClockText(std::int32_t minute);
// A duration as hours and zero-padded minutes ("4:28", "27:05").
std::string JourneyDurationText(std::int32_t minutes);

}  // namespace korvel
