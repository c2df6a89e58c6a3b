// One value of a comma-separated file (RFC 4180), the same for every file the program writes.
// Works on bytes: GBK and UTF-8 texts alike, as no multi-byte character holds a byte that
// needs quoting.
#pragma once

#include <string>
#include <string_view>

namespace korvel {

// The value unchanged, or quoted with inner quotes doubled when it holds a comma, a double
// quote, CR or LF.
inline std::string CsvField(std::string_view value) {
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(value);
    std::string out = "\"";
    for (const char ch : value) {
        if (ch == '"') out += '"';
        out += ch;
    }
    out += '"';
    return out;
}

}  // namespace korvel
