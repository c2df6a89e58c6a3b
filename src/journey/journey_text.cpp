// The texts a journey is shown with: clock times on the journey's days, durations.
#include "journey/journey_text.h"

#include <cstdio>

#include "data/clock.h"
#include "journey/journey_index.h"

namespace korvel {

std::string JourneyClockText(std::int32_t minute) {
    const std::int32_t clock = (minute % kMinutesPerDay + kMinutesPerDay) % kMinutesPerDay;
    const std::int32_t day = (minute - clock) / kMinutesPerDay;
    std::string text = ClockText(clock);
    if (day > 0) text += "+" + std::to_string(day);
    if (day < 0) text += "-" + std::to_string(-day);
    return text;
}

std::string JourneyDurationText(std::int32_t minutes) {
    if (minutes < 0) minutes = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d", static_cast<int>(minutes / 60),
                  static_cast<int>(minutes % 60));
    return buf;
}

}  // namespace korvel
