// Decimal numbers read from text. Every reader here takes the whole text and nothing else: no
// blanks around it (trim first where blanks are allowed), nothing after the digits, and it
// gives nothing rather than a wrapped, clipped or partial value. The name says what is taken.
#pragma once

#include <charconv>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvel {

// An optional '-' (never '+') and digits, leading zeros allowed, within T: how a number typed
// or shown as text is read. For an unsigned T no sign at all.
template <std::integral T>
std::optional<T> WholeInteger(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

// An optional '+' or '-' and digits, within [min, max] (both inside the 32-bit range): how
// the table streams and the memory tables read an integer field.
inline std::optional<std::int32_t> SignedIntegerInRange(std::string_view text, std::int64_t min,
                                                        std::int64_t max) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        v = v * 10 + (text[i] - '0');
        if (v > (std::int64_t{1} << 40)) return std::nullopt;  // far outside any range
    }
    if (negative) v = -v;
    if (v < min || v > max) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

// Digits only, no sign, no leading zero ("0" itself aside), within T: a count, size or
// sequence number in a file this program writes, where each value has exactly one spelling.
template <std::unsigned_integral T>
std::optional<T> CanonicalCount(std::string_view text) {
    if (text.size() > 1 && text[0] == '0') return std::nullopt;
    return WholeInteger<T>(text);
}

// A decimal number with '.' as the point, whatever the locale: an optional '-' (never '+'),
// digits with at most one point (".5" and "5." too) and an optional exponent. "inf", "nan",
// hexadecimal forms and values beyond a double are not numbers.
inline std::optional<double> DecimalNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const char c = text.front();
    if (!(c == '-' || c == '.' || (c >= '0' && c <= '9'))) return std::nullopt;
    const char* end = text.data() + text.size();
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), end, v, std::chars_format::general);
    if (ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace korvel
