// Run times as the timetable writes them: hours and minutes since the origin's departure,
// "37:43", "2:9", or the minutes alone under an hour ("18"), "0" at the origin.
#pragma once

#include <cstdint>
#include <string_view>

#include "data/decimal.h"

namespace korvel {

// hours * 60 + minutes, held within int range for absurd texts.
inline int HoursAndMinutes(int hours, int minutes) {
    constexpr std::int64_t kMax = 2147483647, kMin = -2147483647 - 1;
    const std::int64_t v = std::int64_t{hours} * 60 + minutes;
    return static_cast<int>(v > kMax ? kMax : (v < kMin ? kMin : v));
}

// Minutes of a run-time text: "H:M" is H * 60 + M, a text without a colon is minutes; a part
// that is not a whole integer (an empty one included) counts 0. Journey times read at most
// `minuteChars` characters after the colon, sums of them the whole rest.
inline int RunTimeMinutes(std::string_view text, std::size_t minuteChars = std::string_view::npos) {
    const auto part = [](std::string_view t) { return WholeInteger<int>(t).value_or(0); };
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return part(text);
    return HoursAndMinutes(part(text.substr(0, colon)), part(text.substr(colon + 1, minuteChars)));
}

}  // namespace korvel
