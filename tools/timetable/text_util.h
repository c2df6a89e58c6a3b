// Small text helpers the builder's stages share: splitting, trimming and plain integers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/csv.h"

namespace korvel::timetable {

inline std::vector<std::string_view> Split(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t pos = text.find(sep, start);
        if (pos == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
}

inline std::string_view StripBom(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return text;
}

inline std::string_view Trim(std::string_view s) {
    return TrimBlanks(s);
}

inline std::optional<int> ParseInt(std::string_view s) {
    s = Trim(s);
    if (s.empty()) return std::nullopt;
    bool negative = false;
    if (s.front() == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

inline std::string IntText(int v) {
    return std::to_string(v);
}

}  // namespace korvel::timetable
