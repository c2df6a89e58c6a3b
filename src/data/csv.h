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

// A value as read, without the blanks around it (spaces, tabs, a CR before the line end).
inline std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

}  // namespace korvel
