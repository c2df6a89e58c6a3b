#include "gtfs/csv.h"

#include <algorithm>

#include "data/csv.h"

namespace korvel::gtfs {
void AddRow(std::string& text, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) text += ',';
        text += CsvField(values[i]);
    }
    text += "\r\n";
}

int CsvTable::Column(const std::string& name, bool required) const {
    const auto it = std::find(header.begin(), header.end(), name);
    if (it == header.end()) {
        if (required) throw GtfsError(file + ": no column " + name);
        return -1;
    }
    return static_cast<int>(it - header.begin());
}

CsvTable ReadCsvTable(const GtfsFeed& feed, const std::string& file, bool required) {
    CsvTable t;
    t.file = file;
    const auto it = feed.find(file);
    if (it == feed.end()) {
        if (required) throw GtfsError(file + ": missing");
        return t;
    }
    CsvText text = ReadCsv(it->second);
    if (text.unterminatedLine) {
        throw GtfsError(file + ":" + std::to_string(text.unterminatedLine) +
                        ": unterminated quoted value");
    }
    for (CsvRecord& r : text.records) {
        if (t.header.empty()) {
            t.header = std::move(r.values);
        } else {
            t.rows.emplace_back(r.line, std::move(r.values));
        }
    }
    return t;
}

}  // namespace korvel::gtfs
