// The feed's text form: RFC 4180 rows written and read, with the line each row starts on so
// that a refusal can name it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "gtfs/gtfs.h"

namespace korvel::gtfs {

// Appends one row, values quoted where they hold a comma, quote or line break; CR LF ends it.
void AddRow(std::string& text, const std::vector<std::string>& values);

// A file of the feed as a header and rows of values, with the line each row starts on.
struct CsvTable {
    std::string file;
    std::vector<std::string> header;
    std::vector<std::pair<int, std::vector<std::string>>> rows;

    bool Present() const { return !header.empty(); }
    // The column's position; -1 when absent and not required, GtfsError when required.
    int Column(const std::string& name, bool required) const;
    static std::string Value(const std::vector<std::string>& row, int column) {
        return column >= 0 && column < static_cast<int>(row.size()) ? row[column] : std::string();
    }
    // "file:line: " for a message about a row.
    std::string Where(int line) const { return file + ":" + std::to_string(line) + ": "; }
};

// The named file of the feed, values trimmed; an absent file is an empty table unless
// `required` (then GtfsError).
CsvTable ReadCsvTable(const GtfsFeed& feed, const std::string& file, bool required);

}  // namespace korvel::gtfs
