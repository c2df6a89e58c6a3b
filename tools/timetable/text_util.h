// Small text helpers the builder's stages share: splitting the station lists and readings,
// and the shared rules (CSV, clock times, integers, trimming) they read the sources with.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/clock.h"
#include "data/csv.h"
#include "data/decimal.h"
#include "data/gbk.h"

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

inline std::string IntText(int v) {
    return std::to_string(v);
}

}  // namespace korvel::timetable
