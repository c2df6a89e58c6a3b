// Clock times as the timetable writes them: "HH:MM", both parts two digits, 00:00..23:59.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// Minutes since midnight of an "HH:MM" text; nothing for any other text (a stop without a
// time, a typing slip, 24:00 and later).
inline std::optional<int> ClockMinutes(std::string_view hhmm) {
    if (hhmm.size() != 5 || hhmm[2] != ':') return std::nullopt;
    for (const std::size_t i : {0u, 1u, 3u, 4u}) {
        if (hhmm[i] < '0' || hhmm[i] > '9') return std::nullopt;
    }
    const int h = (hhmm[0] - '0') * 10 + (hhmm[1] - '0');
    const int m = (hhmm[3] - '0') * 10 + (hhmm[4] - '0');
    if (h > 23 || m > 59) return std::nullopt;
    return h * 60 + m;
}

// "HH:MM" of minutes since midnight. Minutes on another day (negative, or a day or more)
// show the time of day they fall on: 1500 is "01:00", -60 is "23:00".
inline std::string ClockText(int minutes) {
    const int m = (minutes % 1440 + 1440) % 1440;
    return {static_cast<char>('0' + m / 600), static_cast<char>('0' + m / 60 % 10), ':',
            static_cast<char>('0' + m % 60 / 10), static_cast<char>('0' + m % 10)};
}

}  // namespace korvel
