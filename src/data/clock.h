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
    const auto digit = [hhmm](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(hhmm[i])) - '0';
    };
    const unsigned h1 = digit(0), h2 = digit(1), m1 = digit(3), m2 = digit(4);
    // The first hour digit needs no test of its own: with any other byte there (wrapped
    // around, or 10 and more), h is far above 23.
    const unsigned h = h1 * 10 + h2;
    if (h2 > 9 || m1 > 5 || m2 > 9 || h > 23) return std::nullopt;
    return static_cast<int>(h * 60 + m1 * 10 + m2);
}

// "HH:MM" of minutes since midnight. Minutes on another day (negative, or a day or more)
// show the time of day they fall on: 1500 is "01:00", -60 is "23:00".
inline std::string ClockText(int minutes) {
    const int m = (minutes % 1440 + 1440) % 1440;
    return {static_cast<char>('0' + m / 600), static_cast<char>('0' + m / 60 % 10), ':',
            static_cast<char>('0' + m % 60 / 10), static_cast<char>('0' + m % 10)};
}

}  // namespace korvel
