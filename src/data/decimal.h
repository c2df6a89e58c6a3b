// Strict decimal integers. ParseDecimal is how the table streams and the memory tables read
// them: an optional sign, then digits only, within [min, max] (both inside the 32-bit range).
// WholeInteger is how everything else reads a number typed or shown as text.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvel {

inline bool ParseDecimal(std::string_view text, std::int64_t min, std::int64_t max,
                         std::int32_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > (std::int64_t{1} << 40)) return false;  // far outside any range; no overflow
    }
    if (negative) v = -v;
    if (v < min || v > max) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

// The whole text as one decimal integer of type T: an optional '-' (never '+') and digits,
// nothing else, no spaces. Nothing for the empty text, any other text, or a value outside T.
template <std::integral T>
std::optional<T> WholeInteger(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

}  // namespace korvel
