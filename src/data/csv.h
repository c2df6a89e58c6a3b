// Comma-separated files (RFC 4180), written and read the same way everywhere: the grids'
// exports, the GTFS feeds, the timetable builder's sources. Works on bytes: GBK and UTF-8
// texts alike, as no multi-byte character holds a byte that needs quoting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// One record as read, with where it lies so that a refusal can name the place.
struct CsvRecord {
    int line = 0;                     // the line it starts on, 1 for the first
    std::vector<std::string> values;  // unquoted, without the blanks around them
    std::vector<int> columns;         // each value's first byte in its line, 1-based
    int endColumn = 0;                // the byte just past the record, in its last line
};

struct CsvText {
    std::vector<CsvRecord> records;
    // The line of a record whose quoted value never closes, which is left out; 0 when none.
    int unterminatedLine = 0;
};

// The records of a text: values split at commas outside double quotes; a quoted value may
// hold commas, line breaks and doubled quotes. A leading UTF-8 byte-order mark is skipped
// (its bytes still count in the first line's columns), a CR before a line feed dropped, and
// a line holding nothing but blanks is no record. Blanks are bytes of code 32 or below.
CsvText ReadCsv(std::string_view text);

}  // namespace korvel
